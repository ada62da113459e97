#pragma once

// The columns and values of a result, and the pure conversions between the
// driver's types and the ones a command hands out: which stored type a
// column gets, how its values are read, and how a read element becomes a
// value. No driver is called here. Internal to KelStore.
#include "OdbcApi.h"
#include "OleDbTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kel::store {

struct ColumnInfo {
    std::wstring name;
    SQLSMALLINT sqlType = 0;
    SQLULEN size = 0;
    bool isUnsigned = false;
    DBTYPE type = DBTYPE_WSTR;
};

// How a column's values are read: the C type and, for values of a bounded
// size, the bytes of one. A bound column holds one element per row of a
// block with the driver's length indicator of each; the others are read
// with SQLGetData, whole.
struct ColumnBuffer {
    SQLSMALLINT cType = 0;
    SQLLEN elementBytes = 0; // 0: of no bounded size
    bool bound = false;
    std::vector<BYTE> data;
    std::vector<SQLLEN> indicators;
};

// One value of the current row. Fixed-size values sit in `fixed`; text and
// bytes in their own containers, so values of any length are kept whole.
struct ColumnValue {
    DBSTATUS status = DBSTATUS_S_OK;
    union {
        std::int16_t i2;
        LONG i4;
        LONGLONG i8;
        float r4;
        double r8;
        VARIANT_BOOL boolean;
        DB_NUMERIC numeric;
        DBDATE date;
        DBTIME time;
        DBTIMESTAMP timestamp;
    } fixed{};
    std::wstring text;       // WSTR, the driver's text of a NUMERIC, an overflowing integer
    std::vector<BYTE> bytes; // BYTES
};

// The stored type of a column of the driver's `sqlType`.
DBTYPE StoredTypeOf(SQLSMALLINT sqlType, bool isUnsigned);
// How the values of a column are read (C type, element size).
ColumnBuffer BufferFor(const ColumnInfo& info);
// An integer into the column's type, or flagged and kept as text when it
// does not fit.
void StoreInteger(DBTYPE type, __int128 whole, ColumnValue& value);
// One fixed-size element, as read into the column's C type.
void StoreFixed(const ColumnInfo& info, SQLSMALLINT cType, const BYTE* element, ColumnValue& value);
// The text of a numeric column becomes its structure too.
void FinishNumeric(const ColumnInfo& info, ColumnValue& value);
// Parses the decimal text of an exact numeric ("-12.34"); false when it is not
// one or does not fit 38 digits.
bool ParseNumeric(const std::wstring& text, SQLULEN columnSize, DB_NUMERIC& numeric);

} // namespace kel::store
