#pragma once

// CKelDatabaseOleDB: a small database wrapper. It connects by a SQL Server
// style connection string, runs statements without results each in its own
// read-committed transaction, and runs queries whose rows the caller reads
// through its own command object. Every failure raises CKelException with
// the driver's description of the error; the password never appears in one.
//
// Not thread safe: construct, Open, run statements, Close and destroy on one
// thread.
//
// The class keeps the name of the interface it was first written against;
// underneath it is ODBC (see the README's glossary, "Names kept from the
// original interface").
//
//     CKelDatabaseOleDB database(L"server", L"catalog", L"user", L"password");
//     database.Open();
//     database.ExecNoResult(L"INSERT INTO item VALUES (1, 'one')");
//     CCommand<CDynamicAccessor, CRowset, CNoMultipleResults> command;
//     database.ExecResult(L"SELECT * FROM item", &command);
#include "KelStoreExport.h"
#include "platform/Command.h"

#include <KelCore/platform/StringW.h>

#include <memory>
#include <string>

namespace kel::store {
class OdbcEnvironment;
class OdbcConnection;
struct OdbcHandle;
}

class KELSTORE_API CKelDatabaseOleDB {
public:
    // Keeps the four texts only when none is null; otherwise all stay empty.
    CKelDatabaseOleDB(const wchar_t* dataSource, const wchar_t* initialCatalog, const wchar_t* userID,
                      const wchar_t* password);
    ~CKelDatabaseOleDB();
    CKelDatabaseOleDB(const CKelDatabaseOleDB&) = delete;
    CKelDatabaseOleDB& operator=(const CKelDatabaseOleDB&) = delete;

    // The connection string, password included: never log it.
    CString GetDbConnString();

    // Connects, giving the login 15 seconds. A Data Source that names a
    // configured ODBC data source connects to it (the Initial Catalog, when
    // not empty, names its database); any other names a SQL Server ("host",
    // "host\instance" or "host,port") reached through the FreeTDS driver,
    // and a failure to reach it names the server. Opening an open wrapper
    // closes the old connection first.
    void Open();
    // Releases the connection and every command still open on it.
    void Close();

    // Statements need an open wrapper: before Open, after Close and after a
    // failed Open they raise CKelException("The database is not open: call
    // Open before running a statement") and touch nothing.
    //
    // Runs one statement that returns no rows in its own read-committed
    // transaction: committed when it succeeds, rolled back when it fails.
    // A driver without read committed uses its next stricter level.
    void ExecNoResult(const wchar_t* sql);
    // Runs a query into the caller's command; no transaction is started.
    void ExecResult(const wchar_t* sql, CCommand<CDynamicAccessor, CRowset, CNoMultipleResults>* command);
    // As above; the command can also move to the later results of a batch.
    void ExecResult(const wchar_t* sql, CCommand<CDynamicAccessor, CRowset, CMultipleResults>* command);

    // The exact numeric as a 32-bit integer, ignoring precision and scale
    // (12.34 with scale 2 gives 1234). Raises CKelException for a null value
    // and for a magnitude beyond the 32-bit range rather than give a wrong
    // number. LONG is 32 bits, as the Windows long this stands for.
    static LONG DBNUMERIC2Long(const DB_NUMERIC* value);

private:
    CString _ThrowErrorInfo(const kel::store::OdbcHandle& failed) const;
    // The description of a failed SQL Server login, naming the server when
    // it could not be reached or did not answer.
    CString _UnreachableServer(const std::string& state, const CString& description) const;
    [[noreturn]] void _Throw(const CString& description) const;
    void _RequireOpen(const wchar_t* sql) const;
    void _ExecResult(const wchar_t* sql, CCommandBase* command);
    // The ODBC form of the connection: a configured data source by name, or
    // the SQL Server driver with the server's name.
    std::wstring _OdbcConnectionString(bool configuredDataSource) const;

    std::shared_ptr<kel::store::OdbcEnvironment> m_dataSource; // the driver manager's environment
    std::shared_ptr<kel::store::OdbcConnection> m_session;     // the connection, shared with open commands
    CString m_strUserID;
    CString m_strPassword;
    CString m_strDataSource;
    CString m_strInitialCatalog;
};
