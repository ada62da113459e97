#include "LineFinder.h"

#include <QElapsedTimer>

#include <algorithm>
#include <iterator>

namespace {

// What lets an expression see past the ends of its subject, or start a
// match elsewhere than it began: such a pattern is matched line by line.
constexpr const char* kLooksPastTheLine[] = {"(?", "\\A", "\\z", "\\Z", "\\G", "\\K"};
// A run of lines matched in one go is at most this many bytes.
constexpr size_t kRunBytes = 256 << 10;

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

} // namespace

bool CLineFinder::SetPattern(const QString& pattern, bool regularExpression, bool caseSensitive)
{
    Clear();
    if (pattern.isEmpty())
        return false;
    const bool foldable = !caseSensitive && std::all_of(pattern.begin(), pattern.end(), [](QChar ch) {
        return ch.unicode() < 0x80 && ch.toLower() != QLatin1Char('k') && ch.toLower() != QLatin1Char('s');
    });
    m_bBytes = !regularExpression && (caseSensitive || foldable);
    if (m_bBytes) {
        m_bytes = pattern.toStdString();
        m_bFolded = !caseSensitive;
        if (m_bFolded) {
            std::transform(m_bytes.begin(), m_bytes.end(), m_bytes.begin(), FoldAscii);
            m_skip.fill(m_bytes.size());
            for (size_t at = 0; at + 1 < m_bytes.size(); ++at) {
                m_skip[static_cast<unsigned char>(m_bytes[at])] = m_bytes.size() - 1 - at;
                m_skip[static_cast<unsigned char>(UpperAscii(m_bytes[at]))] = m_bytes.size() - 1 - at;
            }
        }
    } else {
        m_expression.setPattern(regularExpression ? pattern : QRegularExpression::escape(pattern));
        // Multi-line: ^ and $ match at each line of a run as at a line alone.
        m_expression.setPatternOptions(caseSensitive ? QRegularExpression::MultilineOption
                                                     : QRegularExpression::MultilineOption
                                                           | QRegularExpression::CaseInsensitiveOption);
        if (!m_expression.isValid()) {
            m_strError = m_expression.errorString();
            return false;
        }
        m_expression.optimize();
    }
    m_bPerLine = regularExpression
        && std::any_of(std::begin(kLooksPastTheLine), std::end(kLooksPastTheLine),
                       [&](const char* piece) { return pattern.contains(QLatin1String(piece)); });
    m_bActive = true;
    return true;
}

void CLineFinder::Clear()
{
    m_bActive = false;
    m_bFolded = false;
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
        if (m_bBytes || m_bPerLine) {
            const size_t end = std::min(lines.LineCount(), m_nSearchedLines + kLinesBetweenClockReads);
            for (; m_nSearchedLines < end; ++m_nSearchedLines)
                _MatchLine(m_nSearchedLines, lines.Line(LineNumber(m_nSearchedLines)));
        } else {
            m_nSearchedLines = _MatchRun(lines, m_nSearchedLines, lines.LineCount()); // a run is small
        }
        if (clock.elapsed() >= budget.count())
            break;
    }
    return IsDone(lines);
}

void CLineFinder::_MatchLine(size_t line, std::string_view text)
{
    if (m_bBytes) {
        auto find = [&](size_t from) { return m_bFolded ? _FindFolded(text, from) : text.find(m_bytes, from); };
        for (size_t at = find(0); at != std::string_view::npos; at = find(at + m_bytes.size()))
            m_matches.push_back({LineNumber(line), LineColumn(at), LineColumn(at + m_bytes.size())});
        return;
    }
    _MatchWide(line, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), 0, -1);
}

