// Find against grep: a real log file with Hangul, carriage returns inside and
// at the end of lines, lines longer than the read window and several
// megabytes of text (so the line store's chunks end between matches) is read
// as the view reads it; every match found must be the one grep -o finds, on
// the same line, and a search in small slices finds the same as one in a go.
#include "KelWatchDoc.h"
#include "LineFinder.h"
#include "LineStore.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using kel::test::TempDir;
using Found = std::vector<std::pair<size_t, std::string>>; // line from 0, matched text

// Words of a log line; some lines are longer than the 8196-byte window, with
// words placed so that none is cut where the window splits them.
std::string RandomLog(size_t lines)
{
    static const char* const kWords[] = {"error", "Error", "ERROR", "오류", "오류 42", "경고", "ABC-7", "XYZ-1234",
                                         "errors", "id=17", "정보", "eRRor", "\r", "x", "한글", "y"};
    std::mt19937 random(7);
    std::string text;
    for (size_t line = 0; line < lines; ++line) {
        if (line % 997 == 500) {
            std::string longLine(20000, 'y');
            for (size_t at : {100u, 9000u, 17000u})
                longLine.replace(at, 9, "error 오류");
            text += longLine + "\n";
            continue;
        }
        const int words = std::uniform_int_distribution<int>(0, 12)(random);
        for (int word = 0; word < words; ++word)
            text += std::string(kWords[std::uniform_int_distribution<size_t>(0, std::size(kWords) - 1)(random)]) + " ";
        text += line % 3 == 0 ? "\r\n" : "\n";
    }
    return text;
}

// grep -o -n over `path`: each match with its line.
Found Grep(const std::string& path, const std::string& options, const std::string& pattern)
{
    const std::string command = "LC_ALL=C.UTF-8 grep -o -n " + options + " -e '" + pattern + "' '" + path + "'";
    Found found;
    FILE* output = popen(command.c_str(), "r");
    if (!output)
        return found;
    std::string all;
    char buffer[65536];
    for (size_t read; (read = fread(buffer, 1, sizeof buffer, output)) > 0;)
        all.append(buffer, read);
    pclose(output);
    for (size_t start = 0, end; (end = all.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string row = all.substr(start, end - start);
        const size_t colon = row.find(':');
        found.emplace_back(std::stoul(row.substr(0, colon)) - 1, row.substr(colon + 1));
    }
    return found;
}

// The numbers (from 0) of the lines that have a match of `pattern` for grep.
std::vector<size_t> GrepLines(const std::string& path, const std::string& options, const std::string& pattern)
{
    std::vector<size_t> lines;
    for (const auto& [line, text] : Grep(path, options, pattern))
        if (lines.empty() || lines.back() != line)
            lines.push_back(line);
    return lines;
}

Found Matches(const CLineFinder& finder, const CLineSource& lines)
{
    Found found;
    for (size_t index = 0; index < finder.MatchCount(); ++index) {
        const CLineFinder::SMatch match = finder.MatchAt(lines, index);
        const std::string_view line = lines.Line(match.line);
        found.emplace_back(match.line.Get(),
                           std::string(line.substr(match.begin.Get(), match.end.Get() - match.begin.Get())));
    }
    return found;
}

class FindAgainstGrep : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new TempDir;
        s_file = *s_dir / "app.log";
        kel::test::WriteBytes(s_file, RandomLog(60000));
        CKelWatchDoc doc;
        doc.OnOpenDocument(CStringW(std::wstring(s_file.begin(), s_file.end())));
        s_lines = new CLineStore;
        do
            doc.ReadCycle(*s_lines);
        while (doc.HasMore());
        // The lines as the view holds them (long lines split at the window).
        s_shown = *s_dir / "shown.log";
        std::ofstream shown(s_shown, std::ios::binary);
        s_lines->VisitText({}, s_lines->End(), "\n", [&](std::string_view piece) { shown << piece; });
    }
    static void TearDownTestSuite()
    {
        delete s_lines;
        delete s_dir;
    }

    // `inFileToo`: the pattern cannot see the carriage returns that the view
    // trims from the ends of lines, so the file has as many matches.
    static void ExpectSameAsGrep(const std::string& pattern, bool regularExpression, bool caseSensitive,
                                 bool inFileToo = true)
    {
        CLineFinder finder;
        ASSERT_TRUE(finder.SetPattern(pattern, regularExpression, caseSensitive));
        EXPECT_TRUE(finder.Search(*s_lines, std::chrono::hours(1)));
        std::string options = regularExpression ? "-E" : "-F";
        if (!caseSensitive)
            options += " -i";
        const Found expected = Grep(s_shown, options, pattern);
        ASSERT_GT(expected.size(), 100u) << pattern;
        EXPECT_EQ(Matches(finder, *s_lines), expected) << pattern;
        // The file itself has the same number of matches: no word was cut.
        if (inFileToo) {
            EXPECT_EQ(Grep(s_file, options, pattern).size(), expected.size()) << pattern;
        }
    }

    static inline TempDir* s_dir = nullptr;
    static inline std::string s_file;
    static inline std::string s_shown;
    static inline CLineStore* s_lines = nullptr;
};

