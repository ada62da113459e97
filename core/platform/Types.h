#pragma once

// Scalar types under the names that the class interfaces use. Where
// unixODBC's <sqltypes.h> defines the same name, the type is exactly its
// (ULONG is its 64-bit unsigned long, BOOL its macro for int), so that an
// application may include <sql.h> before or after these headers.
#include <cstddef>
#include <cstdint>

using BYTE = unsigned char;
using WORD = unsigned short;
using DWORD = unsigned int;
using UINT = unsigned int;
using LONG = std::int32_t;
using ULONG = unsigned long;
using INT64 = std::int64_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
#ifndef BOOL
using BOOL = int;
#endif
using HANDLE = void*;
using HINSTANCE = void*;
using LPVOID = void*;

static_assert(sizeof(WORD) == 2 && sizeof(DWORD) == 4, "WORD and DWORD keep their Windows widths");

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
