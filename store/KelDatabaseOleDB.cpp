#include "KelDatabaseOleDB.h"

#include "platform/CommandState.h"
#include "platform/Odbc.h"

#include <KelException.h>

using kel::store::OdbcConnection;
using kel::store::OdbcEnvironment;
using kel::store::OdbcHandle;
using kel::store::OdbcStatement;

namespace {

constexpr const wchar_t* kConnectionFormat =
    L"Provider=SQLOLEDB.1; Data Source=%ls; User ID=%ls; Password=%ls; Persist Security Info=True; "
    L"Initial Catalog=%ls; Use Procedure for Prepare=1; Auto Translate=True; Packet Size=4096; "
    L"Use Encryption for Data=False; Tag with column collation when possible=False";

// The driver that stands in for the SQL Server provider, and the protocol
// version it speaks: one fixed version, because FreeTDS trying one version
// after another ignores the login time-out and waits for ever on a server
// that accepts and never answers. 7.4 is that of SQL Server 2012 and later.
constexpr const wchar_t* kSqlServerDriver = L"FreeTDS";
constexpr const wchar_t* kTdsVersion = L"7.4";
constexpr SQLUINTEGER kPacketSize = 4096;
// The SQL Server provider's default login time-out.
constexpr SQLUINTEGER kLoginTimeoutSeconds = 15;

// One "KEY=value;" pair. Values with separators or braces are braced, with
// inner closing braces doubled, so that no value can add keys of its own.
std::wstring OdbcPair(const wchar_t* key, const std::wstring& value)
{
    bool plain = value.find_first_of(L";{}=") == std::wstring::npos
        && (value.empty() || (value.front() != L' ' && value.back() != L' '));
    std::wstring pair = std::wstring(key) + L'=';
    if (plain) {
        pair += value;
    } else {
        pair += L'{';
        for (wchar_t ch : value) {
            pair += ch;
            if (ch == L'}')
                pair += L'}';
        }
        pair += L'}';
    }
    return pair + L';';
}

// Restores autocommit when a statement's transaction ends, however it ends.
class AutocommitOff {
public:
    explicit AutocommitOff(SQLHDBC connection) : m_hDbc(connection) {}
    ~AutocommitOff()
    {
        SQLSetConnectAttr(m_hDbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    }
    SQLRETURN Begin()
    {
        return SQLSetConnectAttr(m_hDbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    }
    AutocommitOff(const AutocommitOff&) = delete;
    AutocommitOff& operator=(const AutocommitOff&) = delete;

private:
    SQLHDBC m_hDbc;
};

// Runs the statement and walks every result of it, so that an error that a
// driver reports only with a later result of a batch is not missed.
bool RunToEnd(SQLHSTMT statement, const std::wstring& sql)
{
    std::string text = kel::store::ToOdbcText(sql);
    SQLRETURN rc = SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
    while (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) {
        rc = SQLMoreResults(statement);
        if (rc == SQL_NO_DATA)
            return true;
    }
    return false;
}

} // namespace

CKelDatabaseOleDB::CKelDatabaseOleDB(const wchar_t* dataSource, const wchar_t* initialCatalog,
                                     const wchar_t* userID, const wchar_t* password)
{
    if (!dataSource || !initialCatalog || !userID || !password)
        return;
    m_strDataSource = dataSource;
    m_strInitialCatalog = initialCatalog;
    m_strUserID = userID;
    m_strPassword = password;
}

CKelDatabaseOleDB::~CKelDatabaseOleDB()
{
    Close();
}

CString CKelDatabaseOleDB::GetDbConnString()
{
    CString text;
    text.Format(kConnectionFormat, m_strDataSource.GetString(), m_strUserID.GetString(),
                m_strPassword.GetString(), m_strInitialCatalog.GetString());
    return text;
}

std::wstring CKelDatabaseOleDB::_OdbcConnectionString(bool configuredDataSource) const
{
    // The fields go in one by one, quoted: the connection text above embeds
    // them raw, so a value holding ';' could not be split back out of it.
    const std::wstring& source = m_strDataSource.str();
    std::wstring text;
    if (configuredDataSource) {
        text = OdbcPair(L"DSN", source);
        // The data source's own login and database hold unless overridden.
        if (!m_strUserID.IsEmpty()) {
            text += OdbcPair(L"UID", m_strUserID.str());
            text += OdbcPair(L"PWD", m_strPassword.str());
        }
        if (!m_strInitialCatalog.IsEmpty())
            text += OdbcPair(L"DATABASE", m_strInitialCatalog.str());
        return text;
    }
    // SQL Server names: "host", "host\instance", "host,port", "tcp:host,port".
    std::wstring server = source.rfind(L"tcp:", 0) == 0 ? source.substr(4) : source;
    std::wstring port;
    if (size_t comma = server.rfind(L','); comma != std::wstring::npos) {
        port = server.substr(comma + 1);
        server.erase(comma);
    }
    if (server == L"." || server == L"(local)")
        server = L"localhost";
    text = OdbcPair(L"DRIVER", kSqlServerDriver) + OdbcPair(L"SERVER", server);
    if (!port.empty())
        text += OdbcPair(L"PORT", port);
    text += OdbcPair(L"DATABASE", m_strInitialCatalog.str());
    text += OdbcPair(L"UID", m_strUserID.str());
    text += OdbcPair(L"PWD", m_strPassword.str());
    text += OdbcPair(L"TDS_Version", kTdsVersion);
    text += L"ClientCharset=UTF-8;Encryption=off;";
    return text;
}

void CKelDatabaseOleDB::Open()
{
    Close();
    auto environment = std::make_shared<OdbcEnvironment>();
    if (environment->handle() == SQL_NULL_HENV)
        _Throw(L"The ODBC driver manager could not be started");
    auto connection = std::make_shared<OdbcConnection>(environment);
    if (connection->handle() == SQL_NULL_HDBC)
        _Throw(_ThrowErrorInfo({SQL_HANDLE_ENV, environment->handle()}));

    const bool configured = environment->HasDataSource(m_strDataSource.str());
    if (!configured) {
        SQLSetConnectAttr(connection->handle(), SQL_ATTR_PACKET_SIZE,
                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(kPacketSize)), 0);
    }
    SQLSetConnectAttr(connection->handle(), SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(kLoginTimeoutSeconds)), 0);
    if (!SQL_SUCCEEDED(connection->Connect(_OdbcConnectionString(configured)))) {
        CString description = _ThrowErrorInfo(connection->diagnostics());
        if (!configured)
            description = _UnreachableServer(kel::store::DiagnosticState(SQL_HANDLE_DBC, connection->handle()),
                                             description);
        _Throw(description);
    }
    m_dataSource = std::move(environment);
    m_session = std::move(connection);
}

