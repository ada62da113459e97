#include "Odbc.h"

#include <platform/Unicode.h>

#include <bit>
#include <cwctype>
#include <vector>

namespace kel::store {

static_assert(sizeof(SQLWCHAR) == 2, "unixODBC's wide characters are UTF-16 code units");
static_assert(std::endian::native == std::endian::little, "UTF-16 code units are read as little-endian bytes");

std::string ToOdbcText(std::wstring_view text)
{
    return kel::platform::WideToUtf8(text);
}

std::wstring FromOdbcText(const SQLCHAR* text, size_t bytes)
{
    return kel::platform::Utf8ToWide(std::string_view(reinterpret_cast<const char*>(text), bytes));
}

std::wstring FromSqlWide(const SQLWCHAR* text, size_t units)
{
    return kel::platform::Utf16LEToWide(reinterpret_cast<const BYTE*>(text), units);
}

std::wstring DescribeDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle)
{
    if (handle == SQL_NULL_HANDLE)
        return {};
    SQLCHAR state[6] = {};
    SQLINTEGER nativeError = 0;
    SQLSMALLINT length = 0;
    std::vector<SQLCHAR> message(2048);
    SQLRETURN rc = SQLGetDiagRec(handleType, handle, 1, state, &nativeError, message.data(),
                                 static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
        message.resize(static_cast<size_t>(length) + 1);
        rc = SQLGetDiagRec(handleType, handle, 1, state, &nativeError, message.data(),
                           static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc))
        return {};
    size_t bytes = std::min(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), message.size() - 1);
    std::wstring text = FromOdbcText(message.data(), bytes);
    // Drivers end some messages with a line break of their own.
    while (!text.empty() && std::iswspace(static_cast<wint_t>(text.back())))
        text.pop_back();
    return text;
}

std::string DiagnosticState(SQLSMALLINT handleType, SQLHANDLE handle)
{
    SQLCHAR state[6] = {};
    SQLINTEGER nativeError = 0;
    SQLSMALLINT length = 0;
    if (handle == SQL_NULL_HANDLE
        || !SQL_SUCCEEDED(SQLGetDiagRec(handleType, handle, 1, state, &nativeError, nullptr, 0, &length)))
        return {};
    return reinterpret_cast<const char*>(state);
}

OdbcEnvironment::OdbcEnvironment()
{
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_hEnv))) {
        m_hEnv = SQL_NULL_HENV;
        return;
    }
    SQLSetEnvAttr(m_hEnv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
}

OdbcEnvironment::~OdbcEnvironment()
{
    if (m_hEnv != SQL_NULL_HENV)
        SQLFreeHandle(SQL_HANDLE_ENV, m_hEnv);
}

bool OdbcEnvironment::HasDataSource(std::wstring_view name) const
{
    if (m_hEnv == SQL_NULL_HENV || name.empty())
        return false;
    std::wstring wanted(name);
    for (auto& ch : wanted)
        ch = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(ch)));
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    SQLCHAR found[SQL_MAX_DSN_LENGTH + 1];
    SQLSMALLINT length = 0;
    while (SQL_SUCCEEDED(SQLDataSources(m_hEnv, direction, found, SQL_MAX_DSN_LENGTH + 1, &length, nullptr, 0,
                                        nullptr))) {
        direction = SQL_FETCH_NEXT;
        std::wstring candidate = FromOdbcText(found, std::min<size_t>(std::max<SQLSMALLINT>(length, 0), SQL_MAX_DSN_LENGTH));
        for (auto& ch : candidate)
            ch = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(ch)));
        if (candidate == wanted)
            return true;
    }
    return false;
}

OdbcConnection::OdbcConnection(std::shared_ptr<OdbcEnvironment> environment)
    : m_environment(std::move(environment))
{
    if (!m_environment || m_environment->handle() == SQL_NULL_HENV)
        return;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, m_environment->handle(), &m_hDbc)))
        m_hDbc = SQL_NULL_HDBC;
}

OdbcConnection::~OdbcConnection()
{
    Close();
}

SQLRETURN OdbcConnection::Connect(const std::wstring& connectionString)
{
    if (m_hDbc == SQL_NULL_HDBC)
        return SQL_ERROR;
    std::string text = ToOdbcText(connectionString);
    SQLSMALLINT outLength = 0;
    SQLRETURN rc = SQLDriverConnect(m_hDbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, nullptr, 0,
                                    &outLength, SQL_DRIVER_NOPROMPT);
    m_bConnected = SQL_SUCCEEDED(rc);
    return rc;
}

SQLUINTEGER OdbcConnection::GetDataExtensions()
{
    if (!m_bConnected)
        return 0;
    if (!m_getDataExtensions) {
        SQLUINTEGER bits = 0;
        if (!SQL_SUCCEEDED(SQLGetInfo(m_hDbc, SQL_GETDATA_EXTENSIONS, &bits, sizeof bits, nullptr)))
            bits = 0;
        m_getDataExtensions = bits;
    }
    return *m_getDataExtensions;
}

void OdbcConnection::Close()
{
    // Copy first: Release unregisters the statement from the set.
    std::set<OdbcStatement*> statements;
    statements.swap(m_statements);
    for (OdbcStatement* statement : statements)
        statement->Release();
    if (m_hDbc == SQL_NULL_HDBC)
        return;
    if (m_bConnected) {
        // A transaction left open by a failed commit is rolled back rather
        // than kept: disconnecting with one open is refused by the manager.
        SQLEndTran(SQL_HANDLE_DBC, m_hDbc, SQL_ROLLBACK);
        SQLDisconnect(m_hDbc);
        m_bConnected = false;
    }
    SQLFreeHandle(SQL_HANDLE_DBC, m_hDbc);
    m_hDbc = SQL_NULL_HDBC;
}

OdbcStatement::OdbcStatement(std::shared_ptr<OdbcConnection> connection)
    : m_connection(std::move(connection))
{
    if (!m_connection->IsConnected())
        return;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, m_connection->handle(), &m_hStmt))) {
        m_hStmt = SQL_NULL_HSTMT;
        return;
    }
    m_connection->m_statements.insert(this);
}

OdbcStatement::~OdbcStatement()
{
    Release();
}

void OdbcStatement::Release()
{
    if (m_hStmt == SQL_NULL_HSTMT)
        return;
    SQLFreeHandle(SQL_HANDLE_STMT, m_hStmt);
    m_hStmt = SQL_NULL_HSTMT;
    m_connection->m_statements.erase(this);
}

} // namespace kel::store
