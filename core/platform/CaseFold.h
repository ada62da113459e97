#pragma once

// Unicode simple case folding: the one character each character compares as
// when case is ignored, the same for every process and locale. It is what
// case-insensitive names (registry keys and values) and CStringW's
// case-insensitive comparison use. The table comes from Unicode's
// CaseFolding.txt (the simple mappings, status C and S) at build time.
#include "KelExport.h"

#include <string_view>

namespace kel::platform {

KELCORE_API wchar_t FoldCase(wchar_t ch);

// <0, 0 or >0 as `a` sorts before, with or after `b` once both are folded,
// by code point.
KELCORE_API int CompareFolded(std::wstring_view a, std::wstring_view b);

} // namespace kel::platform
