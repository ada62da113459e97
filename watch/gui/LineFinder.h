#pragma once

// CLineFinder: every match of a find pattern in a view's lines, looked for a
// slice at a time so that the window keeps handling events, and carried on
// as lines are appended. The matches are kept in order, so the count, the
// next and previous match and the matches of the visible lines are looked up
// without searching again. Plain text is looked for in the UTF-8 bytes when
// case matters, else through a regular expression of the escaped text
// (QRegularExpression: PCRE2), except ASCII text without K or S (the only
// ASCII letters whose other cases lie outside ASCII: U+212A, U+017F), which
// is looked for in the bytes with ASCII case folding (Horspool). A match of no
// characters is not a match.
// Runs of adjacent lines are converted and matched in one go, joined by their
// line feeds; a match that takes in a line feed is not one of a single line,
// so those lines are matched again one by one, as are all lines of a pattern
// that could look past a line's ends (look-arounds, inline options, \A, \z).
//
// Lives on the user-interface thread with its view.
#include "LineSource.h"

#include <QRegularExpression>
#include <QString>

#include <array>
#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <vector>

class CLineFinder {
public:

    struct SMatch {
        LineNumber line;
        LineColumn begin;
        LineColumn end;
    };

    // Starts a new search; false (and no search) when `pattern` is empty or
    // not a valid regular expression.
    bool SetPattern(const QString& pattern, bool regularExpression, bool caseSensitive);
    void Clear();
    bool IsActive() const { return m_bActive; }
    // Why the last pattern was refused; empty when it was not.
    QString ErrorString() const { return m_strError; }

    // Looks through the lines not searched yet until all are, or `budget`
    // has passed; true when every line of `lines` has been searched.
    bool Search(const CLineSource& lines, std::chrono::milliseconds budget);
    size_t SearchedLines() const { return m_nSearchedLines; }
    bool IsDone(const CLineSource& lines) const { return m_nSearchedLines >= lines.LineCount(); }

    const std::vector<SMatch>& Matches() const { return m_matches; }
    // The index of the first match that begins at or after `position`, or of
    // the last one that begins before it.
    std::optional<size_t> NextFrom(STextPosition position) const;
    std::optional<size_t> PreviousFrom(STextPosition position) const;
    // The matches of the lines from `first` up to, not including, `end`.
    std::span<const SMatch> MatchesOfLines(LineNumber first, LineNumber end) const;

private:
    void _MatchLine(size_t line, std::string_view text);
    size_t _MatchRun(const CLineSource& lines, size_t first, size_t end);
    void _MatchWide(size_t line, const QString& text, qsizetype from, qsizetype to);

    bool m_bActive = false;
    size_t _FindFolded(std::string_view text, size_t from) const;

    bool m_bBytes = false;   // plain text: a byte search
    bool m_bFolded = false;  // ... where case does not matter: m_bytes in lower case
    std::array<size_t, 256> m_skip{}; // Horspool's shifts for the folded search
    bool m_bPerLine = false; // a pattern that must see each line alone
    std::string m_bytes;
    QRegularExpression m_expression;
    QString m_strError;
    size_t m_nSearchedLines = 0;
    std::vector<SMatch> m_matches;
};
