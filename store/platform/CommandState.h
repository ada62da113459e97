#pragma once

// What a command holds behind its public face: the statement, the columns of
// the current result and the values of the current row. Internal to KelStore.
#include "OleDbTypes.h"
#include "Odbc.h"

#include <memory>
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

class CommandState {
public:
    // Runs `sql` on the connection and binds the first result. On failure
    // the statement is released and `error` holds the driver's message.
    bool Execute(const std::shared_ptr<OdbcConnection>& connection, const std::wstring& sql, std::wstring& error);
    void Close();

    HRESULT Move(bool first);
    HRESULT NextResult(DBROWCOUNT* rowsAffected);

    bool IsOpen() const { return m_statement && m_statement->handle() != SQL_NULL_HSTMT; }
    const ColumnInfo* Column(DBORDINAL column) const;
    // The value in the current row, or null when there is no row.
    const ColumnValue* Value(DBORDINAL column) const;

    std::vector<ColumnInfo> m_columns;
    DBROWCOUNT m_rowsAffected = -1;
    std::wstring m_lastError;

private:
    bool _Run(std::wstring& error);
    bool _IsQuery() const;
    void _DescribeResult();
    void _BindColumns();
    void _ReadRow();
    bool _Position();
    void _ReadValue(size_t column, ColumnValue& value);
    bool _ReadLong(SQLUSMALLINT ordinal, SQLSMALLINT cType, ColumnValue& value);
    void _Fail(const wchar_t* fallback);

    std::unique_ptr<OdbcStatement> m_statement;
    std::vector<ColumnValue> m_values;
    // Rows come from the driver in blocks of m_blockRows into the bound
    // buffers; the current row is m_rowInBlock of the m_rowsFetched there.
    std::vector<ColumnBuffer> m_buffers;
    std::vector<SQLUSMALLINT> m_rowStatus;
    SQLULEN m_blockRows = 1;
    SQLULEN m_rowsFetched = 0;
    SQLULEN m_rowInBlock = 0;
    bool m_bPositioned = false; // the driver's cursor is on the current row of the block
    std::vector<BYTE> m_chunk;
    std::vector<BYTE> m_textUnits; // UTF-16 of the text value being read
    std::string m_sql; // as sent, for running a query again
    bool m_bMoved = false;
    bool m_bOnRow = false;
};

// Parses the decimal text of an exact numeric ("-12.34"); false when it is not
// one or does not fit 38 digits.
bool ParseNumeric(const std::wstring& text, SQLULEN columnSize, DB_NUMERIC& numeric);

} // namespace kel::store
