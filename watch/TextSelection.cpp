#include "TextSelection.h"

#include "TextCells.h"

#include <algorithm>

namespace {

using kel::watch::DecodeCharacter;

enum class CharClass { Word, Space, Other };

CharClass ClassOf(char32_t ch)
{
    if (ch == U' ' || ch == U'\t' || ch == U'\u00A0' || ch == U'\u3000' || ch == U'\uFEFF')
        return CharClass::Space;
    if ((ch >= U'0' && ch <= U'9') || (ch >= U'A' && ch <= U'Z') || (ch >= U'a' && ch <= U'z') || ch == U'_')
        return CharClass::Word;
    // Letters of other scripts are words; their punctuation blocks are not.
    const bool punctuation = ch < 0x80 || (ch >= 0x2000 && ch <= 0x206F) || (ch >= 0x3000 && ch <= 0x303F)
        || (ch >= 0xFF00 && ch <= 0xFF0F) || (ch >= 0xFF1A && ch <= 0xFF20) || ch == U'\uFFFD';
    return punctuation ? CharClass::Other : CharClass::Word;
}

CharClass ClassAt(std::string_view line, size_t at)
{
    return ClassOf(DecodeCharacter(line, at));
}

} // namespace

void CTextSelection::MoveTo(STextPosition position, bool extend)
{
    m_caret = position;
    if (!extend)
        m_anchor = position;
}

void CTextSelection::SelectAll(const CLineSource& lines)
{
    m_anchor = {};
    m_caret = lines.End();
    ForgetCell();
}

void CTextSelection::SelectWord(const CLineSource& lines, STextPosition at)
{
    at = lines.Clamp(at);
    ForgetCell();
    const std::string_view line = lines.Line(at.line);
    if (line.empty()) {
        MoveTo(at, false);
        return;
    }
    // The character under the point: the one before the line's end there.
    size_t start = at.column.Get() < line.size() ? at.column.Get() : kel::watch::PreviousCharacter(line, line.size());
    const CharClass kind = ClassAt(line, start);
    size_t end = kel::watch::NextCharacter(line, start);
    if (kind != CharClass::Other) {
        while (start > 0 && ClassAt(line, kel::watch::PreviousCharacter(line, start)) == kind)
            start = kel::watch::PreviousCharacter(line, start);
        while (end < line.size() && ClassAt(line, end) == kind)
            end = kel::watch::NextCharacter(line, end);
    }
    m_anchor = {at.line, LineColumn(start)};
    m_caret = {at.line, LineColumn(end)};
}

STextPosition CTextSelection::CharacterLeft(const CLineSource& lines, STextPosition from)
{
    from = lines.Clamp(from);
    if (from.column.Get() > 0)
        return {from.line, LineColumn(kel::watch::PreviousCharacter(lines.Line(from.line), from.column.Get()))};
    if (from.line.Get() == 0)
        return from;
    const LineNumber above(from.line.Get() - 1);
    return {above, LineColumn(lines.Line(above).size())};
}

STextPosition CTextSelection::CharacterRight(const CLineSource& lines, STextPosition from)
{
    from = lines.Clamp(from);
    const std::string_view line = lines.Line(from.line);
    if (from.column.Get() < line.size())
        return {from.line, LineColumn(kel::watch::NextCharacter(line, from.column.Get()))};
    if (from.line.Get() >= lines.LineCount())
        return from;
    return {LineNumber(from.line.Get() + 1), LineColumn(0)};
}

// A word move skips the spaces and stops at the start of the next word, as
// a text box's control-arrow does.
STextPosition CTextSelection::WordLeft(const CLineSource& lines, STextPosition from)
{
    from = lines.Clamp(from);
    if (from.column.Get() == 0)
        return CharacterLeft(lines, from);
    const std::string_view line = lines.Line(from.line);
    size_t at = from.column.Get();
    while (at > 0 && ClassAt(line, kel::watch::PreviousCharacter(line, at)) == CharClass::Space)
        at = kel::watch::PreviousCharacter(line, at);
    if (at > 0) {
        const CharClass kind = ClassAt(line, kel::watch::PreviousCharacter(line, at));
        do
            at = kel::watch::PreviousCharacter(line, at);
        while (kind == CharClass::Word && at > 0 && ClassAt(line, kel::watch::PreviousCharacter(line, at)) == kind);
    }
    return {from.line, LineColumn(at)};
}

STextPosition CTextSelection::WordRight(const CLineSource& lines, STextPosition from)
{
    from = lines.Clamp(from);
    const std::string_view line = lines.Line(from.line);
    if (from.column.Get() >= line.size())
        return CharacterRight(lines, from);
    size_t at = from.column.Get();
    const CharClass kind = ClassAt(line, at);
    do
        at = kel::watch::NextCharacter(line, at);
    while (kind == CharClass::Word && at < line.size() && ClassAt(line, at) == kind);
    while (at < line.size() && ClassAt(line, at) == CharClass::Space)
        at = kel::watch::NextCharacter(line, at);
    return {from.line, LineColumn(at)};
}

STextPosition CTextSelection::LineEnd(const CLineSource& lines, STextPosition from)
{
    from = lines.Clamp(from);
    return {from.line, LineColumn(lines.Line(from.line).size())};
}

STextPosition CTextSelection::RowsAway(const CLineSource& lines, long rows)
{
    const STextPosition from = lines.Clamp(m_caret);
    if (!m_keptCell)
        m_keptCell = kel::watch::CellsBefore(lines.Line(from.line), from.column.Get());
    const long last = static_cast<long>(lines.LineCount());
    const long row = std::clamp(static_cast<long>(from.line.Get()) + rows, 0L, last);
    const LineNumber target(static_cast<size_t>(row));
    return {target, LineColumn(kel::watch::ColumnAtCell(lines.Line(target), static_cast<double>(*m_keptCell)))};
}
