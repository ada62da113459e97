#include "LineFinder.h"

#include <algorithm>
#include <cstring>

namespace {

// A run of lines matched in one go is at most this many bytes.
constexpr size_t kRunBytes = 256 << 10;
// Lines matched alone between two looks at the clock.
constexpr size_t kLinesBetweenClockReads = 256;

// Where the lines of a run lie in its text: the current line and the offset
// of its line feed (the run's end for its last line). An offset at a line
// feed belongs to the line the feed ends.
class CRunLines {
public:
    CRunLines(std::string_view run, size_t firstLine) : m_run(run), m_line(firstLine) { m_end = _FeedFrom(0); }

    size_t Line() const { return m_line; }
    size_t Start() const { return m_start; }
    size_t End() const { return m_end; }

    // On to the line that holds `offset`.
    void MoveTo(size_t offset)
    {
        while (offset > m_end) {
            m_start = m_end + 1;
            m_end = _FeedFrom(m_start);
            ++m_line;
        }
    }

private:
    size_t _FeedFrom(size_t offset) const
    {
        const void* feed = std::memchr(m_run.data() + offset, '\n', m_run.size() - offset);
        return feed ? static_cast<size_t>(static_cast<const char*>(feed) - m_run.data()) : m_run.size();
    }

    std::string_view m_run;
    size_t m_line;
    size_t m_start = 0;
    size_t m_end = 0;
};

} // namespace

bool CLineFinder::SetPattern(std::string_view pattern, bool regularExpression, bool caseSensitive)
{
    Clear();
    if (m_pattern.Set(pattern, regularExpression, caseSensitive))
        return true;
    m_strError = m_pattern.ErrorString();
    return false;
}

void CLineFinder::Clear()
{
    m_pattern.Clear();
    m_strError.clear();
    Restart();
}

void CLineFinder::Restart()
{
    m_nSearchedLines = 0;
    m_nMatchCount = 0;
    m_matchingLines.clear();
    m_matchesBefore.clear();
}

