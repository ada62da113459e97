#pragma once

// What a command holds behind its public face: the statement, the columns of
// the current result and the values of the current row. Internal to KelStore.
#include "ColumnValues.h"
#include "Odbc.h"

#include <memory>
#include <string>
#include <vector>

namespace kel::store {

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

} // namespace kel::store