// Horspool's search with ASCII case folding: the last byte of the window
// says how far the pattern can move on.
size_t CLineFinder::_FindFolded(std::string_view text, size_t from) const
{
    const size_t length = m_bytes.size();
    for (size_t at = from; at + length <= text.size(); at += m_skip[static_cast<unsigned char>(text[at + length - 1])]) {
        size_t left = length;
        while (left > 0 && FoldAscii(text[at + left - 1]) == m_bytes[left - 1])
            --left;
        if (left == 0)
            return at;
    }
    return std::string_view::npos;
}

// Matches the expression in `text` from `from` to `to` (-1: its end), one
// line of UTF-16 whose columns are turned back into UTF-8 bytes.
void CLineFinder::_MatchWide(size_t line, const QString& text, qsizetype from, qsizetype to)
{
    const QStringView wide = QStringView(text).mid(from, to < 0 ? -1 : to - from);
    qsizetype counted = 0;
    size_t bytes = 0;
    auto toColumn = [&](qsizetype unit) {
        bytes += static_cast<size_t>(wide.mid(counted, unit - counted).toUtf8().size());
        counted = unit;
        return LineColumn(bytes);
    };
    const QString subject = from == 0 && to < 0 ? text : wide.toString();
    for (QRegularExpressionMatchIterator found = m_expression.globalMatch(subject); found.hasNext();) {
        const QRegularExpressionMatch match = found.next();
        if (match.capturedLength() == 0)
            continue;
        const LineColumn begin = toColumn(match.capturedStart());
        m_matches.push_back({LineNumber(line), begin, toColumn(match.capturedEnd())});
    }
}

// Lines from `first` (before `end`) that lie one after the other in memory,
// each followed by its line feed, are converted and matched as one text.
// Returns the line after the last one matched.
size_t CLineFinder::_MatchRun(const CLineSource& lines, size_t first, size_t end)
{
    const std::string_view start = lines.Line(LineNumber(first));
    size_t last = first; // the run's last line
    std::string_view previous = start;
    while (last + 1 < end) {
        const std::string_view next = lines.Line(LineNumber(last + 1));
        if (next.data() != previous.data() + previous.size() + 1
            || static_cast<size_t>(next.data() + next.size() - start.data()) > kRunBytes)
            break;
        previous = next;
        ++last;
    }
    const QString text = QString::fromUtf8(start.data(), previous.data() + previous.size() - start.data());
    std::vector<qsizetype> starts{0}; // where each line of the run begins in `text`
    for (qsizetype feed = text.indexOf(QLatin1Char('\n')); feed >= 0; feed = text.indexOf(QLatin1Char('\n'), feed + 1))
        starts.push_back(feed + 1);
    starts.push_back(text.size() + 1); // as if a line feed followed the last line

    std::vector<bool> again(starts.size() - 1, false); // lines a match ran across
    std::vector<SMatch> found;
    for (QRegularExpressionMatchIterator it = m_expression.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        if (match.capturedLength() == 0)
            continue;
        const size_t line = static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), match.capturedStart())
                                                - starts.begin() - 1);
        if (match.capturedEnd() >= starts[line + 1]) { // takes in the line feed
            for (size_t other = line; other + 1 < starts.size() && starts[other] <= match.capturedEnd(); ++other)
                again[other] = true;
            continue;
        }
        const QStringView lineText = QStringView(text).mid(starts[line]);
        const qsizetype begin = match.capturedStart() - starts[line];
        const size_t beginBytes = static_cast<size_t>(lineText.left(begin).toUtf8().size());
        const size_t lengthBytes = static_cast<size_t>(match.capturedView().toUtf8().size());
        found.push_back({LineNumber(first + line), LineColumn(beginBytes), LineColumn(beginBytes + lengthBytes)});
    }
    auto next = found.begin();
    for (size_t line = 0; line < again.size(); ++line) {
        const auto lineEnd = std::find_if(next, found.end(), [&](const SMatch& m) { return m.line.Get() != first + line; });
        if (again[line])
            _MatchWide(first + line, text, starts[line], starts[line + 1] - 1);
        else
            m_matches.insert(m_matches.end(), next, lineEnd);
        next = lineEnd;
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
