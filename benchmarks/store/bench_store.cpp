// Rows per second of the database wrapper beside the databases' own C client
// libraries, on the same statements against the same database in the same
// run: N single-row INSERTs, each a statement of its own, then one SELECT of
// all N rows read value by value (the best of three runs). The SELECT is also
// measured through plain ODBC calls on the same driver, with the columns
// bound and the rows fetched one by one, as ODBC code is usually written:
// what the wrapper costs above its driver.
//
//   bench_store [ROWS]        (100000 by default)
//
// The wrapper runs each INSERT in a transaction of its own, begun and
// committed explicitly through the driver; the peers run it in autocommit,
// where the database wraps it in an implicit transaction. Over PostgreSQL
// the explicit commit is one more round trip to the server per row.
#include <KelDatabaseOleDB.h>
#include <KelException.h>

#include "DatabaseTestSupport.h"

#include <platform/OdbcApi.h>
#include <platform/Unicode.h>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& work)
{
    auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

constexpr int kSelectRuns = 3;

double BestSeconds(const std::function<void()>& work)
{
    double best = Seconds(work);
    for (int run = 1; run < kSelectRuns; ++run)
        best = std::min(best, Seconds(work));
    return best;
}

std::string InsertSql(const char* table, long row)
{
    return "INSERT INTO " + std::string(table) + " VALUES (" + std::to_string(row) + ", '이름 " + std::to_string(row)
        + "', " + std::to_string(row) + ".5)";
}

std::wstring InsertSqlWide(const std::wstring& table, long row)
{
    return L"INSERT INTO " + table + L" VALUES (" + std::to_wstring(row) + L", '이름 " + std::to_wstring(row) + L"', "
        + std::to_wstring(row) + L".5)";
}

struct Figures {
    double insertSeconds = 0;
    double selectSeconds = 0;
    long checksum = 0; // proves both sides read every row
};

// The wrapper: ExecNoResult per row, then ExecResult and every value.
Figures RunWrapper(CKelDatabaseOleDB& database, const char* table, long rows)
{
    Figures figures;
    std::wstring wideTable(table, table + std::string(table).size());
    database.ExecNoResult((L"DROP TABLE IF EXISTS " + wideTable).c_str());
    database.ExecNoResult((L"CREATE TABLE " + wideTable + L" (id INTEGER PRIMARY KEY, name VARCHAR(40), amount DOUBLE PRECISION)").c_str());
    figures.insertSeconds = Seconds([&] {
        for (long row = 0; row < rows; ++row)
            database.ExecNoResult(InsertSqlWide(wideTable, row).c_str());
    });
    figures.selectSeconds = BestSeconds([&] {
        figures.checksum = 0;
        CCommand<CDynamicAccessor, CRowset, CNoMultipleResults> command;
        database.ExecResult((L"SELECT id, name, amount FROM " + wideTable).c_str(), &command);
        for (HRESULT hr = command.MoveFirst(); hr == S_OK; hr = command.MoveNext()) {
            LONGLONG id = 0;
            double amount = 0;
            command.GetValueNumber(1, &id);
            command.GetValueNumber(3, &amount);
            figures.checksum += id + static_cast<long>(command.GetValueText(2).GetLength());
        }
    });
    return figures;
}

// A failed peer ends the run through main, so that the server it started is
// stopped on the way out (std::exit would skip that).
[[noreturn]] void Fail(const std::string& message)
{
    throw std::runtime_error(message);
}

void Check(PGresult* result, ExecStatusType wanted, PGconn* connection)
{
    if (PQresultStatus(result) != wanted) {
        PQclear(result);
        Fail(std::string("libpq: ") + PQerrorMessage(connection));
    }
}

Figures RunLibpq(const kel::test::PostgresServer& server, const char* table, long rows)
{
    std::string conninfo = "host=" + server.socketDir + " port=" + server.port + " dbname=" + server.database
        + " user=" + server.user + " password=" + server.password;
    PGconn* connection = PQconnectdb(conninfo.c_str());
    if (PQstatus(connection) != CONNECTION_OK) {
        std::string message = std::string("libpq: ") + PQerrorMessage(connection);
        PQfinish(connection);
        Fail(message);
    }
    PQsetNoticeProcessor(connection, [](void*, const char*) {}, nullptr); // "table does not exist, skipping"
    auto exec = [&](const std::string& sql, ExecStatusType wanted) {
        PGresult* result = PQexec(connection, sql.c_str());
        Check(result, wanted, connection);
        return result;
    };
    Figures figures;
    PQclear(exec("DROP TABLE IF EXISTS " + std::string(table), PGRES_COMMAND_OK));
    PQclear(exec("CREATE TABLE " + std::string(table) + " (id INTEGER PRIMARY KEY, name VARCHAR(40), amount DOUBLE PRECISION)",
                 PGRES_COMMAND_OK));
    figures.insertSeconds = Seconds([&] {
        for (long row = 0; row < rows; ++row)
            PQclear(exec(InsertSql(table, row), PGRES_COMMAND_OK));
    });
    figures.selectSeconds = BestSeconds([&] {
        figures.checksum = 0;
        PGresult* result = exec("SELECT id, name, amount FROM " + std::string(table), PGRES_TUPLES_OK);
        for (int row = 0; row < PQntuples(result); ++row) {
            // The same work as the wrapper: a number and the text as wide text.
            figures.checksum += std::atol(PQgetvalue(result, row, 0))
                + static_cast<long>(kel::platform::Utf8ToWide(PQgetvalue(result, row, 1)).size());
            std::strtod(PQgetvalue(result, row, 2), nullptr);
        }
        PQclear(result);
    });
    PQfinish(connection);
    return figures;
}

Figures RunSqlite(const std::string& file, const char* table, long rows)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
        std::string message = std::string("sqlite3: ") + sqlite3_errmsg(db);
        sqlite3_close(db);
        Fail(message);
    }
    auto exec = [&](const std::string& sql) {
        char* error = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string message = std::string("sqlite3: ") + (error ? error : "failed");
            sqlite3_free(error);
            Fail(message);
        }
    };
    Figures figures;
    exec("PRAGMA synchronous=OFF"); // as the wrapper's data source (SyncPragma=OFF)
    exec("DROP TABLE IF EXISTS " + std::string(table));
    exec("CREATE TABLE " + std::string(table) + " (id INTEGER PRIMARY KEY, name VARCHAR(40), amount DOUBLE PRECISION)");
    figures.insertSeconds = Seconds([&] {
        for (long row = 0; row < rows; ++row)
            exec(InsertSql(table, row));
    });
    figures.selectSeconds = BestSeconds([&] {
        figures.checksum = 0;
        sqlite3_stmt* statement = nullptr;
        std::string sql = "SELECT id, name, amount FROM " + std::string(table);
        sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            figures.checksum += static_cast<long>(sqlite3_column_int64(statement, 0))
                + static_cast<long>(
                    kel::platform::Utf8ToWide(reinterpret_cast<const char*>(sqlite3_column_text(statement, 1))).size());
            sqlite3_column_double(statement, 2);
        }
        sqlite3_finalize(statement);
    });
    sqlite3_close(db);
    return figures;
}