TEST_F(FindAgainstGrep, TheFileSpansSeveralChunksAndHasLongLines)
{
    EXPECT_GT(s_lines->TextBytes(), 3u << 20);
    EXPECT_EQ(s_lines->LineCount(), 60000u); // one line of the view per line of the file, the long ones too
}

TEST_F(FindAgainstGrep, PlainTextWithAndWithoutCase)
{
    ExpectSameAsGrep("error", false, true);
    ExpectSameAsGrep("error", false, false);
    ExpectSameAsGrep("오류", false, true);
    ExpectSameAsGrep("ror 오", false, false);
    ExpectSameAsGrep("x \r", false, true, false); // a carriage return inside a line
}

TEST_F(FindAgainstGrep, RegularExpressions)
{
    ExpectSameAsGrep("오류 [0-9]+", true, true);
    ExpectSameAsGrep("[A-Z]{3}-[0-9]+", true, true);
    ExpectSameAsGrep("(errors|경고)", true, false);
    ExpectSameAsGrep("^error", true, false);
    ExpectSameAsGrep("한글 $", true, true, false);
}

// A filter keeps exactly the lines grep prints, whichever matcher a pattern
// takes: bytes, folded bytes, a literal without case, an expression.
TEST_F(FindAgainstGrep, FilterKeepsTheLinesGrepPrints)
{
    struct SCase {
        const char* pattern;
        bool regularExpression;
        bool caseSensitive;
    };
    for (const SCase& test : {SCase{"error", false, true}, SCase{"error", false, false}, SCase{"오류", false, false},
                              SCase{"[A-Z]{3}-[0-9]+", true, true}, SCase{"^(error|경고)", true, false},
                              SCase{"id=17 $", true, true}}) {
        CLineFinder filter(CLineFinder::EMode::MatchingLines);
        ASSERT_TRUE(filter.SetPattern(test.pattern, test.regularExpression, test.caseSensitive));
        EXPECT_TRUE(filter.Search(*s_lines, std::chrono::hours(1)));
        std::string options = test.regularExpression ? "-E" : "-F";
        if (!test.caseSensitive)
            options += " -i";
        const std::vector<size_t> expected = GrepLines(s_shown, options, test.pattern);
        ASSERT_GT(expected.size(), 100u) << test.pattern;
        EXPECT_EQ(filter.MatchingLines(), expected) << test.pattern;
        EXPECT_EQ(filter.MatchCount(), expected.size()); // a filter counts lines, not every match
    }
}

TEST_F(FindAgainstGrep, SlicesFindWhatOneGoFinds)
{
    CLineFinder whole;
    whole.SetPattern("오류", false, false);
    whole.Search(*s_lines, std::chrono::hours(1));
    CLineFinder sliced;
    sliced.SetPattern("오류", false, false);
    int slices = 1;
    while (!sliced.Search(*s_lines, std::chrono::milliseconds(0)))
        ++slices;
    EXPECT_GT(slices, 10); // a slice stops at its budget
    EXPECT_EQ(Matches(sliced, *s_lines), Matches(whole, *s_lines));
}

