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
KELCORE_API void AppendWideAsUtf16LE(std::wstring_view text, std::string& out);

// Ordinal comparison in UTF-16 code-unit order (a character beyond the BMP
// compares by its surrogates, below U+E000). Negative, zero or positive.
KELCORE_API int CompareUtf16(std::wstring_view a, std::wstring_view b);

} // namespace kel::platform
