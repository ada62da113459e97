#include "Command.h"

#include "CommandState.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cwchar>
#include <limits>

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

bool Succeeded(SQLRETURN rc)
{
    return SQL_SUCCEEDED(rc);
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
    if (!Succeeded(rc) && rc != SQL_NO_DATA) {
        error = DescribeDiagnostics(SQL_HANDLE_STMT, statement);
        return false;
    }
    _DescribeResult();
    return true;
}

// Whether running the text again only reads: it begins with SELECT or WITH.
bool CommandState::_IsQuery() const
{
    size_t start = m_sql.find_first_not_of(" \t\r\n(");
    if (start == std::string::npos)
        return false;
    std::string word;
    for (size_t i = start; i < m_sql.size() && std::isalpha(static_cast<unsigned char>(m_sql[i])); ++i)
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(m_sql[i])));
    return word == "SELECT" || word == "WITH";
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
    m_rowsAffected = Succeeded(SQLRowCount(statement, &rows)) ? rows : -1;
    SQLSMALLINT count = 0;
    if (!Succeeded(SQLNumResultCols(statement, &count)) || count <= 0)
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
    if (!Succeeded(rc)) {
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
    if (!Succeeded(rc)) {
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
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(statement, ordinal, cType, buffer.data(), kChunkBytes, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!Succeeded(rc))
            return false;
        if (indicator == SQL_NULL_DATA) {
            value.status = DBSTATUS_S_ISNULL;
            return true;
        }
        // A chunk is full (less a text terminator) unless the driver says
        // how much was left and that fits.
        const SQLLEN room = isText ? kChunkBytes - static_cast<SQLLEN>(sizeof(SQLWCHAR)) : kChunkBytes;
        SQLLEN got = (indicator == SQL_NO_TOTAL || indicator > room) ? room : indicator;
        if (isText)
            value.text += FromSqlWide(reinterpret_cast<const SQLWCHAR*>(buffer.data()),
                                      static_cast<size_t>(got) / sizeof(SQLWCHAR));
        else
            value.bytes.insert(value.bytes.end(), buffer.begin(), buffer.begin() + got);
        if (rc == SQL_SUCCESS)
            break;
    }
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
    if (!Succeeded(rc)) {
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

using kel::store::ColumnValue;

namespace {

CStringW FormatDecimal(LONGLONG number)
{
    return CStringW(std::to_wstring(number));
}

CStringW FormatReal(double number)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return CStringW(std::wstring(buffer, result.ptr));
}

CStringW FormatReal(float number)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return CStringW(std::wstring(buffer, result.ptr));
}

CStringW FormatTimestamp(const DBTIMESTAMP& stamp)
{
    CStringW text;
    text.Format(L"%04d-%02u-%02u %02u:%02u:%02u", stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute,
                stamp.second);
    if (stamp.fraction != 0) {
        CStringW fraction;
        fraction.Format(L".%09u", stamp.fraction);
        fraction.TrimRight(L'0');
        text += fraction;
    }
    return text;
}

// The whole text as a number, nothing before or after it.
bool ParseWhole(const std::wstring& text, double* value)
{
    if (text.empty())
        return false;
    wchar_t* end = nullptr;
    double parsed = std::wcstod(text.c_str(), &end);
    if (end != text.c_str() + text.size())
        return false;
    *value = parsed;
    return true;
}

} // namespace

CCommandBase::CCommandBase() : m_pState(std::make_unique<kel::store::CommandState>()) {}

CCommandBase::~CCommandBase() = default;

HRESULT CCommandBase::MoveFirst()
{
    return m_pState->Move(true);
}

HRESULT CCommandBase::MoveNext()
{
    return m_pState->Move(false);
}

void CCommandBase::Close()
{
    m_pState->Close();
}

HRESULT CCommandBase::_NextResult(DBROWCOUNT* rowsAffected)
{
    return m_pState->NextResult(rowsAffected);
}

DBORDINAL CCommandBase::GetColumnCount() const
{
    // A command whose database closed has no columns left.
    return m_pState->IsOpen() ? m_pState->m_columns.size() : 0;
}

const wchar_t* CCommandBase::GetColumnName(DBORDINAL column) const
{
    const auto* info = m_pState->Column(column);
    return info ? info->name.c_str() : nullptr;
}

bool CCommandBase::GetColumnType(DBORDINAL column, DBTYPE* type) const
{
    const auto* info = m_pState->Column(column);
    if (!info || !type)
        return false;
    *type = info->type;
    return true;
}

bool CCommandBase::GetOrdinal(const wchar_t* name, DBORDINAL* column) const
{
    if (!name || !column || !m_pState->IsOpen())
        return false;
    for (size_t i = 0; i < m_pState->m_columns.size(); ++i) {
        if (CStringW(m_pState->m_columns[i].name).CompareNoCase(name) == 0) {
            *column = i + 1;
            return true;
        }
    }
    return false;
}

bool CCommandBase::GetStatus(DBORDINAL column, DBSTATUS* status) const
{
    const ColumnValue* value = m_pState->Value(column);
    if (!value || !status)
        return false;
    *status = value->status;
    return true;
}

