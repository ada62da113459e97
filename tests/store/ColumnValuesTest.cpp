// The conversions between the driver's column types and the values a command
// hands out, without a driver: stored types, read buffers, integers that do
// not fit, fixed-size elements and exact numerics.
#include "ColumnValues.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace {

using namespace kel::store;

// The 128-bit magnitude of a parsed numeric, for comparison.
unsigned __int128 Magnitude(const DB_NUMERIC& numeric)
{
    unsigned __int128 magnitude = 0;
    for (int b = 15; b >= 0; --b)
        magnitude = (magnitude << 8) | numeric.val[b];
    return magnitude;
}

ColumnInfo Column(DBTYPE type, SQLSMALLINT sqlType, SQLULEN size = 0, bool isUnsigned = false)
{
    ColumnInfo info;
    info.type = type;
    info.sqlType = sqlType;
    info.size = size;
    info.isUnsigned = isUnsigned;
    return info;
}

TEST(ColumnValues, UnsignedColumnsGetTheNextWiderTypeSoTheirLargestValuesFit)
{
    EXPECT_EQ(StoredTypeOf(SQL_SMALLINT, false), DBTYPE_I2);
    EXPECT_EQ(StoredTypeOf(SQL_SMALLINT, true), DBTYPE_I4);
    EXPECT_EQ(StoredTypeOf(SQL_INTEGER, false), DBTYPE_I4);
    EXPECT_EQ(StoredTypeOf(SQL_INTEGER, true), DBTYPE_I8);
    EXPECT_EQ(StoredTypeOf(SQL_TINYINT, true), DBTYPE_I2);
}

TEST(ColumnValues, TypesWithoutACloserMatchAreReadAsText)
{
    EXPECT_EQ(StoredTypeOf(SQL_DECIMAL, false), DBTYPE_NUMERIC);
    EXPECT_EQ(StoredTypeOf(SQL_TYPE_TIMESTAMP, false), DBTYPE_DBTIMESTAMP);
    EXPECT_EQ(StoredTypeOf(SQL_LONGVARBINARY, false), DBTYPE_BYTES);
    EXPECT_EQ(StoredTypeOf(SQL_WVARCHAR, false), DBTYPE_WSTR);
    EXPECT_EQ(StoredTypeOf(SQL_GUID, false), DBTYPE_WSTR);
}

TEST(ColumnValues, ShortTextIsBoundWithRoomForItsTerminatorAndLongTextIsReadWhole)
{
    const ColumnBuffer shortText = BufferFor(Column(DBTYPE_WSTR, SQL_VARCHAR, 10));
    EXPECT_EQ(shortText.cType, SQL_C_WCHAR);
    EXPECT_EQ(shortText.elementBytes, static_cast<SQLLEN>(11 * sizeof(SQLWCHAR)));
    EXPECT_EQ(BufferFor(Column(DBTYPE_WSTR, SQL_VARCHAR, 4096)).elementBytes, static_cast<SQLLEN>(4097 * sizeof(SQLWCHAR)));
    EXPECT_EQ(BufferFor(Column(DBTYPE_WSTR, SQL_VARCHAR, 4097)).elementBytes, 0);
    EXPECT_EQ(BufferFor(Column(DBTYPE_WSTR, SQL_LONGVARCHAR, 0)).elementBytes, 0);
    // A type read as text that is not a character type has no size to trust.
    EXPECT_EQ(BufferFor(Column(DBTYPE_WSTR, SQL_GUID, 36)).elementBytes, 0);
}

TEST(ColumnValues, IntegersAreReadInSixtyFourBitsAndNumericsAsText)
{
    EXPECT_EQ(BufferFor(Column(DBTYPE_I2, SQL_SMALLINT)).cType, SQL_C_SBIGINT);
    EXPECT_EQ(BufferFor(Column(DBTYPE_I8, SQL_INTEGER, 0, true)).cType, SQL_C_UBIGINT);
    const ColumnBuffer numeric = BufferFor(Column(DBTYPE_NUMERIC, SQL_NUMERIC, 5));
    EXPECT_EQ(numeric.cType, SQL_C_WCHAR);
    EXPECT_EQ(numeric.elementBytes, static_cast<SQLLEN>((5 + 3 + 1) * sizeof(SQLWCHAR)));
}

TEST(ColumnValues, AnIntegerThatDoesNotFitItsColumnIsFlaggedAndKeptWholeAsText)
{
    ColumnValue small;
    StoreInteger(DBTYPE_I2, -32768, small);
    EXPECT_EQ(small.status, DBSTATUS_S_OK);
    EXPECT_EQ(small.fixed.i2, -32768);

    ColumnValue tooBig;
    StoreInteger(DBTYPE_I2, 32768, tooBig);
    EXPECT_EQ(tooBig.status, DBSTATUS_E_DATAOVERFLOW);
    EXPECT_EQ(tooBig.text, L"32768");

    ColumnValue unsignedMax;
    StoreInteger(DBTYPE_I8, static_cast<__int128>(std::numeric_limits<std::uint64_t>::max()), unsignedMax);
    EXPECT_EQ(unsignedMax.status, DBSTATUS_E_DATAOVERFLOW);
    EXPECT_EQ(unsignedMax.text, L"18446744073709551615");

    ColumnValue signedMin;
    StoreInteger(DBTYPE_I8, std::numeric_limits<std::int64_t>::min(), signedMin);
    EXPECT_EQ(signedMin.status, DBSTATUS_S_OK);
    EXPECT_EQ(signedMin.fixed.i8, std::numeric_limits<std::int64_t>::min());
}

