#pragma once

// The text of a view as numbered lines, and positions in it.
//
// CLineSource is what a view paints and selects from: lines of UTF-8 text
// without line ends, each of which is shown followed by one. A view shows one
// row more than there are lines: the empty row after the last line end, where
// the caret rests. Line numbers and columns are distinct types, so a line
// count is never passed where a byte offset is wanted.
#include <compare>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

template <class Tag>
class CTextIndex {
public:
    constexpr CTextIndex() = default;
    constexpr explicit CTextIndex(size_t value) : m_nValue(value) {}
    constexpr size_t Get() const { return m_nValue; }
    constexpr auto operator<=>(const CTextIndex&) const = default;

private:
    size_t m_nValue = 0;
};

// A line (row) of the view, from 0.
using LineNumber = CTextIndex<struct LineNumberTag>;
// A byte offset into a line's UTF-8 text, always at a character boundary.
using LineColumn = CTextIndex<struct LineColumnTag>;

struct STextPosition {
    LineNumber line;
    LineColumn column;
    constexpr auto operator<=>(const STextPosition&) const = default;
};

class CLineSource {
public:
    virtual ~CLineSource() = default;

    // Lines that end in a line end; the view has one row more.
    virtual size_t LineCount() const = 0;
    // The UTF-8 text of a line; the row after the last line is empty. The
    // view stays valid until the next change of the source.
    virtual std::string_view Line(LineNumber line) const = 0;
    // Cells of the widest line (a wide character takes two cells, a tab
    // goes on to the next multiple of eight).
    virtual size_t MaxLineCells() const = 0;

    size_t RowCount() const { return LineCount() + 1; }
    // The position after all text: the start of the empty last row.
    STextPosition End() const { return {LineNumber(LineCount()), LineColumn(0)}; }
    // `position` moved onto the text: the row and column made to exist.
    STextPosition Clamp(STextPosition position) const;

    // Hands the text from `from` to `to` to `piece` in pieces of whole
    // characters, with `lineEnd` after each line that is included up to its
    // end. Pieces are gathered up to about a megabyte before each call.
    void VisitText(STextPosition from, STextPosition to, std::string_view lineEnd,
                   const std::function<void(std::string_view)>& piece) const;
    // The same text as one string, lines ended by "\n".
    std::string Text(STextPosition from, STextPosition to) const;
    // The same text with each line's number (from 1) and a tab before it,
    // every line ended by "\n": what "copy with line numbers" copies. A
    // selection that ends at the start of a line leaves that line out.
    std::string NumberedText(STextPosition from, STextPosition to) const;
};
