#pragma once

// Conversions between the layer's wide text (UTF-32 wchar_t) and the UTF-8
// and UTF-16 byte forms. Ill-formed input is never rejected: an ill-formed
// UTF-8 sequence becomes U+FFFD per maximal subpart, and a wide value that is
// a lone surrogate or beyond U+10FFFF is written as U+FFFD.
#include "KelExport.h"
#include "Types.h"

#include <string>
#include <string_view>

namespace kel::platform {

KELCORE_API void AppendUtf8AsWide(std::string_view utf8, std::wstring& out);
KELCORE_API std::wstring Utf8ToWide(std::string_view utf8);
// Number of wide characters that Utf8ToWide would produce.
KELCORE_API size_t WideLengthOfUtf8(std::string_view utf8);

KELCORE_API void AppendWideAsUtf8(std::wstring_view text, std::string& out);
KELCORE_API std::string WideToUtf8(std::wstring_view text);
// Number of bytes that WideToUtf8 would produce.
KELCORE_API size_t Utf8LengthOfWide(std::wstring_view text);

// `units` little-endian UTF-16 code units; pairs become one character, a lone
// surrogate is kept as its own value so that it writes back unchanged.
KELCORE_API std::wstring Utf16LEToWide(const BYTE* bytes, size_t units);

// Strict decoding, for text that must not lose anything: false at the first
// ill-formed sequence instead of a replacement. For UTF-8 that is an
// over-long form, a surrogate, a value beyond U+10FFFF, a stray or missing
// continuation byte; for UTF-16LE an odd last byte or a lone surrogate.
KELCORE_API bool Utf8ToWideStrict(std::string_view utf8, std::wstring& out);
KELCORE_API bool Utf16LEToWideStrict(const BYTE* bytes, size_t length, std::wstring& out);
KELCORE_API void AppendWideAsUtf16LE(std::wstring_view text, std::string& out);

// Bytes that are not text, such as file names, kept whole: a byte that
// starts no well-formed UTF-8 sequence becomes the character U+DC00 + byte
// (U+DC80 to U+DCFF, which no well-formed text holds), and the escaped form
// writes each such character back as its byte, so bytes -> wide -> bytes
// gives the same bytes for every input.
inline constexpr wchar_t kEscapeBase = 0xDC00;
constexpr bool IsEscapedByte(wchar_t ch) { return ch >= 0xDC80 && ch <= 0xDCFF; }
constexpr wchar_t EscapedByte(unsigned char byte) { return static_cast<wchar_t>(kEscapeBase + byte); }
KELCORE_API void AppendUtf8AsWideEscaped(std::string_view bytes, std::wstring& out);
KELCORE_API void AppendWideAsUtf8Escaped(std::wstring_view text, std::string& out);

// Ordinal comparison in UTF-16 code-unit order (a character beyond the BMP
// compares by its surrogates, below U+E000). Negative, zero or positive.
KELCORE_API int CompareUtf16(std::wstring_view a, std::wstring_view b);

} // namespace kel::platform
