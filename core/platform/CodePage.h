#pragma once

// Multi-byte code pages: the system code page (the code set of the user's
// locale environment, read once) and CP949, converted through iconv. Bytes a
// code page cannot decode become U+FFFD; characters it cannot encode become
// '?', its default character.
#include "KelExport.h"

#include <string>
#include <string_view>

namespace kel::platform {

enum class CodePage {
    System, // LC_ALL / LC_CTYPE / LANG; UTF-8 when unset or plain ASCII
    Utf8,
    Cp949,  // superset of EUC-KR
};

// iconv name of the code set of the locale that the environment names now
// (the first of LC_ALL, LC_CTYPE, LANG that is set), without touching the
// process locale; "UTF-8" for none, an unknown or an ASCII-only locale.
KELCORE_API std::string CodeSetOfEnvironment();
// The same, read once per process: the system code set.
KELCORE_API const std::string& SystemCodeSet();
KELCORE_API bool SystemCodeSetIsUtf8();

// What becomes of bytes the code page cannot decode: U+FFFD (text), or the
// escapes of Unicode.h, which WideToMultiByte turns back into the same bytes
// (file names).
enum class Undecodable { Replace, Escape };

KELCORE_API std::wstring MultiByteToWide(std::string_view bytes, CodePage codePage,
                                         Undecodable undecodable = Undecodable::Replace);
KELCORE_API std::string WideToMultiByte(std::wstring_view text, CodePage codePage,
                                        Undecodable undecodable = Undecodable::Replace);

// Strict conversions, for text that must not lose anything: false, with
// nothing replaced, when a byte sequence does not decode or a character has
// no code in the code page (also when the code page is unknown).
KELCORE_API bool MultiByteToWideStrict(std::string_view bytes, CodePage codePage, std::wstring& out);
KELCORE_API bool WideToMultiByteStrict(std::wstring_view text, CodePage codePage, std::string& out);

} // namespace kel::platform