void CKelDatabaseOleDB::Close()
{
    if (m_session)
        m_session->Close();
    m_session.reset();
    m_dataSource.reset();
}

void CKelDatabaseOleDB::ExecNoResult(const wchar_t* sql)
{
    _RequireOpen(sql);
    SQLHDBC connection = m_session->handle();
    if (!m_session->IsIsolationSet()) {
        // A driver that lacks read committed raises it to a stricter level
        // and says so with a warning (SQLite: serializable); that is fine.
        SQLRETURN rc = SQLSetConnectAttr(connection, SQL_ATTR_TXN_ISOLATION,
                                          reinterpret_cast<SQLPOINTER>(SQL_TXN_READ_COMMITTED), 0);
        if (!SQL_SUCCEEDED(rc))
            _Throw(_ThrowErrorInfo(m_session->diagnostics()));
        m_session->MarkIsolationSet();
    }
    AutocommitOff transaction(connection);
    if (!SQL_SUCCEEDED(transaction.Begin()))
        _Throw(_ThrowErrorInfo(m_session->diagnostics()));

    OdbcStatement statement(m_session);
    if (statement.handle() == SQL_NULL_HSTMT)
        _Throw(_ThrowErrorInfo(m_session->diagnostics()));
    if (!RunToEnd(statement.handle(), sql)) {
        CString failure = _ThrowErrorInfo(statement.diagnostics());
        if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, connection, SQL_ROLLBACK)))
            _Throw(_ThrowErrorInfo(m_session->diagnostics()));
        _Throw(failure);
    }
    if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, connection, SQL_COMMIT)))
        _Throw(_ThrowErrorInfo(m_session->diagnostics()));
}

