#include "CommandState.h"

#include "ColumnValues.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

namespace kel::store {

namespace {

constexpr SQLLEN kChunkBytes = 8192;
// Rows come in blocks of up to kMaxBlockRows whose bound buffers together
// stay within kBlockBytes.
constexpr SQLULEN kMaxBlockRows = 64;
constexpr size_t kBlockBytes = 256 * 1024;

} // namespace

bool CommandState::Execute(const std::shared_ptr<OdbcConnection>& connection, const std::wstring& sql,
                           std::wstring& error)
{
    Close();
    m_statement = std::make_unique<OdbcStatement>(connection);
    SQLHSTMT statement = m_statement->handle();
    if (statement == SQL_NULL_HSTMT) {
        error = DescribeDiagnostics(SQL_HANDLE_DBC, connection->handle());
        m_statement.reset();
        return false;
    }
    m_sql = ToOdbcText(sql);
    if (!_Run(error)) {
        m_statement.reset();
        return false;
    }
    return true;
}

bool CommandState::_Run(std::wstring& error)
{
    // Forward-only, the drivers' fastest cursor: with FreeTDS any other is a
    // server cursor fetched row by row.
    SQLHSTMT statement = m_statement->handle();
    SQLRETURN rc = SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(m_sql.data()), SQL_NTS);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
        error = DescribeDiagnostics(SQL_HANDLE_STMT, statement);
        return false;
    }
    _DescribeResult();
    return true;
}

// Whether running the text again only reads: one statement that begins with
// SELECT, or with WITH and names no statement that changes data (a WITH may
// hold an INSERT, UPDATE or DELETE). Such words and a ';' before more text
// count anywhere, even quoted.
bool CommandState::_IsQuery() const
{
    // A batch runs whole, its later statements too.
    size_t semicolon = m_sql.find(';');
    if (semicolon != std::string::npos && m_sql.find_first_not_of(" \t\r\n;", semicolon) != std::string::npos)
        return false;
    auto isWordChar = [](unsigned char ch) { return std::isalnum(ch) || ch == '_'; };
    std::vector<std::string> words;
    std::string word;
    for (size_t i = 0; i <= m_sql.size(); ++i) {
        unsigned char ch = i < m_sql.size() ? static_cast<unsigned char>(m_sql[i]) : ' ';
        if (isWordChar(ch)) {
            word += static_cast<char>(std::toupper(ch));
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    // The first word counts only at the very start: text that opens with a
    // comment or anything else is not taken for a query.
    size_t start = m_sql.find_first_not_of(" \t\r\n(");
    if (words.empty() || start == std::string::npos || !isWordChar(static_cast<unsigned char>(m_sql[start])))
        return false;
    if (words.front() == "SELECT")
        return true;
    if (words.front() != "WITH")
        return false;
    for (const std::string& each : words) {
        if (each == "INSERT" || each == "UPDATE" || each == "DELETE" || each == "MERGE")
            return false;
    }
    return true;
}

void CommandState::Close()
{
    m_statement.reset(); // before the buffers the driver writes into
    m_columns.clear();
    m_values.clear();
    m_buffers.clear();
    m_rowsAffected = -1;
    m_rowsFetched = 0;
    m_bMoved = false;
    m_bOnRow = false;
}

void CommandState::_DescribeResult()
{
    SQLHSTMT statement = m_statement->handle();
    SQLFreeStmt(statement, SQL_UNBIND); // the buffers of an earlier result go next
    m_columns.clear();
    m_values.clear();
    m_buffers.clear();
    m_rowsFetched = 0;
    m_bMoved = false;
    m_bOnRow = false;
    SQLLEN rows = -1;
    m_rowsAffected = SQL_SUCCEEDED(SQLRowCount(statement, &rows)) ? rows : -1;
    SQLSMALLINT count = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(statement, &count)) || count <= 0)
        return;
    m_columns.resize(static_cast<size_t>(count));
    m_values.resize(static_cast<size_t>(count));
    for (SQLSMALLINT i = 0; i < count; ++i) {
        const auto ordinal = static_cast<SQLUSMALLINT>(i + 1);
        SQLCHAR name[512] = {};
        SQLSMALLINT nameLength = 0, decimals = 0, nullable = 0;
        ColumnInfo& info = m_columns[static_cast<size_t>(i)];
        SQLDescribeCol(statement, ordinal, name, sizeof name, &nameLength, &info.sqlType, &info.size, &decimals,
                       &nullable);
        info.name = FromOdbcText(name, std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(nameLength, 0)),
                                                        sizeof name - 1));
        SQLLEN isUnsigned = SQL_FALSE;
        SQLColAttribute(statement, ordinal, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned);
        info.isUnsigned = isUnsigned == SQL_TRUE;
        info.type = StoredTypeOf(info.sqlType, info.isUnsigned);
    }
    _BindColumns();
}