TEST(ColumnValues, FixedElementsArriveInTheColumnsType)
{
    ColumnValue value;
    const std::uint64_t big = 4'000'000'000ULL;
    BYTE element[sizeof big];
    std::memcpy(element, &big, sizeof big);
    StoreFixed(Column(DBTYPE_I8, SQL_INTEGER, 0, true), SQL_C_UBIGINT, element, value);
    EXPECT_EQ(value.fixed.i8, 4'000'000'000LL);

    const SQL_TIMESTAMP_STRUCT stamp{2026, 12, 8, 5, 4, 3, 123456789};
    BYTE stampBytes[sizeof stamp];
    std::memcpy(stampBytes, &stamp, sizeof stamp);
    ColumnValue timestamp;
    StoreFixed(Column(DBTYPE_DBTIMESTAMP, SQL_TYPE_TIMESTAMP), SQL_C_TYPE_TIMESTAMP, stampBytes, timestamp);
    EXPECT_EQ(timestamp.fixed.timestamp.year, 2026);
    EXPECT_EQ(timestamp.fixed.timestamp.day, 8);
    EXPECT_EQ(timestamp.fixed.timestamp.second, 3);
    EXPECT_EQ(timestamp.fixed.timestamp.fraction, 123456789u);

    const BYTE yes = 1;
    ColumnValue boolean;
    StoreFixed(Column(DBTYPE_BOOL, SQL_BIT), SQL_C_BIT, &yes, boolean);
    EXPECT_EQ(boolean.fixed.boolean, VARIANT_TRUE);
}

TEST(ColumnValues, NumericTextBecomesSignScaleAndMagnitude)
{
    DB_NUMERIC numeric{};
    ASSERT_TRUE(ParseNumeric(L"-12.34", 10, numeric));
    EXPECT_EQ(numeric.sign, 0);
    EXPECT_EQ(numeric.scale, 2);
    EXPECT_EQ(numeric.precision, 10);
    EXPECT_TRUE(Magnitude(numeric) == 1234);

    ASSERT_TRUE(ParseNumeric(L"  +000123", 0, numeric));
    EXPECT_EQ(numeric.sign, 1);
    EXPECT_EQ(numeric.scale, 0);
    EXPECT_EQ(numeric.precision, 38); // no column size: the widest
    EXPECT_TRUE(Magnitude(numeric) == 123);

    // Zero is positive, whatever sign the text had; its scale stays.
    ASSERT_TRUE(ParseNumeric(L"-0.00", 5, numeric));
    EXPECT_EQ(numeric.sign, 1);
    EXPECT_EQ(numeric.scale, 2);
    EXPECT_TRUE(Magnitude(numeric) == 0);
}

TEST(ColumnValues, TextThatIsNoNumericOrTooLongIsRefused)
{
    DB_NUMERIC numeric{};
    EXPECT_FALSE(ParseNumeric(L"", 10, numeric));
    EXPECT_FALSE(ParseNumeric(L"-", 10, numeric));
    EXPECT_FALSE(ParseNumeric(L"1.2.3", 10, numeric));
    EXPECT_FALSE(ParseNumeric(L"12a", 10, numeric));
    EXPECT_TRUE(ParseNumeric(std::wstring(38, L'9'), 38, numeric));
    EXPECT_FALSE(ParseNumeric(std::wstring(39, L'9'), 38, numeric));
    // Leading zeros are not digits of the value.
    EXPECT_TRUE(ParseNumeric(L"000" + std::wstring(38, L'9'), 38, numeric));
}

TEST(ColumnValues, ANumericColumnWhoseTextDoesNotParseIsFlagged)
{
    ColumnValue good;
    good.text = L"3.5";
    FinishNumeric(Column(DBTYPE_NUMERIC, SQL_NUMERIC, 4), good);
    EXPECT_EQ(good.status, DBSTATUS_S_OK);
    EXPECT_EQ(good.fixed.numeric.scale, 1);

    ColumnValue bad;
    bad.text = L"NaN";
    FinishNumeric(Column(DBTYPE_NUMERIC, SQL_NUMERIC, 4), bad);
    EXPECT_EQ(bad.status, DBSTATUS_E_DATAOVERFLOW);

    // A text column's value is left alone.
    ColumnValue text;
    text.text = L"NaN";
    FinishNumeric(Column(DBTYPE_WSTR, SQL_VARCHAR, 4), text);
    EXPECT_EQ(text.status, DBSTATUS_S_OK);
}

} // namespace
