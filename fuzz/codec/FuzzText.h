#pragma once

// The fuzzers' input as wide text too: each byte a character of the Latin-1
// range, and every 64th place a full code point built from four bytes, to
// reach the characters beyond it.
#include <cstdint>
#include <cstring>
#include <string>

inline std::wstring WideFromBytes(const std::uint8_t* bytes, size_t size)
{
    std::wstring wide(bytes, bytes + size);
    for (size_t i = 0; i + 4 <= size; i += 64) {
        std::uint32_t code;
        std::memcpy(&code, bytes + i, 4);
        wide[i] = static_cast<wchar_t>(code & 0x7FFFFFFF);
    }
    return wide;
}
