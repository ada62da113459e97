#include "ColumnValues.h"

#include <cstring>
#include <limits>

namespace kel::store {

namespace {

// Text columns of at most this many characters are bound; longer ones, and
// bound values that prove longer than their column said, are read in chunks.
constexpr SQLULEN kMaxBoundTextChars = 4096;

bool IsCharacter(SQLSMALLINT sqlType)
{
    switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR: return true;
    default: return false;
    }
}

std::wstring WholeText(__int128 whole)
{
    return whole < 0 ? std::to_wstring(static_cast<long long>(whole))
                     : std::to_wstring(static_cast<unsigned long long>(whole));
}

template <class T>
T Load(const BYTE* element)
{
    T loaded;
    std::memcpy(&loaded, element, sizeof loaded);
    return loaded;
}

} // namespace

DBTYPE StoredTypeOf(SQLSMALLINT sqlType, bool isUnsigned)
{
    switch (sqlType) {
    case SQL_BIT: return DBTYPE_BOOL;
    case SQL_TINYINT: return DBTYPE_I2;
    // An unsigned column needs the next wider type for its largest values.
    case SQL_SMALLINT: return isUnsigned ? DBTYPE_I4 : DBTYPE_I2;
    case SQL_INTEGER: return isUnsigned ? DBTYPE_I8 : DBTYPE_I4;
    case SQL_BIGINT: return DBTYPE_I8;
    case SQL_REAL: return DBTYPE_R4;
    case SQL_FLOAT:
    case SQL_DOUBLE: return DBTYPE_R8;
    case SQL_DECIMAL:
    case SQL_NUMERIC: return DBTYPE_NUMERIC;
    case SQL_TYPE_DATE:
    case SQL_DATE: return DBTYPE_DBDATE;
    case SQL_TYPE_TIME:
    case SQL_TIME: return DBTYPE_DBTIME;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: return DBTYPE_DBTIMESTAMP;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return DBTYPE_BYTES;
    default: return DBTYPE_WSTR; // character types and anything without a closer match
    }
}


// How the values of a column are read: the C type, and for values of a
// bounded size the bytes of one element. Integers are read in 64 bits, so
// that a value wider than its column said arrives whole; exact numerics as
// the driver's decimal text, on which drivers agree (not on the scale they
// give a numeric structure).
ColumnBuffer BufferFor(const ColumnInfo& info)
{
    auto of = [](SQLSMALLINT cType, size_t bytes) {
        return ColumnBuffer{cType, static_cast<SQLLEN>(bytes), false, {}, {}};
    };
    auto text = [&](SQLULEN characters) {
        const bool bounded = characters >= 1 && characters <= kMaxBoundTextChars;
        return of(SQL_C_WCHAR, bounded ? (characters + 1) * sizeof(SQLWCHAR) : 0);
    };
    switch (info.type) {
    case DBTYPE_I2:
    case DBTYPE_I4:
    case DBTYPE_I8: return of(info.isUnsigned ? SQL_C_UBIGINT : SQL_C_SBIGINT, sizeof(std::int64_t));
    case DBTYPE_R4: return of(SQL_C_FLOAT, sizeof(float));
    case DBTYPE_R8: return of(SQL_C_DOUBLE, sizeof(double));
    case DBTYPE_BOOL: return of(SQL_C_BIT, 1);
    case DBTYPE_DBDATE: return of(SQL_C_TYPE_DATE, sizeof(SQL_DATE_STRUCT));
    case DBTYPE_DBTIME: return of(SQL_C_TYPE_TIME, sizeof(SQL_TIME_STRUCT));
    case DBTYPE_DBTIMESTAMP: return of(SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT));
    case DBTYPE_NUMERIC: return text(info.size + 3); // digits, sign, point and a leading zero
    case DBTYPE_BYTES: return of(SQL_C_BINARY, 0);
    default: return text(IsCharacter(info.sqlType) ? info.size : 0);
    }
}


