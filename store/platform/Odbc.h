#pragma once

// The ODBC machinery behind the database wrapper and its commands: owned
// environment, connection and statement handles, diagnostics as wide text,
// and the text conversions at the ODBC boundary. Internal to KelStore.
//
// Statements, connection strings, names and messages cross as UTF-8 through
// the narrow functions; values are read as UTF-16. unixODBC converts the
// wide functions for a driver without them (SQLite's) through the process
// locale, which a library does not own and which loses Korean text in the
// C locale; UTF-8 through the narrow functions reaches such a driver as it
// is, and the Unicode drivers (PostgreSQL's, FreeTDS with ClientCharset
// UTF-8) take it too.
#include "OdbcApi.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace kel::store {

std::string ToOdbcText(std::wstring_view text);
std::wstring FromOdbcText(const SQLCHAR* text, size_t bytes);
std::wstring FromSqlWide(const SQLWCHAR* text, size_t units);

// The first diagnostic record of a handle as text ("" when there is none).
std::wstring DescribeDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);
// The SQLSTATE of that record ("" when there is none).
std::string DiagnosticState(SQLSMALLINT handleType, SQLHANDLE handle);

// A handle and its kind, for reading diagnostics after a failed call.
struct OdbcHandle {
    SQLSMALLINT type;
    SQLHANDLE handle;
};

// The driver manager's environment (ODBC 3 behaviour).
class OdbcEnvironment {
public:
    OdbcEnvironment();
    ~OdbcEnvironment();
    OdbcEnvironment(const OdbcEnvironment&) = delete;
    OdbcEnvironment& operator=(const OdbcEnvironment&) = delete;

    SQLHENV handle() const { return m_hEnv; }
    // Whether `name` is a configured user or system data source
    // (case-insensitive, as the driver manager compares them).
    bool HasDataSource(std::wstring_view name) const;

private:
    SQLHENV m_hEnv = SQL_NULL_HENV;
};

class OdbcStatement;

// One connection. Statements opened on it register here so that closing the
// connection frees them first; a statement that outlives the connection is
// left detached instead of touching freed handles.
class OdbcConnection {
public:
    explicit OdbcConnection(std::shared_ptr<OdbcEnvironment> environment);
    ~OdbcConnection();
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;

    SQLHDBC handle() const { return m_hDbc; }
    OdbcHandle diagnostics() const { return {SQL_HANDLE_DBC, m_hDbc}; }
    bool IsConnected() const { return m_bConnected; }

    SQLRETURN Connect(const std::wstring& connectionString);
    // Frees the registered statements, disconnects and frees the handle.
    void Close();

    // Read-committed isolation is set once per connection: each setting is a
    // round trip to the server with some drivers.
    bool IsIsolationSet() const { return m_bIsolationSet; }
    void MarkIsolationSet() { m_bIsolationSet = true; }

    // What SQLGetData may read beside bound columns (the SQL_GD_* bits),
    // asked of the driver once.
    SQLUINTEGER GetDataExtensions();

private:
    friend class OdbcStatement;
    std::shared_ptr<OdbcEnvironment> m_environment;
    SQLHDBC m_hDbc = SQL_NULL_HDBC;
    bool m_bConnected = false;
    bool m_bIsolationSet = false;
    std::optional<SQLUINTEGER> m_getDataExtensions;
    std::set<OdbcStatement*> m_statements;
};

// A statement handle on a connection, freed by its owner or by the
// connection's Close, whichever comes first.
class OdbcStatement {
public:
    explicit OdbcStatement(std::shared_ptr<OdbcConnection> connection);
    ~OdbcStatement();
    OdbcStatement(const OdbcStatement&) = delete;
    OdbcStatement& operator=(const OdbcStatement&) = delete;

    // Null when the handle could not be made or its connection was closed.
    SQLHSTMT handle() const { return m_hStmt; }
    OdbcHandle diagnostics() const { return {SQL_HANDLE_STMT, m_hStmt}; }
    OdbcConnection& connection() const { return *m_connection; }

private:
    friend class OdbcConnection;
    void Release();

    std::shared_ptr<OdbcConnection> m_connection;
    SQLHSTMT m_hStmt = SQL_NULL_HSTMT;
};

} // namespace kel::store
