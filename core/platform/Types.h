#pragma once

// Scalar types under the names that the class interfaces use.
#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using INT64 = std::int64_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using BOOL = int;
using HANDLE = void*;
using HINSTANCE = void*;
using LPVOID = void*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Position handle of the layer's lists; null means "no element".
struct __POSITION;
using POSITION = __POSITION*;

// Automation string: a wide string whose 32-bit byte length sits just before
// the first character (see Bstr.h).
using BSTR = wchar_t*;
