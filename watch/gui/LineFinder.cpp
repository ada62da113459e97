#include "LineFinder.h"

#include <QElapsedTimer>

#include <algorithm>

bool CLineFinder::SetPattern(const QString& pattern, bool regularExpression, bool caseSensitive)
{
    Clear();
    if (pattern.isEmpty())
        return false;
    m_bBytes = !regularExpression && caseSensitive;
    if (m_bBytes) {
        m_bytes = pattern.toStdString();
    } else {
        m_expression.setPattern(regularExpression ? pattern : QRegularExpression::escape(pattern));
        m_expression.setPatternOptions(caseSensitive ? QRegularExpression::NoPatternOption
                                                     : QRegularExpression::CaseInsensitiveOption);
        if (!m_expression.isValid()) {
            m_strError = m_expression.errorString();
            return false;
        }
        m_expression.optimize();
    }
    m_bActive = true;
    return true;
}

void CLineFinder::Clear()
{
    m_bActive = false;
    m_strError.clear();
    m_nSearchedLines = 0;
    m_matches.clear();
}

bool CLineFinder::Search(const CLineSource& lines, std::chrono::milliseconds budget)
{
    if (!m_bActive)
        return true;
    QElapsedTimer clock;
    clock.start();
    constexpr size_t kLinesBetweenClockReads = 256;
    while (m_nSearchedLines < lines.LineCount()) {
        const size_t end = std::min(lines.LineCount(), m_nSearchedLines + kLinesBetweenClockReads);
        for (; m_nSearchedLines < end; ++m_nSearchedLines)
            _MatchLine(m_nSearchedLines, lines.Line(LineNumber(m_nSearchedLines)));
        if (clock.elapsed() >= budget.count())
            break;
    }
    return IsDone(lines);
}

void CLineFinder::_MatchLine(size_t line, std::string_view text)
{
    if (m_bBytes) {
        for (size_t at = text.find(m_bytes); at != std::string_view::npos; at = text.find(m_bytes, at + m_bytes.size()))
            m_matches.push_back({LineNumber(line), LineColumn(at), LineColumn(at + m_bytes.size())});
        return;
    }
    // The expression works on UTF-16: the match is turned back into byte
    // columns by counting the UTF-8 bytes of the text before it.
    const QString wide = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    qsizetype counted = 0;
    size_t bytes = 0;
    auto toColumn = [&](qsizetype unit) {
        bytes += static_cast<size_t>(QStringView(wide).mid(counted, unit - counted).toUtf8().size());
        counted = unit;
        return LineColumn(bytes);
    };
    for (QRegularExpressionMatchIterator found = m_expression.globalMatch(wide); found.hasNext();) {
        const QRegularExpressionMatch match = found.next();
        if (match.capturedLength() == 0)
            continue;
        const LineColumn begin = toColumn(match.capturedStart());
        m_matches.push_back({LineNumber(line), begin, toColumn(match.capturedEnd())});
    }
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
