#include "HighlightRules.h"

#include <charconv>
#include <cstdio>

namespace {

std::string Hex(uint32_t colour)
{
    char text[8];
    std::snprintf(text, sizeof text, "%06X", colour & 0xFFFFFFu);
    return text;
}

std::optional<uint32_t> ParseColour(std::string_view text)
{
    uint32_t colour = 0;
    if (text.size() != 6)
        return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), colour, 16);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return colour;
}

// The next tab-separated field of `line`; false when there is no tab left.
bool TakeField(std::string_view& line, std::string_view& field)
{
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos)
        return false;
    field = line.substr(0, tab);
    line.remove_prefix(tab + 1);
    return true;
}

std::optional<SHighlightRule> ParseRule(std::string_view line)
{
    std::string_view foreground, background, flags;
    if (!TakeField(line, foreground) || !TakeField(line, background) || !TakeField(line, flags) || line.empty())
        return std::nullopt;
    SHighlightRule rule;
    const std::optional<uint32_t> text = ParseColour(foreground);
    if (!text)
        return std::nullopt;
    rule.foreground = *text;
    if (background != "-") {
        rule.background = ParseColour(background);
        if (!rule.background)
            return std::nullopt;
    }
    if (flags.find_first_not_of("rc-") != std::string_view::npos)
        return std::nullopt;
    rule.regularExpression = flags.find('r') != std::string_view::npos;
    rule.caseSensitive = flags.find('c') != std::string_view::npos;
    if (line.back() == '\r')
        return std::nullopt; // not a pattern that can be kept (see Serialize)
    rule.pattern = line;
    return rule;
}

} // namespace

std::vector<SHighlightRule> CHighlightRules::Defaults()
{
    // Whole words in capitals, as loggers write the level.
    auto level = [](const char* word, uint32_t foreground, std::optional<uint32_t> background = std::nullopt) {
        return SHighlightRule{std::string("\\b") + word + "\\b", true, true, foreground, background};
    };
    return {level("(ERROR|FATAL|CRITICAL)", 0xFFFFFF, 0xA01818), level("WARN(ING)?", 0xFFD75F),
            level("INFO", 0x87D787), level("(DEBUG|TRACE)", 0x8A8A8A)};
}

void CHighlightRules::Set(std::vector<SHighlightRule> rules)
{
    m_rules = std::move(rules);
    m_patterns.assign(m_rules.size(), CTextPattern());
    m_errors.assign(m_rules.size(), std::string());
    for (size_t index = 0; index < m_rules.size(); ++index) {
        const SHighlightRule& rule = m_rules[index];
        if (!m_patterns[index].Set(rule.pattern, rule.regularExpression, rule.caseSensitive))
            m_errors[index] = rule.pattern.empty() ? "empty pattern" : m_patterns[index].ErrorString();
    }
}

const SHighlightRule* CHighlightRules::RuleFor(std::string_view line) const
{
    for (size_t index = 0; index < m_rules.size(); ++index)
        if (m_patterns[index].Matches(line))
            return &m_rules[index];
    return nullptr;
}

std::string CHighlightRules::Serialize(const std::vector<SHighlightRule>& rules)
{
    std::string text;
    for (const SHighlightRule& rule : rules) {
        // One rule a line, and a carriage return before a line feed is taken
        // as part of the line end: such patterns cannot be kept.
        if (rule.pattern.empty() || rule.pattern.find('\n') != std::string::npos || rule.pattern.back() == '\r')
            continue;
        std::string flags = std::string(rule.regularExpression ? "r" : "") + (rule.caseSensitive ? "c" : "");
        text += Hex(rule.foreground) + '\t' + (rule.background ? Hex(*rule.background) : "-") + '\t'
            + (flags.empty() ? "-" : flags) + '\t' + rule.pattern + '\n';
    }
    return text;
}

std::vector<SHighlightRule> CHighlightRules::Parse(std::string_view text)
{
    std::vector<SHighlightRule> rules;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (std::optional<SHighlightRule> rule = ParseRule(line))
            rules.push_back(std::move(*rule));
    }
    return rules;
}