TEST(LineFinder, RefusesEmptyAndInvalidPatternsAndSkipsEmptyMatches)
{
    CLineStore lines;
    lines.AddLine(L"aaa 가 bbb");
    CLineFinder finder;
    EXPECT_FALSE(finder.SetPattern("", false, true));
    EXPECT_FALSE(finder.IsActive());
    EXPECT_FALSE(finder.SetPattern("(unclosed", true, true));
    EXPECT_FALSE(finder.ErrorString().empty());
    // One byte of a character could end a match inside it: refused.
    EXPECT_FALSE(finder.SetPattern("\\C", true, true));
    EXPECT_FALSE(finder.ErrorString().empty());
    ASSERT_TRUE(finder.SetPattern("b*", true, true));
    EXPECT_TRUE(finder.ErrorString().empty());
    finder.Search(lines, std::chrono::hours(1));
    ASSERT_EQ(finder.MatchCount(), 1u);
    EXPECT_EQ(finder.MatchAt(lines, 0).begin.Get(), 8u); // bytes: "aaa 가 " is 8
    EXPECT_EQ(finder.MatchAt(lines, 0).end.Get(), 11u);
    // Lines added later are searched by the next call.
    lines.AddLine(L"bb");
    EXPECT_FALSE(finder.IsDone(lines));
    finder.Search(lines, std::chrono::hours(1));
    EXPECT_EQ(finder.MatchCount(), 2u);
    EXPECT_EQ(finder.NextFrom(lines, {LineNumber(0), LineColumn(9)}), 1u);
    EXPECT_EQ(finder.PreviousFrom(lines, {LineNumber(0), LineColumn(8)}), std::nullopt);
    EXPECT_EQ(finder.MatchesOfLines(lines, LineNumber(1), LineNumber(2)).size(), 1u);
}

// Only the lines with a match are kept; the matches of a line are found
// again for the next and previous match and for the lines on screen.
TEST(LineFinder, StepsThroughSeveralMatchesOfALine)
{
    CLineStore lines;
    for (const wchar_t* line : {L"ab ab ab", L"none", L"", L"xab", L"ab"})
        lines.AddLine(line);
    CLineFinder finder;
    ASSERT_TRUE(finder.SetPattern("ab", false, true));
    finder.Search(lines, std::chrono::hours(1));
    ASSERT_EQ(finder.MatchCount(), 5u);
    EXPECT_EQ(finder.MatchingLines(), (std::vector<size_t>{0, 3, 4}));
    auto at = [](size_t line, size_t column) { return STextPosition{LineNumber(line), LineColumn(column)}; };
    EXPECT_EQ(finder.NextFrom(lines, at(0, 0)), 0u);
    EXPECT_EQ(finder.NextFrom(lines, at(0, 1)), 1u);
    EXPECT_EQ(finder.NextFrom(lines, at(0, 7)), 3u); // past the last of line 0: on to line 3
    EXPECT_EQ(finder.NextFrom(lines, at(1, 0)), 3u);
    EXPECT_EQ(finder.NextFrom(lines, at(4, 1)), std::nullopt);
    EXPECT_EQ(finder.PreviousFrom(lines, at(0, 6)), 1u);
    EXPECT_EQ(finder.PreviousFrom(lines, at(3, 0)), 2u);
    EXPECT_EQ(finder.PreviousFrom(lines, at(5, 0)), 4u);
    const CLineFinder::SMatch third = finder.MatchAt(lines, 2);
    EXPECT_EQ(third.line.Get(), 0u);
    EXPECT_EQ(third.begin.Get(), 6u);
    EXPECT_EQ(finder.MatchAt(lines, 3).begin.Get(), 1u);
    const std::vector<CLineFinder::SMatch> shown = finder.MatchesOfLines(lines, LineNumber(1), LineNumber(4));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].line.Get(), 3u);
    EXPECT_EQ(finder.MatchesOfLines(lines, LineNumber(0), LineNumber(5)).size(), 5u);
}