// Binds what the driver lets the command bind and sets the block size.
// Values read with SQLGetData need the driver's cursor on their row: on a
// row inside a block only where the driver can position it there.
void CommandState::_BindColumns()
{
    SQLHSTMT statement = m_statement->handle();
    const SQLUINTEGER extensions = m_statement->connection().GetDataExtensions();
    // Bound text may prove longer than its column said and must then be read
    // again with SQLGetData; and SQLGetData may have to read a column before
    // a bound one.
    const bool readAnyColumn = (extensions & SQL_GD_BOUND) && (extensions & SQL_GD_ANY_COLUMN);
    bool readLater = false;
    size_t rowBytes = 0;
    for (const ColumnInfo& info : m_columns) {
        ColumnBuffer buffer = BufferFor(info);
        const bool isText = buffer.cType == SQL_C_WCHAR;
        buffer.bound = buffer.elementBytes > 0 && (readAnyColumn || (!readLater && !isText));
        readLater = readLater || !buffer.bound || isText;
        if (buffer.bound)
            rowBytes += static_cast<size_t>(buffer.elementBytes) + sizeof(SQLLEN);
        m_buffers.push_back(std::move(buffer));
    }
    SQLULEN blockRows = 1;
    if (!readLater || (extensions & SQL_GD_BLOCK))
        blockRows = std::clamp<SQLULEN>(kBlockBytes / std::max<size_t>(rowBytes, 1), 1, kMaxBlockRows);
    if (!SQL_SUCCEEDED(SQLSetStmtAttr(statement, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(blockRows), 0))
        || !SQL_SUCCEEDED(SQLGetStmtAttr(statement, SQL_ATTR_ROW_ARRAY_SIZE, &blockRows, 0, nullptr)) || blockRows < 1)
        blockRows = 1;
    m_blockRows = blockRows;
    m_rowStatus.assign(m_blockRows, SQL_ROW_SUCCESS);
    SQLSetStmtAttr(statement, SQL_ATTR_ROWS_FETCHED_PTR, &m_rowsFetched, 0);
    SQLSetStmtAttr(statement, SQL_ATTR_ROW_STATUS_PTR, m_rowStatus.data(), 0);
    for (size_t i = 0; i < m_buffers.size(); ++i) {
        ColumnBuffer& buffer = m_buffers[i];
        if (!buffer.bound)
            continue;
        buffer.data.assign(m_blockRows * static_cast<size_t>(buffer.elementBytes), 0);
        buffer.indicators.assign(m_blockRows, 0);
        // A column the driver refuses to bind is read with SQLGetData.
        buffer.bound = SQL_SUCCEEDED(SQLBindCol(statement, static_cast<SQLUSMALLINT>(i + 1), buffer.cType,
                                                buffer.data.data(), buffer.elementBytes, buffer.indicators.data()));
    }
}

