#include "TextCells.h"

#include <cstdint>
#include <cstring>

namespace kel::watch {
namespace {

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

constexpr uint64_t kHighBits = 0x8080808080808080ull;
constexpr uint64_t kLowBits = 0x0101010101010101ull;

bool HasByte(uint64_t word, unsigned char b)
{
    const uint64_t x = word ^ (kLowBits * b);
    return ((x - kLowBits) & ~x & kHighBits) != 0;
}

// The length of the strictly well-formed sequence at `at`, or 0.
size_t SequenceLength(const unsigned char* p, size_t left)
{
    const unsigned char lead = p[0];
    size_t need;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (left <= need || p[1] < low || p[1] > high)
        return 0;
    for (size_t i = 2; i <= need; ++i)
        if (!IsContinuation(p[i]))
            return 0;
    return need + 1;
}

char32_t DecodeSequence(const unsigned char* p, size_t length)
{
    char32_t value = p[0] & (0x7F >> length);
    for (size_t i = 1; i < length; ++i)
        value = (value << 6) | (p[i] & 0x3F);
    return value;
}

} // namespace

bool IsWide(char32_t ch)
{
    if (ch < 0x1100)
        return false;
    return (ch <= 0x115F) || (ch >= 0x2E80 && ch <= 0xA4CF && ch != 0x303F) || (ch >= 0xAC00 && ch <= 0xD7A3)
        || (ch >= 0xF900 && ch <= 0xFAFF) || (ch >= 0xFE30 && ch <= 0xFE4F) || (ch >= 0xFF00 && ch <= 0xFF60)
        || (ch >= 0xFFE0 && ch <= 0xFFE6) || (ch >= 0x1F300 && ch <= 0x1F64F) || (ch >= 0x1F900 && ch <= 0x1F9FF)
        || (ch >= 0x20000 && ch <= 0x3FFFD);
}

char32_t DecodeCharacter(std::string_view text, size_t& at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + at;
    if (p[0] < 0x80) {
        ++at;
        return p[0];
    }
    const size_t length = SequenceLength(p, text.size() - at);
    if (length == 0) {
        ++at;
        return U'\uFFFD';
    }
    at += length;
    return DecodeSequence(p, length);
}

size_t CharacterStart(std::string_view text, size_t at)
{
    if (at >= text.size())
        return text.size();
    // At most three continuation bytes belong to one character.
    size_t start = at;
    while (start > 0 && at - start < 3 && IsContinuation(static_cast<unsigned char>(text[start])))
        --start;
    size_t end = start;
    DecodeCharacter(text, end);
    return end > at ? start : at;
}

size_t NextCharacter(std::string_view text, size_t at)
{
    if (at >= text.size())
        return text.size();
    DecodeCharacter(text, at);
    return at;
}

size_t PreviousCharacter(std::string_view text, size_t at)
{
    return at == 0 ? 0 : CharacterStart(text, at - 1);
}

size_t CellsBefore(std::string_view line, size_t column)
{
    size_t cells = 0;
    for (size_t at = 0; at < column && at < line.size();)
        cells = AdvanceCells(cells, DecodeCharacter(line, at));
    return cells;
}

size_t ColumnAtCell(std::string_view line, double cell)
{
    size_t cells = 0;
    for (size_t at = 0; at < line.size();) {
        const size_t start = at;
        const size_t next = AdvanceCells(cells, DecodeCharacter(line, at));
        if (cell < (static_cast<double>(cells) + static_cast<double>(next)) / 2)
            return start;
        cells = next;
    }
    return line.size();
}

SUtf8Scan ScanUtf8(std::string_view text)
{
    SUtf8Scan scan;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    size_t at = 0;
    while (at < size) {
        if (size - at >= 8) {
            uint64_t word;
            std::memcpy(&word, p + at, sizeof word);
            if ((word & kHighBits) == 0 && !HasByte(word, '\t')) {
                scan.cells += 8;
                at += 8;
                continue;
            }
        }
        if (p[at] < 0x80) {
            scan.cells = AdvanceCells(scan.cells, p[at]);
            ++at;
            continue;
        }
        const size_t length = SequenceLength(p + at, size - at);
        if (length == 0) {
            scan.wellFormed = false; // the line is decoded again, the replacements counted then
            ++at;
            continue;
        }
        scan.cells += IsWide(DecodeSequence(p + at, length)) ? 2 : 1;
        at += length;
    }
    return scan;
}

} // namespace kel::watch
