#include "CommandState.h"

#include <cctype>

namespace kel::store {

namespace {

constexpr SQLLEN kChunkBytes = 8192;

DBTYPE StoredTypeOf(SQLSMALLINT sqlType)
{
    switch (sqlType) {
    case SQL_BIT: return DBTYPE_BOOL;
    case SQL_TINYINT:
    case SQL_SMALLINT: return DBTYPE_I2;
    case SQL_INTEGER: return DBTYPE_I4;
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

} // namespace

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
    m_statement.reset();
    m_columns.clear();
    m_values.clear();
    m_rowsAffected = -1;
    m_bMoved = false;
    m_bOnRow = false;
}

void CommandState::_DescribeResult()
{
    m_columns.clear();
    m_values.clear();
    m_bMoved = false;
    m_bOnRow = false;
    SQLHSTMT statement = m_statement->handle();
    SQLLEN rows = -1;
    m_rowsAffected = SQL_SUCCEEDED(SQLRowCount(statement, &rows)) ? rows : -1;
    SQLSMALLINT count = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(statement, &count)) || count <= 0)
        return;
    m_columns.resize(static_cast<size_t>(count));
    m_values.resize(static_cast<size_t>(count));
    for (SQLSMALLINT i = 0; i < count; ++i) {
        SQLCHAR name[512] = {};
        SQLSMALLINT nameLength = 0, decimals = 0, nullable = 0;
        ColumnInfo& info = m_columns[static_cast<size_t>(i)];
        SQLDescribeCol(statement, static_cast<SQLUSMALLINT>(i + 1), name, sizeof name, &nameLength, &info.sqlType,
                       &info.size, &decimals, &nullable);
        info.name = FromOdbcText(name, std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(nameLength, 0)),
                                                        sizeof name - 1));
        info.type = StoredTypeOf(info.sqlType);
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
    SQLRETURN rc = SQLFetch(m_statement->handle());
    m_bMoved = true;
    m_bOnRow = false;
    if (rc == SQL_NO_DATA)
        return DB_S_ENDOFROWSET;
    if (!SQL_SUCCEEDED(rc)) {
        _Fail(L"The driver failed to fetch a row");
        return E_FAIL;
    }
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
    for (size_t i = 0; i < m_columns.size(); ++i) {
        ColumnValue& value = m_values[i];
        value.status = DBSTATUS_S_OK;
        value.fixed = {};
        value.text.clear();
        value.bytes.clear();
        _ReadValue(static_cast<SQLUSMALLINT>(i + 1), m_columns[i], value);
    }
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

void CommandState::_ReadValue(SQLUSMALLINT ordinal, const ColumnInfo& info, ColumnValue& value)
{
    SQLHSTMT statement = m_statement->handle();
    SQLLEN indicator = 0;
    SQLRETURN rc = SQL_SUCCESS;
    auto fixed = [&](SQLSMALLINT cType, void* target, SQLLEN size) {
        rc = SQLGetData(statement, ordinal, cType, target, size, &indicator);
    };
    switch (info.type) {
    case DBTYPE_I2: fixed(SQL_C_SSHORT, &value.fixed.i2, sizeof value.fixed.i2); break;
    case DBTYPE_I4: fixed(SQL_C_SLONG, &value.fixed.i4, sizeof value.fixed.i4); break;
    case DBTYPE_I8: fixed(SQL_C_SBIGINT, &value.fixed.i8, sizeof value.fixed.i8); break;
    case DBTYPE_R4: fixed(SQL_C_FLOAT, &value.fixed.r4, sizeof value.fixed.r4); break;
    case DBTYPE_R8: fixed(SQL_C_DOUBLE, &value.fixed.r8, sizeof value.fixed.r8); break;
    case DBTYPE_BOOL: {
        unsigned char bit = 0;
        fixed(SQL_C_BIT, &bit, sizeof bit);
        value.fixed.boolean = bit ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    }
    case DBTYPE_DBDATE: {
        SQL_DATE_STRUCT date{};
        fixed(SQL_C_TYPE_DATE, &date, sizeof date);
        value.fixed.date = DBDATE{date.year, date.month, date.day};
        break;
    }
    case DBTYPE_DBTIME: {
        SQL_TIME_STRUCT time{};
        fixed(SQL_C_TYPE_TIME, &time, sizeof time);
        value.fixed.time = DBTIME{time.hour, time.minute, time.second};
        break;
    }
    case DBTYPE_DBTIMESTAMP: {
        SQL_TIMESTAMP_STRUCT stamp{};
        fixed(SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp);
        value.fixed.timestamp = DBTIMESTAMP{stamp.year, stamp.month, stamp.day, stamp.hour,
                                            stamp.minute, stamp.second, stamp.fraction};
        break;
    }
    case DBTYPE_NUMERIC:
        // Read as the driver's decimal text: drivers disagree on the scale
        // they give a numeric structure, never on the text.
        if (!_ReadLong(ordinal, SQL_C_WCHAR, value)) {
            _Fail(L"");
            value.status = DBSTATUS_E_CANTCONVERTVALUE;
        } else if (value.status == DBSTATUS_S_OK && !kel::store::ParseNumeric(value.text, info.size, value.fixed.numeric)) {
            value.status = DBSTATUS_E_DATAOVERFLOW;
        }
        return;
    case DBTYPE_BYTES:
        if (!_ReadLong(ordinal, SQL_C_BINARY, value)) {
            _Fail(L"");
            value.status = DBSTATUS_E_CANTCONVERTVALUE;
        }
        return;
    default:
        if (!_ReadLong(ordinal, SQL_C_WCHAR, value)) {
            _Fail(L"");
            value.status = DBSTATUS_E_CANTCONVERTVALUE;
        }
        return;
    }
    if (!SQL_SUCCEEDED(rc)) {
        // A value the type cannot hold (SQLite keeps any value in any
        // column) is marked, not fatal to the row.
        _Fail(L"");
        value.status = DBSTATUS_E_CANTCONVERTVALUE;
    } else if (indicator == SQL_NULL_DATA) {
        value.status = DBSTATUS_S_ISNULL;
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
