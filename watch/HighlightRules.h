#pragma once

// CHighlightRules: lines drawn in colours of their own. A rule is a pattern
// (plain text or a regular expression, with or without case) and the text
// colour, and optionally the background, of a line that has a match; the
// first rule that matches a line gives its colours, so the order of the
// rules is their precedence. A rule whose pattern is refused stays in the
// list, so that it can be mended, but never matches.
//
// The rules are kept in the profile as text, a rule a line:
//   RRGGBB <tab> RRGGBB or "-" (no background) <tab> flags <tab> pattern
// where the flags are "r" (regular expression) and "c" (case matters), or
// "-" for neither. The pattern is the rest of the line, tabs included; an
// empty pattern, one with a line feed or one ending in a carriage return
// cannot be kept.
// Lines that cannot be read are skipped.
//
// Not thread safe: used by the views on the user-interface thread.
#include "TextPattern.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SHighlightRule {
    std::string pattern; // UTF-8
    bool regularExpression = false;
    bool caseSensitive = true;
    uint32_t foreground = 0;             // 0xRRGGBB
    std::optional<uint32_t> background;  // 0xRRGGBB; none keeps the view's
    bool operator==(const SHighlightRule&) const = default;
};

class CHighlightRules {
public:
    // ERROR, WARN, INFO and DEBUG, as they stand in log lines.
    static std::vector<SHighlightRule> Defaults();

    CHighlightRules() = default;
    explicit CHighlightRules(std::vector<SHighlightRule> rules) { Set(std::move(rules)); }

    void Set(std::vector<SHighlightRule> rules);
    const std::vector<SHighlightRule>& Rules() const { return m_rules; }
    // Why rule `index` never matches; empty when its pattern is sound.
    const std::string& ErrorOf(size_t index) const { return m_errors[index]; }

    // The first rule that matches `line`, or nullptr.
    const SHighlightRule* RuleFor(std::string_view line) const;

    static std::string Serialize(const std::vector<SHighlightRule>& rules);
    static std::vector<SHighlightRule> Parse(std::string_view text);

private:
    std::vector<SHighlightRule> m_rules;
    std::vector<CTextPattern> m_patterns;
    std::vector<std::string> m_errors;
};