void CKelDatabaseOleDB::ExecResult(const wchar_t* sql, CCommand<CDynamicAccessor, CRowset, CNoMultipleResults>* command)
{
    _ExecResult(sql, command);
}

void CKelDatabaseOleDB::ExecResult(const wchar_t* sql, CCommand<CDynamicAccessor, CRowset, CMultipleResults>* command)
{
    // ODBC offers every result of a batch to any statement; this form only
    // lets the caller move on to them.
    _ExecResult(sql, command);
}

void CKelDatabaseOleDB::_ExecResult(const wchar_t* sql, CCommandBase* command)
{
    _RequireOpen(sql);
    if (!command)
        _Throw(L"No command was given for the query's rows");
    std::wstring error;
    if (!command->m_pState->Execute(m_session, sql, error))
        _Throw(error.empty() ? CString(L"The driver failed to run the query without saying why") : CString(error));
}

LONG CKelDatabaseOleDB::DBNUMERIC2Long(const DB_NUMERIC* value)
{
    if (!value)
        throw new CKelException(L"No numeric value was given");
    std::uint64_t magnitude = 0;
    for (int i = 15; i >= 0; --i) {
        magnitude = magnitude * 256 + value->val[i];
        // Beyond 2^31 nothing fits, whatever the remaining bytes add.
        if (magnitude > 0x80000000ull)
            break;
    }
    const bool positive = value->sign == 1;
    const std::uint64_t limit = positive ? 0x7FFFFFFFull : 0x80000000ull;
    if (magnitude > limit)
        throw new CKelException(L"The numeric value does not fit in a 32-bit integer");
    return positive ? static_cast<LONG>(magnitude) : static_cast<LONG>(-static_cast<std::int64_t>(magnitude));
}

CString CKelDatabaseOleDB::_ThrowErrorInfo(const OdbcHandle& failed) const
{
    std::wstring description = kel::store::DescribeDiagnostics(failed.type, failed.handle);
    // A failure without a description still needs a message a user can act on.
    if (description.empty())
        description = L"The database driver reported a failure without a description";
    return CString(description);
}

CString CKelDatabaseOleDB::_UnreachableServer(const std::string& state, const CString& description) const
{
    // Class 08 is a connection that could not be made or was lost; HYT00 a
    // login that timed out. Either way the user needs to know which server.
    CString text;
    if (state == "HYT00" || state == "HYT01") {
        text.Format(L"The SQL Server \"%ls\" did not answer within the %u-second login time-out: %ls",
                    m_strDataSource.GetString(), kLoginTimeoutSeconds, description.GetString());
    } else if (state.rfind("08", 0) == 0) {
        text.Format(L"The SQL Server \"%ls\" could not be reached: %ls", m_strDataSource.GetString(),
                    description.GetString());
    } else {
        text = description;
    }
    return text;
}

void CKelDatabaseOleDB::_Throw(const CString& description) const
{
    throw new CKelException(L"%ls", description.GetString());
}

void CKelDatabaseOleDB::_RequireOpen(const wchar_t* sql) const
{
    if (!m_session || !m_session->IsConnected())
        _Throw(L"The database is not open: call Open before running a statement");
    if (!sql)
        _Throw(L"No SQL statement was given");
}
