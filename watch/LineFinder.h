#pragma once

// CLineFinder: the matches of a pattern in a view's lines, looked for a slice
// at a time so that the window keeps handling events, and carried on as
// lines are appended. A find counts every match; a filter only the lines
// that have one, which it finds faster, as a line is left at its first
// match. Either way only the lines with a match are kept, in order, with the
// number of matches before each, so a pattern found in every line of a big
// log costs 16 bytes a line, not a record per match; the matches of one line
// are found again when they are wanted (the visible lines, the next match),
// by matching that line alone, which finds what the search found.
//
// Runs of adjacent lines (each followed by its line feed in the line store)
// are matched as one text, so a rare word costs one pass over the bytes. A
// match that takes in a line feed is not one of a single line: those lines
// are matched again one by one, as are all lines of a pattern that could
// look past a line's ends (see CTextPattern).
//
// Not thread safe; lives with its view.
#include "LineSource.h"
#include "TextPattern.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class CLineFinder {
public:
    enum class EMode { EveryMatch, MatchingLines };

    struct SMatch {
        LineNumber line;
        LineColumn begin;
        LineColumn end;
    };

    explicit CLineFinder(EMode mode = EMode::EveryMatch) : m_mode(mode) {}

    // Starts a new search; false (and no search) when `pattern` (UTF-8) is
    // empty or not a valid regular expression.
    bool SetPattern(std::string_view pattern, bool regularExpression, bool caseSensitive);
    void Clear();
    // The text was replaced: the same pattern is looked for from line 0.
    void Restart();
    bool IsActive() const { return !m_pattern.IsEmpty(); }
    const CTextPattern& Pattern() const { return m_pattern; }
    // Why the last pattern was refused; empty when it was not.
    const std::string& ErrorString() const { return m_strError; }

    // Looks through the lines not searched yet until all are, or `budget`
    // has passed; true when every line of `lines` has been searched.
    bool Search(const CLineSource& lines, std::chrono::milliseconds budget);
    size_t SearchedLines() const { return m_nSearchedLines; }
    bool IsDone(const CLineSource& lines) const { return m_nSearchedLines >= lines.LineCount(); }

    // The matches found so far (a filter: the lines).
    size_t MatchCount() const { return m_nMatchCount; }
    // The lines found so far that have a match.
    const std::vector<size_t>& MatchingLines() const { return m_matchingLines; }

    // Match `index` (below MatchCount()) of `lines`, the lines searched; of
    // a filter, the first match of a line.
    SMatch MatchAt(const CLineSource& lines, size_t index) const;
    // The index of the first match that begins at or after `position`, or of
    // the last one that begins before it.
    std::optional<size_t> NextFrom(const CLineSource& lines, STextPosition position) const;
    std::optional<size_t> PreviousFrom(const CLineSource& lines, STextPosition position) const;
    // The matches of the searched lines from `first` up to, not including, `end`.
    std::vector<SMatch> MatchesOfLines(const CLineSource& lines, LineNumber first, LineNumber end) const;

private:
    size_t _MatchRun(const CLineSource& lines, size_t first, size_t end);
    void _MatchAlone(size_t line, std::string_view text);
    void _Add(size_t line);
    void _ForgetLine(size_t line);
    // The matches of one line, as the search counted them.
    std::vector<SMatch> _MatchesOfLine(const CLineSource& lines, size_t line) const;

    EMode m_mode;
    CTextPattern m_pattern;
    std::string m_strError;
    size_t m_nSearchedLines = 0;
    size_t m_nMatchCount = 0;
    std::vector<size_t> m_matchingLines;
    // The matches in the lines before each matching line.
    std::vector<size_t> m_matchesBefore;
};