// Plain ODBC on the wrapper's table: the columns bound, one row per fetch,
// the text turned into wide text as the wrapper does.
Figures RunOdbcSelect(const std::string& connectionString, const char* table)
{
    SQLHENV environment = SQL_NULL_HENV;
    SQLHDBC connection = SQL_NULL_HDBC;
    SQLHSTMT statement = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment);
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection);
    std::string text = connectionString;
    if (!SQL_SUCCEEDED(SQLDriverConnect(connection, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, nullptr,
                                        0, nullptr, SQL_DRIVER_NOPROMPT))) {
        SQLFreeHandle(SQL_HANDLE_DBC, connection);
        SQLFreeHandle(SQL_HANDLE_ENV, environment);
        Fail("ODBC: cannot connect with " + connectionString.substr(0, connectionString.find(';')));
    }
    SQLAllocHandle(SQL_HANDLE_STMT, connection, &statement);
    Figures figures;
    std::string sql = "SELECT id, name, amount FROM " + std::string(table);
    figures.selectSeconds = BestSeconds([&] {
        figures.checksum = 0;
        SQLBIGINT id = 0;
        SQLWCHAR name[128];
        double amount = 0;
        SQLLEN idLength = 0, nameLength = 0, amountLength = 0;
        SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS);
        SQLBindCol(statement, 1, SQL_C_SBIGINT, &id, sizeof id, &idLength);
        SQLBindCol(statement, 2, SQL_C_WCHAR, name, sizeof name, &nameLength);
        SQLBindCol(statement, 3, SQL_C_DOUBLE, &amount, sizeof amount, &amountLength);
        while (SQL_SUCCEEDED(SQLFetch(statement))) {
            std::wstring wide = kel::platform::Utf16LEToWide(reinterpret_cast<const BYTE*>(name),
                                                             static_cast<size_t>(nameLength) / sizeof(SQLWCHAR));
            figures.checksum += static_cast<long>(id) + static_cast<long>(wide.size());
        }
        SQLFreeStmt(statement, SQL_CLOSE);
        SQLFreeStmt(statement, SQL_UNBIND);
    });
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    SQLDisconnect(connection);
    SQLFreeHandle(SQL_HANDLE_DBC, connection);
    SQLFreeHandle(SQL_HANDLE_ENV, environment);
    return figures;
}

