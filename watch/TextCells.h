#pragma once

// Walking the UTF-8 text of a view's lines: characters, and the cells they
// take on the view's grid. The view's font is monospaced: a character takes
// one cell, an East Asian wide one (Hangul, CJK, full-width forms) two, and a
// tab moves on to the next multiple of eight cells.
#include <cstddef>
#include <string_view>

namespace kel::watch {

constexpr size_t kTabCells = 8;

bool IsWide(char32_t ch);
// The cell count after `ch` is put at cell `cells`.
inline size_t AdvanceCells(size_t cells, char32_t ch)
{
    if (ch == U'\t')
        return (cells / kTabCells + 1) * kTabCells;
    return cells + (IsWide(ch) ? 2 : 1);
}

// The character at `at` (at < text.size()); `at` moves past it. An ill-formed
// byte is taken alone as U+FFFD.
char32_t DecodeCharacter(std::string_view text, size_t& at);
// The start of the character that holds byte `at` (at <= text.size()).
size_t CharacterStart(std::string_view text, size_t at);
size_t NextCharacter(std::string_view text, size_t at);
size_t PreviousCharacter(std::string_view text, size_t at);

// Cells of the text before byte `column`.
size_t CellsBefore(std::string_view line, size_t column);
// The character boundary nearest to `cell` (a fraction of a cell counts
// towards the nearer side).
size_t ColumnAtCell(std::string_view line, double cell);

struct SUtf8Scan {
    bool wellFormed = true; // strictly well-formed UTF-8, nothing to replace
    size_t cells = 0;
};
// One pass over a line: whether it is well-formed, and its cells.
SUtf8Scan ScanUtf8(std::string_view text);

} // namespace kel::watch
