#pragma once

// CTextSelection: the caret and the selection of a view over a line source,
// and the moves of a text box: by character, word, line, row and page, to
// the start and end of the text, select all, select the word at a point.
// The selection runs from the anchor to the caret; it is empty when both are
// the same. Nothing here needs a display.
#include "LineSource.h"

#include <optional>
#include <string>

class CTextSelection {
public:
    STextPosition Anchor() const { return m_anchor; }
    STextPosition Caret() const { return m_caret; }
    bool IsEmpty() const { return m_anchor == m_caret; }
    STextPosition Start() const { return std::min(m_anchor, m_caret); }
    STextPosition End() const { return std::max(m_anchor, m_caret); }

    // Puts the caret at `position`; with `extend` the anchor stays, so the
    // selection grows or shrinks, else the selection is emptied.
    void MoveTo(STextPosition position, bool extend);
    void SelectAll(const CLineSource& lines);
    // The word (or the run of spaces, or the one other character) at `at`.
    void SelectWord(const CLineSource& lines, STextPosition at);
    std::string SelectedText(const CLineSource& lines) const { return lines.Text(Start(), End()); }

    // The moves; each gives the caret's new place, and MoveTo puts it there.
    static STextPosition CharacterLeft(const CLineSource& lines, STextPosition from);
    static STextPosition CharacterRight(const CLineSource& lines, STextPosition from);
    static STextPosition WordLeft(const CLineSource& lines, STextPosition from);
    static STextPosition WordRight(const CLineSource& lines, STextPosition from);
    static STextPosition LineStart(STextPosition from) { return {from.line, LineColumn(0)}; }
    static STextPosition LineEnd(const CLineSource& lines, STextPosition from);
    // `rows` up (negative) or down, keeping the caret's cell across short
    // lines as a text box does.
    STextPosition RowsAway(const CLineSource& lines, long rows);
    // Clears the kept cell: every move but RowsAway does.
    void ForgetCell() { m_keptCell.reset(); }

private:
    STextPosition m_anchor;
    STextPosition m_caret;
    std::optional<size_t> m_keptCell;
};