// Lines are matched in runs; whatever a pattern does at the ends of a line,
// the matches (and the lines a filter keeps) are those of each line matched
// alone.
TEST(LineFinder, RunsOfLinesMatchAsLinesAlone)
{
    const std::vector<std::wstring> text = {L"a x", L"y b", L"x", L"ab", L"y", L"", L"가 x", L"y 나", L"xy", L"x y"};
    CLineStore lines;
    for (const std::wstring& line : text)
        lines.AddLine(line);
    // A failed (*COMMIT) ends a whole search, and (*CR) makes ^ and $ blind
    // to line feeds: over a run of lines both would miss later lines.
    for (const char* pattern : {"x\\s+y", "[^a]+", "x$", "^y", "x(?=\\s)", "(?<=x)\\s*", "\\Ay", "y\\z", "(?s)x.+y",
                                "\\w+\\W*$", "\\s", "y|x", "[가나]\\s*\\S", "(?:x|y)\\n?", "a(*COMMIT)b", "(*CR)^y"}) {
        CTextPattern alone;
        ASSERT_TRUE(alone.Set(pattern, true, true)) << pattern;
        Found expected;
        std::vector<size_t> expectedLines;
        for (size_t line = 0; line < lines.LineCount(); ++line) {
            const std::string_view subject = lines.Line(LineNumber(line));
            for (auto match = alone.Find(subject); match; match = alone.Find(subject, match->end))
                expected.emplace_back(line, std::string(subject.substr(match->begin, match->end - match->begin)));
            if (alone.Matches(subject))
                expectedLines.push_back(line);
        }
        CLineFinder finder;
        ASSERT_TRUE(finder.SetPattern(pattern, true, true)) << pattern;
        finder.Search(lines, std::chrono::hours(1));
        EXPECT_EQ(Matches(finder, lines), expected) << pattern;
        CLineFinder filter(CLineFinder::EMode::MatchingLines);
        filter.SetPattern(pattern, true, true);
        filter.Search(lines, std::chrono::hours(1));
        EXPECT_EQ(filter.MatchingLines(), expectedLines) << pattern;
    }
}

// Across a run of lines an expression can backtrack far more than within
// one line; where PCRE2 gives up on the run, the lines are matched alone and
// no match is lost.
TEST(LineFinder, AnExpressionThatGivesUpOnARunIsMatchedLineByLine)
{
    CLineStore lines;
    // Words over many lines, then a line the words cannot get past: every
    // start before it backtracks through all of them and fails.
    for (int i = 0; i < 3000; ++i)
        lines.AddLine(L"aaaaaaaa bbbbbbbb cc");
    lines.AddLine(L"#");
    lines.AddLine(L"needle");
    lines.AddLine(L"aaaa needle");
    CTextPattern pattern;
    ASSERT_TRUE(pattern.Set("(\\w+\\s?)*needle", true, true));
    CTextPattern::SSpan span{};
    std::string run;
    for (size_t line = 0; line < 3001; ++line)
        run += std::string(lines.Line(LineNumber(line))) + "\n";
    EXPECT_EQ(pattern.Search(run + "needle", 0, span), CTextPattern::EFound::GaveUp); // what makes this case
    for (auto mode : {CLineFinder::EMode::EveryMatch, CLineFinder::EMode::MatchingLines}) {
        CLineFinder finder(mode);
        ASSERT_TRUE(finder.SetPattern("(\\w+\\s?)*needle", true, true));
        finder.Search(lines, std::chrono::hours(1));
        if (mode == CLineFinder::EMode::EveryMatch) {
            EXPECT_EQ(Matches(finder, lines), (Found{{3001, "needle"}, {3002, "aaaa needle"}}));
        } else {
            EXPECT_EQ(finder.MatchingLines(), (std::vector<size_t>{3001, 3002}));
        }
    }
}

// Plain text without case is folded as the expression folds it: ASCII text
// without K or S in the bytes, other text (the Kelvin sign is a K) as PCRE2.
TEST(LineFinder, PlainTextWithoutCaseFoldsAsTheExpression)
{
    CLineStore lines;
    for (const wchar_t* line : {L"key", L"KEY", L"\u212Aey", L"kEy kEY", L"\u017Fet set"})
        lines.AddLine(line);
    auto count = [&](const char* pattern) {
        CLineFinder finder;
        finder.SetPattern(pattern, false, false);
        finder.Search(lines, std::chrono::hours(1));
        return finder.MatchCount();
    };
    EXPECT_EQ(count("Ey"), 5u);
    EXPECT_EQ(count("KEY"), 5u);
    EXPECT_EQ(count("SET"), 2u);
    EXPECT_EQ(count("eT"), 2u);
}

} // namespace
