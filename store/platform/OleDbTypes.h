#pragma once

// The consumer-side scalar types, status codes and value records under the
// names that database code written for OLE DB uses. Only the database library
// and its users need them, so they live here rather than in the core layer.
#include <KelCore/platform/Types.h>

#include <cstdint>

using HRESULT = std::int32_t;
using DBTYPE = WORD;
using DBSTATUS = DWORD;
using DBORDINAL = std::uint64_t;
using DBLENGTH = std::uint64_t;
using DBROWCOUNT = std::int64_t;
using VARIANT_BOOL = std::int16_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT DB_S_ENDOFROWSET = 0x00040EC6;
constexpr HRESULT DB_S_NORESULT = 0x00040EC9;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Column types; the value of a column of each type is stored as noted.
enum : DBTYPE {
    DBTYPE_EMPTY = 0,
    DBTYPE_I2 = 2,            // std::int16_t
    DBTYPE_I4 = 3,            // LONG
    DBTYPE_R4 = 4,            // float
    DBTYPE_R8 = 5,            // double
    DBTYPE_BOOL = 11,         // VARIANT_BOOL
    DBTYPE_I8 = 20,           // LONGLONG
    DBTYPE_BYTES = 128,       // BYTE[GetLength]
    DBTYPE_WSTR = 130,        // wchar_t[], zero-terminated
    DBTYPE_NUMERIC = 131,     // DB_NUMERIC
    DBTYPE_DBDATE = 133,      // DBDATE
    DBTYPE_DBTIME = 134,      // DBTIME
    DBTYPE_DBTIMESTAMP = 135, // DBTIMESTAMP
};

enum : DBSTATUS {
    DBSTATUS_S_OK = 0,
    DBSTATUS_E_CANTCONVERTVALUE = 2,
    DBSTATUS_S_ISNULL = 3,
    DBSTATUS_E_DATAOVERFLOW = 6,
};

// Exact numeric: a 128-bit little-endian magnitude, `sign` 1 for positive and
// 0 for negative, `scale` digits after the decimal point.
struct DB_NUMERIC {
    BYTE precision;
    BYTE scale;
    BYTE sign;
    BYTE val[16];
};

struct DBDATE {
    std::int16_t year;
    std::uint16_t month;
    std::uint16_t day;
};

struct DBTIME {
    std::uint16_t hour;
    std::uint16_t minute;
    std::uint16_t second;
};

struct DBTIMESTAMP {
    std::int16_t year;
    std::uint16_t month;
    std::uint16_t day;
    std::uint16_t hour;
    std::uint16_t minute;
    std::uint16_t second;
    std::uint32_t fraction; // nanoseconds
};
