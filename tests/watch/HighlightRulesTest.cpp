// Highlight rules: which rule colours a line, the default rules on real log
// lines, and the text the rules are kept as in the profile.
#include "HighlightRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

SHighlightRule Rule(std::string pattern, bool regularExpression, bool caseSensitive, uint32_t foreground,
                    std::optional<uint32_t> background = std::nullopt)
{
    return {std::move(pattern), regularExpression, caseSensitive, foreground, background};
}

// The foreground of the rule that colours `line`, or 0 when none does.
uint32_t ColourOf(const CHighlightRules& rules, std::string_view line)
{
    const SHighlightRule* rule = rules.RuleFor(line);
    return rule ? rule->foreground : 0;
}

TEST(HighlightRules, TheFirstMatchingRuleWins)
{
    const CHighlightRules rules({Rule("오류", false, true, 0x111111), Rule("error", false, false, 0x222222),
                                 Rule("^\\d+ ms$", true, true, 0x333333)});
    EXPECT_EQ(ColourOf(rules, "처리 오류: ERROR 17"), 0x111111u); // both match: the first rule
    EXPECT_EQ(ColourOf(rules, "Error while reading"), 0x222222u);
    EXPECT_EQ(ColourOf(rules, "250 ms"), 0x333333u);
    EXPECT_EQ(ColourOf(rules, "250 ms later"), 0u);
    EXPECT_EQ(ColourOf(rules, ""), 0u);
}

TEST(HighlightRules, ARefusedPatternStaysButNeverMatches)
{
    const CHighlightRules rules({Rule("(unclosed", true, true, 0x111111), Rule("", false, true, 0x222222),
                                 Rule("unclosed", false, true, 0x333333)});
    ASSERT_EQ(rules.Rules().size(), 3u);
    EXPECT_FALSE(rules.ErrorOf(0).empty());
    EXPECT_FALSE(rules.ErrorOf(1).empty());
    EXPECT_TRUE(rules.ErrorOf(2).empty());
    EXPECT_EQ(ColourOf(rules, "(unclosed"), 0x333333u);
}

TEST(HighlightRules, TheDefaultsColourTheLevelsOfLogLines)
{
    const CHighlightRules rules(CHighlightRules::Defaults());
    const uint32_t error = ColourOf(rules, "2026-12-08 10:00:00 [ERROR] 연결 실패");
    const uint32_t warning = ColourOf(rules, "2026-12-08 10:00:00 WARNING disk 91% full");
    const uint32_t info = ColourOf(rules, "10:00:00.120 INFO  started");
    const uint32_t debug = ColourOf(rules, "DEBUG: x=1");
    EXPECT_NE(error, 0u);
    EXPECT_NE(warning, 0u);
    EXPECT_NE(info, 0u);
    EXPECT_NE(debug, 0u);
    // Four levels, four colours.
    const std::vector<uint32_t> colours = {error, warning, info, debug};
    for (size_t a = 0; a < colours.size(); ++a)
        for (size_t b = a + 1; b < colours.size(); ++b)
            EXPECT_NE(colours[a], colours[b]) << a << " " << b;
    EXPECT_EQ(ColourOf(rules, "WARN [main] FATAL: gave up"), error); // the worse level goes first
    EXPECT_EQ(ColourOf(rules, "ERRORS=0 INFORMATION"), 0u);           // words, not parts of words
    EXPECT_EQ(ColourOf(rules, "error in lower case"), 0u);           // levels as loggers write them
    ASSERT_NE(rules.RuleFor("[FATAL] x"), nullptr);
    EXPECT_TRUE(rules.RuleFor("[FATAL] x")->background.has_value()); // errors stand out on their own background
}

TEST(HighlightRules, TheProfileTextKeepsEveryRule)
{
    const std::vector<SHighlightRule> rules = {
        Rule("오류\t코드 [0-9]+", true, false, 0xFF0000, 0x102030), Rule("plain -text", false, true, 0x00FF00),
        Rule("\\bWARN\\b", true, true, 0xABCDEF), Rule("ünïcode", false, false, 0x000001, 0xFFFFFF)};
    const std::string text = CHighlightRules::Serialize(rules);
    EXPECT_EQ(text.substr(0, text.find('\n')), "FF0000\t102030\tr\t오류\t코드 [0-9]+");
    EXPECT_EQ(CHighlightRules::Parse(text), rules);
    EXPECT_TRUE(CHighlightRules::Parse("").empty());
    // CR LF line ends (a profile edited by hand) read the same.
    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(CHighlightRules::Parse(crlf), rules);
}

// What one line of text cannot hold is left out when kept, not changed.
TEST(HighlightRules, PatternsThatCannotBeKeptAreLeftOut)
{
    const std::vector<SHighlightRule> rules = {Rule("two\nlines", false, true, 1), Rule("ends in\r", false, true, 2),
                                               Rule("", false, true, 3), Rule("kept\rinside", false, true, 4)};
    EXPECT_EQ(CHighlightRules::Parse(CHighlightRules::Serialize(rules)), (std::vector<SHighlightRule>{rules[3]}));
    // Read back, such a line is refused rather than read as another pattern.
    EXPECT_TRUE(CHighlightRules::Parse("000000\t-\t-\tx\r\r").empty());
    EXPECT_TRUE(CHighlightRules::Parse("000000\t-\t-\t\r").empty());
}

TEST(HighlightRules, LinesThatCannotBeReadAreSkipped)
{
    const std::string text = "FF0000\t-\tc\tgood\n"
                             "FF00\t-\tc\tshort colour\n"
                             "GG0000\t-\tc\tnot hex\n"
                             "FF0000\t-\tx\tbad flag\n"
                             "FF0000\t-\tc\t\n"
                             "FF0000\t-\tc\n"
                             "just text\n"
                             "\n"
                             "00FF00\t0000FF\t-\tlast";
    const std::vector<SHighlightRule> rules = CHighlightRules::Parse(text);
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[0], Rule("good", false, true, 0xFF0000));
    EXPECT_EQ(rules[1], Rule("last", false, false, 0x00FF00, 0x0000FF));
}

} // namespace