// An integer into the column's type; one that does not fit is flagged and
// kept whole as text, never wrapped.
void StoreInteger(DBTYPE type, __int128 whole, ColumnValue& value)
{
    auto fits = [whole](auto sample) {
        using T = decltype(sample);
        return whole >= std::numeric_limits<T>::min() && whole <= std::numeric_limits<T>::max();
    };
    if (type == DBTYPE_I2 && fits(std::int16_t{})) {
        value.fixed.i2 = static_cast<std::int16_t>(whole);
    } else if (type == DBTYPE_I4 && fits(LONG{})) {
        value.fixed.i4 = static_cast<LONG>(whole);
    } else if (type == DBTYPE_I8 && fits(LONGLONG{})) {
        value.fixed.i8 = static_cast<LONGLONG>(whole);
    } else {
        value.status = DBSTATUS_E_DATAOVERFLOW;
        value.text = WholeText(whole);
    }
}


// One fixed-size element, as read into the column's C type.
void StoreFixed(const ColumnInfo& info, SQLSMALLINT cType, const BYTE* element, ColumnValue& value)
{
    auto& fixed = value.fixed;
    switch (info.type) {
    case DBTYPE_I2:
    case DBTYPE_I4:
    case DBTYPE_I8:
        StoreInteger(info.type,
                     cType == SQL_C_UBIGINT ? __int128(Load<std::uint64_t>(element)) : Load<std::int64_t>(element),
                     value);
        break;
    case DBTYPE_R4: fixed.r4 = Load<float>(element); break;
    case DBTYPE_R8: fixed.r8 = Load<double>(element); break;
    case DBTYPE_BOOL: fixed.boolean = element[0] ? VARIANT_TRUE : VARIANT_FALSE; break;
    case DBTYPE_DBDATE: {
        const auto date = Load<SQL_DATE_STRUCT>(element);
        fixed.date = DBDATE{date.year, date.month, date.day};
        break;
    }
    case DBTYPE_DBTIME: {
        const auto time = Load<SQL_TIME_STRUCT>(element);
        fixed.time = DBTIME{time.hour, time.minute, time.second};
        break;
    }
    case DBTYPE_DBTIMESTAMP: {
        const auto stamp = Load<SQL_TIMESTAMP_STRUCT>(element);
        fixed.timestamp = DBTIMESTAMP{stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second,
                                      stamp.fraction};
        break;
    }
    default: break;
    }
}

// The text of a numeric column becomes its structure too.
void FinishNumeric(const ColumnInfo& info, ColumnValue& value)
{
    if (info.type == DBTYPE_NUMERIC && value.status == DBSTATUS_S_OK
        && !ParseNumeric(value.text, info.size, value.fixed.numeric))
        value.status = DBSTATUS_E_DATAOVERFLOW;
}

bool ParseNumeric(const std::wstring& text, SQLULEN columnSize, DB_NUMERIC& numeric)
{
    numeric = DB_NUMERIC{};
    size_t i = 0;
    while (i < text.size() && text[i] == L' ')
        ++i;
    numeric.sign = 1;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+'))
        numeric.sign = text[i++] == L'-' ? 0 : 1;
    unsigned __int128 magnitude = 0;
    int digits = 0;
    int scale = 0;
    bool point = false;
    bool any = false;
    for (; i < text.size(); ++i) {
        wchar_t ch = text[i];
        if (ch == L'.' && !point) {
            point = true;
            continue;
        }
        if (ch < L'0' || ch > L'9')
            return false;
        any = true;
        if (magnitude == 0 && ch == L'0') {
            if (point)
                ++scale;
            continue;
        }
        if (++digits > 38)
            return false;
        magnitude = magnitude * 10 + static_cast<unsigned>(ch - L'0');
        if (point)
            ++scale;
    }
    if (!any || scale > 127)
        return false;
    numeric.scale = static_cast<BYTE>(scale);
    numeric.precision = static_cast<BYTE>(columnSize >= 1 && columnSize <= 38 ? columnSize : 38);
    for (int b = 0; b < 16; ++b)
        numeric.val[b] = static_cast<BYTE>(magnitude >> (8 * b));
    if (magnitude == 0)
        numeric.sign = 1;
    return true;
}

} // namespace kel::store
