// A pattern and lines from arbitrary bytes: the first byte chooses plain text
// or an expression and whether case matters, the first line is the pattern,
// the rest are the lines of a view. Whatever they are, the finder that
// matches runs of lines must count exactly the matches of each line matched
// alone, step to them in order, and a filter must keep exactly the lines
// that have one. The same bytes read as highlight rules must be kept and
// read back unchanged.
#include "HighlightRules.h"
#include "LineFinder.h"
#include "LineStore.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

constexpr size_t kMaxLines = 64;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckFinder(const CTextPattern& alone, const CLineStore& lines, const std::string& pattern, bool expression,
                 bool caseSensitive)
{
    std::vector<CLineFinder::SMatch> expected;
    std::vector<size_t> expectedLines;
    for (size_t line = 0; line < lines.LineCount(); ++line) {
        const std::string_view text = lines.Line(LineNumber(line));
        for (auto match = alone.Find(text); match; match = alone.Find(text, match->end))
            expected.push_back({LineNumber(line), LineColumn(match->begin), LineColumn(match->end)});
        if (alone.Matches(text))
            expectedLines.push_back(line);
    }

    CLineFinder finder;
    Check(finder.SetPattern(pattern, expression, caseSensitive));
    Check(finder.Search(lines, std::chrono::hours(1)));
    Check(finder.MatchCount() == expected.size());
    Check(finder.MatchingLines() == expectedLines);
    for (size_t index = 0; index < expected.size(); ++index) {
        const CLineFinder::SMatch match = finder.MatchAt(lines, index);
        Check(match.line == expected[index].line && match.begin == expected[index].begin
              && match.end == expected[index].end);
        Check(finder.NextFrom(lines, {match.line, match.begin}) == index);
    }

    CLineFinder filter(CLineFinder::EMode::MatchingLines);
    Check(filter.SetPattern(pattern, expression, caseSensitive));
    Check(filter.Search(lines, std::chrono::hours(1)));
    Check(filter.MatchingLines() == expectedLines);
}

void CheckRules(std::string_view text)
{
    const std::vector<SHighlightRule> rules = CHighlightRules::Parse(text);
    Check(CHighlightRules::Parse(CHighlightRules::Serialize(rules)) == rules);
    const CHighlightRules compiled(rules);
    (void)compiled.RuleFor(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);
    CheckRules(input);
    if (input.size() < 2)
        return 0;
    const bool expression = input[0] & 1;
    const bool caseSensitive = input[0] & 2;
    std::string_view rest = input.substr(1);
    const size_t feed = rest.find('\n');
    const std::string pattern(rest.substr(0, feed));
    CTextPattern alone;
    if (!alone.Set(pattern, expression, caseSensitive))
        return 0;
    CLineStore lines;
    rest.remove_prefix(feed == std::string_view::npos ? rest.size() : feed + 1);
    while (!rest.empty() && lines.LineCount() < kMaxLines) {
        const size_t end = rest.find('\n');
        lines.AddUtf8Line(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    CheckFinder(alone, lines, pattern, expression, caseSensitive);
    return 0;
}