bool CCommandBase::GetLength(DBORDINAL column, DBLENGTH* length) const
{
    const ColumnValue* value = m_pState->Value(column);
    if (!value || !length)
        return false;
    *length = 0;
    if (value->status != DBSTATUS_S_OK)
        return true;
    switch (m_pState->Column(column)->type) {
    case DBTYPE_WSTR: *length = value->text.size() * sizeof(wchar_t); break;
    case DBTYPE_BYTES: *length = value->bytes.size(); break;
    case DBTYPE_I2: *length = sizeof(std::int16_t); break;
    case DBTYPE_I4: *length = sizeof(LONG); break;
    case DBTYPE_I8: *length = sizeof(LONGLONG); break;
    case DBTYPE_R4: *length = sizeof(float); break;
    case DBTYPE_R8: *length = sizeof(double); break;
    case DBTYPE_BOOL: *length = sizeof(VARIANT_BOOL); break;
    case DBTYPE_NUMERIC: *length = sizeof(DB_NUMERIC); break;
    case DBTYPE_DBDATE: *length = sizeof(DBDATE); break;
    case DBTYPE_DBTIME: *length = sizeof(DBTIME); break;
    default: *length = sizeof(DBTIMESTAMP); break;
    }
    return true;
}

const void* CCommandBase::GetValue(DBORDINAL column) const
{
    const ColumnValue* value = m_pState->Value(column);
    if (!value || value->status != DBSTATUS_S_OK)
        return nullptr;
    switch (m_pState->Column(column)->type) {
    case DBTYPE_WSTR: return value->text.c_str();
    case DBTYPE_BYTES: return value->bytes.data();
    default: return &value->fixed;
    }
}

CStringW CCommandBase::GetValueText(DBORDINAL column) const
{
    const ColumnValue* value = m_pState->Value(column);
    if (!value || value->status == DBSTATUS_S_ISNULL || value->status == DBSTATUS_E_CANTCONVERTVALUE)
        return CStringW();
    const auto& fixed = value->fixed;
    CStringW text;
    switch (m_pState->Column(column)->type) {
    case DBTYPE_I2: return FormatDecimal(fixed.i2);
    case DBTYPE_I4: return FormatDecimal(fixed.i4);
    case DBTYPE_I8: return FormatDecimal(fixed.i8);
    case DBTYPE_R4: return FormatReal(fixed.r4);
    case DBTYPE_R8: return FormatReal(fixed.r8);
    case DBTYPE_BOOL: return fixed.boolean ? L"1" : L"0";
    case DBTYPE_DBDATE:
        text.Format(L"%04d-%02u-%02u", fixed.date.year, fixed.date.month, fixed.date.day);
        return text;
    case DBTYPE_DBTIME:
        text.Format(L"%02u:%02u:%02u", fixed.time.hour, fixed.time.minute, fixed.time.second);
        return text;
    case DBTYPE_DBTIMESTAMP: return FormatTimestamp(fixed.timestamp);
    case DBTYPE_BYTES:
        for (BYTE byte : value->bytes)
            text.AppendFormat(L"%02x", byte);
        return text;
    default: return CStringW(value->text); // WSTR, and NUMERIC as the driver wrote it
    }
}

bool CCommandBase::GetValueNumber(DBORDINAL column, double* number) const
{
    const ColumnValue* value = m_pState->Value(column);
    if (!value || !number || value->status != DBSTATUS_S_OK)
        return false;
    const auto& fixed = value->fixed;
    switch (m_pState->Column(column)->type) {
    case DBTYPE_I2: *number = fixed.i2; return true;
    case DBTYPE_I4: *number = fixed.i4; return true;
    case DBTYPE_I8: *number = static_cast<double>(fixed.i8); return true;
    case DBTYPE_R4: *number = fixed.r4; return true;
    case DBTYPE_R8: *number = fixed.r8; return true;
    case DBTYPE_BOOL: *number = fixed.boolean ? 1 : 0; return true;
    case DBTYPE_NUMERIC:
    case DBTYPE_WSTR: return ParseWhole(value->text, number);
    default: return false;
    }
}

bool CCommandBase::GetValueNumber(DBORDINAL column, LONGLONG* number) const
{
    const ColumnValue* value = m_pState->Value(column);
    if (!value || !number || value->status != DBSTATUS_S_OK)
        return false;
    const auto& fixed = value->fixed;
    switch (m_pState->Column(column)->type) {
    case DBTYPE_I2: *number = fixed.i2; return true;
    case DBTYPE_I4: *number = fixed.i4; return true;
    case DBTYPE_I8: *number = fixed.i8; return true;
    case DBTYPE_BOOL: *number = fixed.boolean ? 1 : 0; return true;
    default: break;
    }
    // Other types count when they hold a whole number within 64 bits.
    double real = 0;
    if (!GetValueNumber(column, &real) || !std::isfinite(real) || std::trunc(real) != real
        || real < -9.2233720368547758e18 || real >= 9.2233720368547758e18)
        return false;
    // Whole-number text converts exactly, beyond what a double holds.
    const std::wstring& text = value->text;
    if (!text.empty() && text.find_first_of(L".eE") == std::wstring::npos) {
        wchar_t* end = nullptr;
        errno = 0;
        long long exact = std::wcstoll(text.c_str(), &end, 10);
        if (errno == 0 && end == text.c_str() + text.size()) {
            *number = exact;
            return true;
        }
    }
    *number = static_cast<LONGLONG>(real);
    return true;
}

DBROWCOUNT CCommandBase::GetRowsAffected() const
{
    return m_pState->m_rowsAffected;
}

CStringW CCommandBase::GetErrorText() const
{
    return CStringW(m_pState->m_lastError);
}