void Report(const char* database, const char* peer, long rows, const Figures& wrapper, const Figures& other)
{
    auto rate = [rows](double seconds) { return seconds > 0 ? rows / seconds : 0.0; };
    std::printf("%-10s INSERT  wrapper %9.0f rows/s   %-7s %9.0f rows/s   ratio %.2f\n", database,
                rate(wrapper.insertSeconds), peer, rate(other.insertSeconds),
                rate(wrapper.insertSeconds) / rate(other.insertSeconds));
    std::printf("%-10s SELECT  wrapper %9.0f rows/s   %-7s %9.0f rows/s   ratio %.2f%s\n", database,
                rate(wrapper.selectSeconds), peer, rate(other.selectSeconds),
                rate(wrapper.selectSeconds) / rate(other.selectSeconds),
                wrapper.checksum == other.checksum ? "" : "   (row checksums differ!)");
}

void ReportOdbc(const char* database, long rows, const Figures& wrapper, const Figures& odbc)
{
    std::printf("%-10s SELECT  wrapper %9.0f rows/s   %-7s %9.0f rows/s   ratio %.2f%s\n", database,
                rows / wrapper.selectSeconds, "ODBC", rows / odbc.selectSeconds,
                odbc.selectSeconds / wrapper.selectSeconds,
                wrapper.checksum == odbc.checksum ? "" : "   (row checksums differ!)");
}

// Starts the test PostgreSQL server and stops it on every way out.
class PostgresFixture {
public:
    PostgresFixture()
    {
        std::string command = std::string(KEL_POSTGRES_SCRIPT) + " start " + KEL_POSTGRES_STATE;
        m_bStarted = std::system(command.c_str()) == 0;
    }
    ~PostgresFixture()
    {
        std::string command = std::string(KEL_POSTGRES_SCRIPT) + " stop " + KEL_POSTGRES_STATE;
        if (m_bStarted && std::system(command.c_str()) != 0)
            std::fprintf(stderr, "stopping PostgreSQL failed\n");
    }
    bool started() const { return m_bStarted; }

private:
    bool m_bStarted = false;
};

} // namespace

int main(int argc, char** argv)
{
    const long rows = argc > 1 ? std::atol(argv[1]) : 100000;
    PostgresFixture postgres;
    auto server = kel::test::PostgresServer::FromState();
    if (!postgres.started() || !server) {
        std::fprintf(stderr, "PostgreSQL could not be started\n");
        return 1;
    }
    kel::test::OdbcSandbox sandbox(server, "SyncPragma=OFF\n");
    std::printf("%ld rows, one statement per row\n", rows);
    std::printf("INSERT: the wrapper commits each row in an explicit transaction (PostgreSQL: \"BEGIN;INSERT\" "
                "then \"COMMIT\", two round trips); the peers run it in autocommit (one)\n");
    try {
        CKelDatabaseOleDB sqlite(kel::test::kSqliteDsn, L"", L"", L"");
        sqlite.Open();
        Figures wrapperLite = RunWrapper(sqlite, "bench_wrapper", rows);
        sqlite.Close();
        Figures peerLite = RunSqlite(sandbox.sqliteFile(), "bench_peer", rows);
        Report("SQLite", "sqlite3", rows, wrapperLite, peerLite);
        ReportOdbc("SQLite", rows, wrapperLite, RunOdbcSelect("DSN=KelTestSqlite", "bench_wrapper"));

        std::wstring user(server->user.begin(), server->user.end());
        std::wstring password(server->password.begin(), server->password.end());
        CKelDatabaseOleDB pg(kel::test::kPostgresDsn, L"", user.c_str(), password.c_str());
        pg.Open();
        Figures wrapperPg = RunWrapper(pg, "bench_wrapper", rows);
        pg.Close();
        Figures peerPg = RunLibpq(*server, "bench_peer", rows);
        Report("PostgreSQL", "libpq", rows, wrapperPg, peerPg);
        const std::string pgLogin = "DSN=KelTestPostgres;UID=" + server->user + ";PWD=" + server->password;
        ReportOdbc("PostgreSQL", rows, wrapperPg, RunOdbcSelect(pgLogin, "bench_wrapper"));
    } catch (CKelException* e) {
        std::fprintf(stderr, "%ls\n", e->GetMessage().GetString());
        e->Delete();
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