HRESULT CommandState::Move(bool first)
{
    if (!IsOpen())
        return E_UNEXPECTED;
    if (m_columns.empty())
        return DB_S_ENDOFROWSET;
    if (first && m_bMoved) {
        // Back to the first row of a forward-only cursor: the query runs
        // again, as the SQL Server provider does for its rowsets. Text that
        // may change data is not run twice.
        if (!_IsQuery()) {
            m_lastError = L"The rows cannot be read again: the statement is not a query that can run twice";
            return E_FAIL;
        }
        SQLFreeStmt(m_statement->handle(), SQL_CLOSE);
        m_bOnRow = false; // the row read before is gone with the cursor
        std::wstring error;
        if (!_Run(error)) {
            m_lastError = error.empty() ? L"The driver failed to run the query again" : error;
            return E_FAIL;
        }
        if (m_columns.empty())
            return DB_S_ENDOFROWSET;
    }
    SQLULEN next = m_rowInBlock + 1;
    if (!m_bOnRow || next >= m_rowsFetched) {
        m_bMoved = true;
        m_bOnRow = false;
        m_rowsFetched = 0;
        std::fill(m_rowStatus.begin(), m_rowStatus.end(), SQL_ROW_SUCCESS);
        SQLRETURN rc = SQLFetch(m_statement->handle());
        if (rc == SQL_NO_DATA)
            return DB_S_ENDOFROWSET;
        if (!SQL_SUCCEEDED(rc)) {
            _Fail(L"The driver failed to fetch a row");
            return E_FAIL;
        }
        m_rowsFetched = std::max<SQLULEN>(m_rowsFetched, 1);
        next = 0;
    }
    m_rowInBlock = next;
    _ReadRow();
    m_bOnRow = true;
    return S_OK;
}

HRESULT CommandState::NextResult(DBROWCOUNT* rowsAffected)
{
    if (!IsOpen())
        return E_UNEXPECTED;
    SQLRETURN rc = SQLMoreResults(m_statement->handle());
    if (rc == SQL_NO_DATA) {
        m_columns.clear();
        m_values.clear();
        m_bOnRow = false;
        return DB_S_NORESULT;
    }
    if (!SQL_SUCCEEDED(rc)) {
        _Fail(L"The driver failed to move to the next result");
        return E_FAIL;
    }
    _DescribeResult();
    if (rowsAffected)
        *rowsAffected = m_rowsAffected;
    return S_OK;
}

void CommandState::_ReadRow()
{
    const SQLULEN row = m_rowInBlock;
    m_bPositioned = m_blockRows == 1;
    // A row the driver failed on has no bound values; each is asked for alone.
    const bool failedRow = m_rowStatus[row] == SQL_ROW_ERROR;
    for (size_t i = 0; i < m_columns.size(); ++i) {
        ColumnValue& value = m_values[i];
        value.status = DBSTATUS_S_OK;
        value.fixed = {};
        value.text.clear();
        value.bytes.clear();
        const ColumnBuffer& buffer = m_buffers[i];
        if (!buffer.bound || failedRow) {
            _ReadValue(i, value);
            continue;
        }
        const SQLLEN indicator = buffer.indicators[row];
        const BYTE* element = buffer.data.data() + row * static_cast<size_t>(buffer.elementBytes);
        if (indicator == SQL_NULL_DATA) {
            value.status = DBSTATUS_S_ISNULL;
        } else if (buffer.cType != SQL_C_WCHAR) {
            StoreFixed(m_columns[i], buffer.cType, element, value);
        } else if (indicator != SQL_NO_TOTAL && indicator < buffer.elementBytes) {
            // Whole, with room for its terminator.
            value.text = FromSqlWide(reinterpret_cast<const SQLWCHAR*>(element),
                                     static_cast<size_t>(indicator) / sizeof(SQLWCHAR));
            FinishNumeric(m_columns[i], value);
        } else {
            _ReadValue(i, value); // longer than the column said
        }
    }
}

