#include "CommandState.h"

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
// Text columns of at most this many characters are bound; longer ones, and
// bound values that prove longer than their column said, are read in chunks.
constexpr SQLULEN kMaxBoundTextChars = 4096;

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

std::wstring WholeText(__int128 whole)
{
    return whole < 0 ? std::to_wstring(static_cast<long long>(whole))
                     : std::to_wstring(static_cast<unsigned long long>(whole));
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

template <class T>
T Load(const BYTE* element)
{
    T loaded;
    std::memcpy(&loaded, element, sizeof loaded);
    return loaded;
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
