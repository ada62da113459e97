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
    m_matches.clear();
    m_matchingLines.clear();
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

void CLineFinder::_Add(size_t line, size_t begin, size_t end)
{
    if (m_mode == EMode::EveryMatch)
        m_matches.push_back({LineNumber(line), LineColumn(begin), LineColumn(end)});
    else if (m_matchingLines.empty() || m_matchingLines.back() != line)
        m_matchingLines.push_back(line);
}

void CLineFinder::_ForgetLine(size_t line)
{
    while (!m_matches.empty() && m_matches.back().line.Get() == line)
        m_matches.pop_back();
    if (!m_matchingLines.empty() && m_matchingLines.back() == line)
        m_matchingLines.pop_back();
}

void CLineFinder::_MatchAlone(size_t line, std::string_view text)
{
    for (auto match = m_pattern.Find(text); match; match = m_pattern.Find(text, match->end)) {
        _Add(line, match->begin, match->end);
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
    size_t from = 0;
    while (auto match = m_pattern.Find(run, from)) {
        at.MoveTo(match->begin);
        if (match->end <= at.End()) {
            _Add(at.Line(), match->begin - at.Start(), match->end - at.Start());
            from = m_mode == EMode::MatchingLines ? at.End() + 1 : match->end;
        } else {
            // The match took in a line feed: the lines it spans are matched
            // alone, and the run goes on after them.
            const size_t firstSpanned = at.Line();
            _ForgetLine(firstSpanned);
            at.MoveTo(match->end - 1);
            for (size_t line = firstSpanned; line <= at.Line(); ++line)
                _MatchAlone(line, lines.Line(LineNumber(line)));
            from = at.End() + 1;
        }
        if (from > run.size())
            break;
    }
    return last + 1;
}

namespace {

STextPosition StartOf(const CLineFinder::SMatch& match) { return {match.line, match.begin}; }

} // namespace

std::optional<size_t> CLineFinder::NextFrom(STextPosition position) const
{
    const auto found = std::lower_bound(m_matches.begin(), m_matches.end(), position,
                                        [](const SMatch& match, STextPosition at) { return StartOf(match) < at; });
    if (found == m_matches.end())
        return std::nullopt;
    return static_cast<size_t>(found - m_matches.begin());
}

std::optional<size_t> CLineFinder::PreviousFrom(STextPosition position) const
{
    const std::optional<size_t> next = NextFrom(position);
    const size_t index = next ? *next : m_matches.size();
    if (index == 0)
        return std::nullopt;
    return index - 1;
}

std::span<const CLineFinder::SMatch> CLineFinder::MatchesOfLines(LineNumber first, LineNumber end) const
{
    const auto lineOf = [](const SMatch& match, LineNumber line) { return match.line < line; };
    const auto from = std::lower_bound(m_matches.begin(), m_matches.end(), first, lineOf);
    const auto to = std::lower_bound(from, m_matches.end(), end, lineOf);
    return {from, to};
}
