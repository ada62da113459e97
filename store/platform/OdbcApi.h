#pragma once

// unixODBC's headers, included after the layer's own scalar types. Left to
// themselves they declare Windows types that clash with the layer's (ULONG
// as a 64-bit long, BOOL as a macro); told that those exist, they need only
// the few names below, which are exactly their definitions of them.
#include <platform/Types.h>

#define ALREADY_HAVE_WINDOWS_TYPE
#define FAR
#define CALLBACK
#define SQL_API

using CHAR = char;
using SCHAR = signed char;
using SQLSCHAR = SCHAR;
using UWORD = unsigned short;
using RETCODE = short;
using SQLHWND = void*;
using WCHAR = unsigned short;
using LPWSTR = WCHAR*;
using LPSTR = char*;

static_assert(sizeof(DWORD) == sizeof(unsigned int), "unixODBC's DWORD is a 32-bit unsigned int");

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