bool CommandState::_Position()
{
    if (!m_bPositioned) {
        m_bPositioned = SQL_SUCCEEDED(SQLSetPos(m_statement->handle(), static_cast<SQLSETPOSIROW>(m_rowInBlock + 1),
                                                SQL_POSITION, SQL_LOCK_NO_CHANGE));
    }
    return m_bPositioned;
}

bool CommandState::_ReadLong(SQLUSMALLINT ordinal, SQLSMALLINT cType, ColumnValue& value)
{
    // Whole values in chunks: text and bytes have no length limit here.
    SQLHSTMT statement = m_statement->handle();
    const bool isText = cType == SQL_C_WCHAR;
    // One buffer for every value of the command, not one per read.
    std::vector<BYTE>& buffer = m_chunk;
    buffer.resize(kChunkBytes);
    // Text is gathered as UTF-16 and converted once whole: a chunk may end
    // between the two halves of a surrogate pair.
    std::vector<BYTE>& gathered = isText ? m_textUnits : value.bytes;
    gathered.clear();
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(statement, ordinal, cType, buffer.data(), kChunkBytes, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            return false;
        if (indicator == SQL_NULL_DATA) {
            value.status = DBSTATUS_S_ISNULL;
            return true;
        }
        // A chunk is full (less a text terminator) unless the driver says
        // how much was left and that fits.
        const SQLLEN room = isText ? kChunkBytes - static_cast<SQLLEN>(sizeof(SQLWCHAR)) : kChunkBytes;
        SQLLEN got = (indicator == SQL_NO_TOTAL || indicator > room) ? room : indicator;
        gathered.insert(gathered.end(), buffer.begin(), buffer.begin() + got);
        if (rc == SQL_SUCCESS)
            break;
    }
    if (isText)
        value.text = FromSqlWide(reinterpret_cast<const SQLWCHAR*>(gathered.data()),
                                 gathered.size() / sizeof(SQLWCHAR));
    return true;
}

void CommandState::_ReadValue(size_t column, ColumnValue& value)
{
    const ColumnInfo& info = m_columns[column];
    const ColumnBuffer& buffer = m_buffers[column];
    const auto ordinal = static_cast<SQLUSMALLINT>(column + 1);
    bool read = _Position();
    if (read && (buffer.cType == SQL_C_WCHAR || buffer.cType == SQL_C_BINARY)) {
        read = _ReadLong(ordinal, buffer.cType, value);
        if (read)
            FinishNumeric(info, value);
    } else if (read) {
        alignas(std::int64_t) BYTE element[sizeof(SQL_TIMESTAMP_STRUCT)] = {};
        SQLLEN indicator = 0;
        read = SQL_SUCCEEDED(
            SQLGetData(m_statement->handle(), ordinal, buffer.cType, element, sizeof element, &indicator));
        if (read && indicator == SQL_NULL_DATA)
            value.status = DBSTATUS_S_ISNULL;
        else if (read)
            StoreFixed(info, buffer.cType, element, value);
    }
    if (!read) {
        // A value the type cannot hold (SQLite keeps any value in any
        // column) is marked, not fatal to the row.
        _Fail(L"");
        value.status = DBSTATUS_E_CANTCONVERTVALUE;
    }
}

void CommandState::_Fail(const wchar_t* fallback)
{
    m_lastError = IsOpen() ? DescribeDiagnostics(SQL_HANDLE_STMT, m_statement->handle()) : std::wstring();
    if (m_lastError.empty())
        m_lastError = fallback;
}

const ColumnInfo* CommandState::Column(DBORDINAL column) const
{
    if (!IsOpen() || column < 1 || column > m_columns.size())
        return nullptr;
    return &m_columns[column - 1];
}

const ColumnValue* CommandState::Value(DBORDINAL column) const
{
    if (!IsOpen() || !m_bOnRow || column < 1 || column > m_values.size())
        return nullptr;
    return &m_values[column - 1];
}

} // namespace kel::store
