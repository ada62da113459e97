#pragma once

// Automation strings: wide text preceded by its length in bytes (32 bits)
// and followed by a zero; the pointer addresses the first character.
#include "KelExport.h"
#include "Types.h"

KELCORE_API BSTR SysAllocString(const wchar_t* text);
KELCORE_API BSTR SysAllocStringLen(const wchar_t* text, UINT length);
KELCORE_API void SysFreeString(BSTR text);
KELCORE_API UINT SysStringLen(BSTR text);
