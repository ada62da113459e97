#pragma once

// CTextPattern: what a find, a filter or a highlight rule looks for in the
// view's UTF-8 text: plain text or a regular expression, with or without
// case. Both are PCRE2 patterns (plain text as a literal one), compiled by its
// JIT and matched on the UTF-8 bytes themselves, so case is folded the same
// way for both, by Unicode's rules (the Kelvin sign is a K). A match of no
// characters is never one.
//
// The subject may be one line or several joined by line feeds: ^ and $
// match at every line feed. A pattern that could see past the line it
// matches in (look-arounds, inline options, backtracking verbs, newline
// settings, \A, \z, \G, \K) says so, so that its caller matches each line
// alone.
//
// Find is const but uses the pattern's own match data: an object is used by
// one thread at a time. Copying compiles the pattern again.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class CTextPattern {
public:
    struct SSpan {
        size_t begin;
        size_t end;
    };

    CTextPattern();
    ~CTextPattern();
    CTextPattern(const CTextPattern& other);
    CTextPattern& operator=(const CTextPattern& other);
    CTextPattern(CTextPattern&&) noexcept;
    CTextPattern& operator=(CTextPattern&&) noexcept;

    // False (and an empty pattern) when `pattern` is empty or not a valid
    // regular expression; ErrorString says why for the latter.
    bool Set(std::string_view pattern, bool regularExpression, bool caseSensitive);
    void Clear();
    bool IsEmpty() const { return m_compiled == nullptr; }
    const std::string& Pattern() const { return m_pattern; }
    bool IsRegularExpression() const { return m_bRegularExpression; }
    bool IsCaseSensitive() const { return m_bCaseSensitive; }
    const std::string& ErrorString() const { return m_strError; }
    // True when the pattern must be matched against each line alone.
    bool LooksPastTheLine() const { return m_bLooksPastTheLine; }

    enum class EFound { Match, None, GaveUp };
    // The first match that begins at or after `from` in `text` into `span`;
    // GaveUp when the expression ran into PCRE2's limits (catastrophic
    // backtracking) before it knew.
    EFound Search(std::string_view text, size_t from, SSpan& span) const;
    // The same, giving up counted as no match.
    std::optional<SSpan> Find(std::string_view text, size_t from = 0) const;
    bool Matches(std::string_view text) const { return Find(text).has_value(); }

private:
    struct SCompiled;

    std::string m_pattern;
    bool m_bRegularExpression = false;
    bool m_bCaseSensitive = true;
    bool m_bLooksPastTheLine = false;
    std::string m_strError;
    std::unique_ptr<SCompiled> m_compiled;
};