bool CLineFinder::Search(const CLineSource& lines, std::chrono::milliseconds budget)
{
    if (!IsActive())
        return true;
    const auto deadline = std::chrono::steady_clock::now() + budget;
    while (m_nSearchedLines < lines.LineCount()) {
        if (m_pattern.LooksPastTheLine()) {
            const size_t end = std::min(lines.LineCount(), m_nSearchedLines + kLinesBetweenClockReads);
            for (; m_nSearchedLines < end; ++m_nSearchedLines)
                _MatchAlone(m_nSearchedLines, lines.Line(LineNumber(m_nSearchedLines)));
        } else {
            m_nSearchedLines = _MatchRun(lines, m_nSearchedLines, lines.LineCount());
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
    }
    return IsDone(lines);
}

void CLineFinder::_Add(size_t line)
{
    if (m_matchingLines.empty() || m_matchingLines.back() != line) {
        m_matchingLines.push_back(line);
        m_matchesBefore.push_back(m_nMatchCount);
    }
    ++m_nMatchCount;
}

void CLineFinder::_ForgetLine(size_t line)
{
    if (m_matchingLines.empty() || m_matchingLines.back() != line)
        return;
    m_matchingLines.pop_back();
    m_nMatchCount = m_matchesBefore.back();
    m_matchesBefore.pop_back();
}

void CLineFinder::_MatchAlone(size_t line, std::string_view text)
{
    for (auto match = m_pattern.Find(text); match; match = m_pattern.Find(text, match->end)) {
        _Add(line);
        if (m_mode == EMode::MatchingLines)
            return;
    }
}

// Lines from `first` (before `end`) that lie one after the other in memory,
// joined by their line feeds, are matched as one text. Returns the line
// after the last one matched.
size_t CLineFinder::_MatchRun(const CLineSource& lines, size_t first, size_t end)
{
    const std::string_view start = lines.Line(LineNumber(first));
    size_t last = first;
    std::string_view previous = start;
    while (last + 1 < end) {
        const std::string_view next = lines.Line(LineNumber(last + 1));
        if (next.data() != previous.data() + previous.size() + 1
            || static_cast<size_t>(next.data() + next.size() - start.data()) > kRunBytes)
            break;
        previous = next;
        ++last;
    }
    const std::string_view run(start.data(), static_cast<size_t>(previous.data() + previous.size() - start.data()));

    CRunLines at(run, first);
    CTextPattern::SSpan match{};
    for (size_t from = 0; from <= run.size();) {
        const CTextPattern::EFound found = m_pattern.Search(run, from, match);
        if (found == CTextPattern::EFound::None)
            break;
        if (found == CTextPattern::EFound::GaveUp) {
            // Backtracking across the whole run went past PCRE2's limits;
            // each line alone is a far smaller subject.
            at.MoveTo(from);
            _ForgetLine(at.Line());
            for (size_t line = at.Line(); line <= last; ++line)
                _MatchAlone(line, lines.Line(LineNumber(line)));
            break;
        }
        at.MoveTo(match.begin);
        if (match.end <= at.End()) {
            _Add(at.Line());
            from = m_mode == EMode::MatchingLines ? at.End() + 1 : match.end;
        } else {
            // The match took in a line feed: the lines it spans are matched
            // alone, and the run goes on after them.
            const size_t firstSpanned = at.Line();
            _ForgetLine(firstSpanned);
            at.MoveTo(match.end - 1);
            for (size_t line = firstSpanned; line <= at.Line(); ++line)
                _MatchAlone(line, lines.Line(LineNumber(line)));
            from = at.End() + 1;
        }
    }
    return last + 1;
}

std::vector<CLineFinder::SMatch> CLineFinder::_MatchesOfLine(const CLineSource& lines, size_t line) const
{
    std::vector<SMatch> matches;
    const std::string_view text = lines.Line(LineNumber(line));
    for (auto match = m_pattern.Find(text); match; match = m_pattern.Find(text, match->end))
        matches.push_back({LineNumber(line), LineColumn(match->begin), LineColumn(match->end)});
    return matches;
}

CLineFinder::SMatch CLineFinder::MatchAt(const CLineSource& lines, size_t index) const
{
    const size_t at = static_cast<size_t>(std::upper_bound(m_matchesBefore.begin(), m_matchesBefore.end(), index)
                                          - m_matchesBefore.begin() - 1);
    const size_t line = m_matchingLines[at];
    const std::vector<SMatch> matches = _MatchesOfLine(lines, line);
    const size_t within = index - m_matchesBefore[at];
    // Matching a line again finds what the search found in it; should it
    // not, the start of the line stands in rather than a match out of range.
    return within < matches.size() ? matches[within] : SMatch{LineNumber(line), LineColumn(0), LineColumn(0)};
}

std::optional<size_t> CLineFinder::NextFrom(const CLineSource& lines, STextPosition position) const
{
    auto at = std::lower_bound(m_matchingLines.begin(), m_matchingLines.end(), position.line.Get());
    if (at != m_matchingLines.end() && *at == position.line.Get()) {
        const size_t index = static_cast<size_t>(at - m_matchingLines.begin());
        const std::vector<SMatch> matches = _MatchesOfLine(lines, *at);
        for (size_t within = 0; within < matches.size(); ++within)
            if (matches[within].begin >= position.column)
                return m_matchesBefore[index] + within;
        ++at;
    }
    if (at == m_matchingLines.end())
        return std::nullopt;
    return m_matchesBefore[static_cast<size_t>(at - m_matchingLines.begin())];
}

std::optional<size_t> CLineFinder::PreviousFrom(const CLineSource& lines, STextPosition position) const
{
    const size_t next = NextFrom(lines, position).value_or(m_nMatchCount);
    if (next == 0)
        return std::nullopt;
    return next - 1;
}

std::vector<CLineFinder::SMatch> CLineFinder::MatchesOfLines(const CLineSource& lines, LineNumber first,
                                                             LineNumber end) const
{
    std::vector<SMatch> matches;
    const auto from = std::lower_bound(m_matchingLines.begin(), m_matchingLines.end(), first.Get());
    const auto to = std::lower_bound(from, m_matchingLines.end(), end.Get());
    for (auto line = from; line != to; ++line) {
        const std::vector<SMatch> ofLine = _MatchesOfLine(lines, *line);
        matches.insert(matches.end(), ofLine.begin(), ofLine.end());
    }
    return matches;
}
