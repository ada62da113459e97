// Rows per second of the database wrapper beside the databases' own C client
// libraries, on the same statements against the same database in the same
// run: N single-row INSERTs, each a statement of its own, then a SELECT of
// all N rows read value by value. The SELECT is also measured through plain
// ODBC calls on the same driver, with the columns bound and the rows fetched
// one by one, as ODBC code is usually written: what the wrapper costs above
// its driver. The SELECTs run five times, the wrapper and its peers taking
// turns so that a busy moment of the machine weighs on all alike; the best
// time of each counts.
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

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSelectRounds = 5;
constexpr const char* kCreateColumns = " (id INTEGER PRIMARY KEY, name VARCHAR(40), amount DOUBLE PRECISION)";
constexpr const char* kSelectColumns = "SELECT id, name, amount FROM ";

double Seconds(const std::function<void()>& work)
{
    auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string InsertSql(const std::string& table, long row)
{
    return "INSERT INTO " + table + " VALUES (" + std::to_string(row) + ", '이름 " + std::to_string(row) + "', "
        + std::to_string(row) + ".5)";
}

std::wstring Wide(const std::string& text)
{
    return kel::platform::Utf8ToWide(text);
}

// A failed peer ends the run through main, so that the server it started is
// stopped on the way out (std::exit would skip that).
[[noreturn]] void Fail(const std::string& message)
{
    throw std::runtime_error(message);
}

// One way of reading the table: runs the SELECT and gives a checksum of the
// rows, which proves that every way read every row.
struct Reader {
    const char* name;
    std::function<long()> read;
    double bestSeconds = 0;
    long checksum = 0;
};

void TakeTurns(std::vector<Reader*> readers)
{
    for (int round = 0; round < kSelectRounds; ++round) {
        for (Reader* reader : readers) {
            long checksum = 0;
            double seconds = Seconds([&] { checksum = reader->read(); });
            if (round == 0 || seconds < reader->bestSeconds)
                reader->bestSeconds = seconds;
            reader->checksum = checksum;
        }
    }
}

// The wrapper: ExecNoResult per row, then ExecResult and every value.
double WrapperInserts(CKelDatabaseOleDB& database, const std::string& table, long rows)
{
    database.ExecNoResult(Wide("DROP TABLE IF EXISTS " + table).c_str());
    database.ExecNoResult(Wide("CREATE TABLE " + table + kCreateColumns).c_str());
    return Seconds([&] {
        for (long row = 0; row < rows; ++row)
            database.ExecNoResult(Wide(InsertSql(table, row)).c_str());
    });
}

long WrapperSelect(CKelDatabaseOleDB& database, const std::string& table)
{
    long checksum = 0;
    CCommand<CDynamicAccessor, CRowset, CNoMultipleResults> command;
    database.ExecResult(Wide(kSelectColumns + table).c_str(), &command);
    for (HRESULT hr = command.MoveFirst(); hr == S_OK; hr = command.MoveNext()) {
        LONGLONG id = 0;
        double amount = 0;
        command.GetValueNumber(1, &id);
        command.GetValueNumber(3, &amount);
        checksum += static_cast<long>(id) + static_cast<long>(command.GetValueText(2).GetLength());
    }
    return checksum;
}

class Libpq {
public:
    explicit Libpq(const kel::test::PostgresServer& server)
    {
        std::string conninfo = "host=" + server.socketDir + " port=" + server.port + " dbname=" + server.database
            + " user=" + server.user + " password=" + server.password;
        m_connection = PQconnectdb(conninfo.c_str());
        if (PQstatus(m_connection) != CONNECTION_OK)
            Fail(std::string("libpq: ") + PQerrorMessage(m_connection));
        PQsetNoticeProcessor(m_connection, [](void*, const char*) {}, nullptr); // "does not exist, skipping"
    }
    ~Libpq() { PQfinish(m_connection); }
    Libpq(const Libpq&) = delete;
    Libpq& operator=(const Libpq&) = delete;

    double Inserts(const std::string& table, long rows)
    {
        Exec("DROP TABLE IF EXISTS " + table, PGRES_COMMAND_OK);
        Exec("CREATE TABLE " + table + kCreateColumns, PGRES_COMMAND_OK);
        return Seconds([&] {
            for (long row = 0; row < rows; ++row)
                Exec(InsertSql(table, row), PGRES_COMMAND_OK);
        });
    }

    // The same work as the wrapper: the numbers and the text as wide text.
    long Select(const std::string& table)
    {
        long checksum = 0;
        PGresult* result = PQexec(m_connection, (kSelectColumns + table).c_str());
        Check(result, PGRES_TUPLES_OK);
        for (int row = 0; row < PQntuples(result); ++row) {
            checksum += std::atol(PQgetvalue(result, row, 0))
                + static_cast<long>(kel::platform::Utf8ToWide(PQgetvalue(result, row, 1)).size());
            std::strtod(PQgetvalue(result, row, 2), nullptr);
        }
        PQclear(result);
        return checksum;
    }

private:
    void Exec(const std::string& sql, ExecStatusType wanted)
    {
        PGresult* result = PQexec(m_connection, sql.c_str());
        Check(result, wanted);
        PQclear(result);
    }
    void Check(PGresult* result, ExecStatusType wanted)
    {
        if (PQresultStatus(result) != wanted) {
            PQclear(result);
            Fail(std::string("libpq: ") + PQerrorMessage(m_connection));
        }
    }

    PGconn* m_connection = nullptr;
};

class Sqlite {
public:
    explicit Sqlite(const std::string& file)
    {
        if (sqlite3_open(file.c_str(), &m_db) != SQLITE_OK)
            Fail(std::string("sqlite3: ") + sqlite3_errmsg(m_db));
        Exec("PRAGMA synchronous=OFF"); // as the wrapper's data source (SyncPragma=OFF)
    }
    ~Sqlite() { sqlite3_close(m_db); }
    Sqlite(const Sqlite&) = delete;
    Sqlite& operator=(const Sqlite&) = delete;

    double Inserts(const std::string& table, long rows)
    {
        Exec("DROP TABLE IF EXISTS " + table);
        Exec("CREATE TABLE " + table + kCreateColumns);
        return Seconds([&] {
            for (long row = 0; row < rows; ++row)
                Exec(InsertSql(table, row));
        });
    }

    long Select(const std::string& table)
    {
        long checksum = 0;
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(m_db, (kSelectColumns + table).c_str(), -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            checksum += static_cast<long>(sqlite3_column_int64(statement, 0))
                + static_cast<long>(
                    kel::platform::Utf8ToWide(reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)))
                        .size());
            sqlite3_column_double(statement, 2);
        }
        sqlite3_finalize(statement);
        return checksum;
    }

private:
    void Exec(const std::string& sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string message = std::string("sqlite3: ") + (error ? error : "failed");
            sqlite3_free(error);
            Fail(message);
        }
    }

    sqlite3* m_db = nullptr;
};

// Plain ODBC on the wrapper's table: the columns bound, one row per fetch,
// the text turned into wide text as the wrapper does.
class PlainOdbc {
public:
    explicit PlainOdbc(const std::string& connectionString)
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_environment);
        SQLSetEnvAttr(m_environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, m_environment, &m_connection);
        std::string text = connectionString;
        m_bConnected = SQL_SUCCEEDED(SQLDriverConnect(m_connection, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                                                      SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
        if (!m_bConnected || !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, m_connection, &m_statement))) {
            Release();
            Fail("ODBC: cannot connect with " + connectionString.substr(0, connectionString.find(';')));
        }
    }
    ~PlainOdbc() { Release(); }
    PlainOdbc(const PlainOdbc&) = delete;
    PlainOdbc& operator=(const PlainOdbc&) = delete;

    long Select(const std::string& table)
    {
        long checksum = 0;
        SQLBIGINT id = 0;
        SQLWCHAR name[128];
        double amount = 0;
        SQLLEN idLength = 0, nameLength = 0, amountLength = 0;
        std::string sql = kSelectColumns + table;
        SQLExecDirect(m_statement, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS);
        SQLBindCol(m_statement, 1, SQL_C_SBIGINT, &id, sizeof id, &idLength);
        SQLBindCol(m_statement, 2, SQL_C_WCHAR, name, sizeof name, &nameLength);
        SQLBindCol(m_statement, 3, SQL_C_DOUBLE, &amount, sizeof amount, &amountLength);
        while (SQL_SUCCEEDED(SQLFetch(m_statement))) {
            std::wstring wide = kel::platform::Utf16LEToWide(reinterpret_cast<const BYTE*>(name),
                                                             static_cast<size_t>(nameLength) / sizeof(SQLWCHAR));
            checksum += static_cast<long>(id) + static_cast<long>(wide.size());
        }
        SQLFreeStmt(m_statement, SQL_CLOSE);
        SQLFreeStmt(m_statement, SQL_UNBIND);
        return checksum;
    }

private:
    void Release()
    {
        if (m_statement != SQL_NULL_HSTMT)
            SQLFreeHandle(SQL_HANDLE_STMT, m_statement);
        if (m_bConnected)
            SQLDisconnect(m_connection);
        if (m_connection != SQL_NULL_HDBC)
            SQLFreeHandle(SQL_HANDLE_DBC, m_connection);
        if (m_environment != SQL_NULL_HENV)
            SQLFreeHandle(SQL_HANDLE_ENV, m_environment);
        m_statement = SQL_NULL_HSTMT;
        m_connection = SQL_NULL_HDBC;
        m_environment = SQL_NULL_HENV;
        m_bConnected = false;
    }

    SQLHENV m_environment = SQL_NULL_HENV;
    SQLHDBC m_connection = SQL_NULL_HDBC;
    SQLHSTMT m_statement = SQL_NULL_HSTMT;
    bool m_bConnected = false;
};

void ReportInserts(const char* database, const char* peer, long rows, double wrapper, double other)
{
    std::printf("%-10s INSERT  wrapper %9.0f rows/s   %-7s %9.0f rows/s   ratio %.2f\n", database, rows / wrapper,
                peer, rows / other, other / wrapper);
}

void ReportSelect(const char* database, long rows, const Reader& wrapper, const Reader& peer)
{
    std::printf("%-10s SELECT  wrapper %9.0f rows/s   %-7s %9.0f rows/s   ratio %.2f%s\n", database,
                rows / wrapper.bestSeconds, peer.name, rows / peer.bestSeconds, peer.bestSeconds / wrapper.bestSeconds,
                wrapper.checksum == peer.checksum ? "" : "   (row checksums differ!)");
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

void RunSqlite(const kel::test::OdbcSandbox& sandbox, long rows)
{
    CKelDatabaseOleDB database(kel::test::kSqliteDsn, L"", L"", L"");
    database.Open();
    Sqlite native(sandbox.sqliteFile());
    const double wrapperInserts = WrapperInserts(database, "bench_wrapper", rows);
    ReportInserts("SQLite", "sqlite3", rows, wrapperInserts, native.Inserts("bench_peer", rows));
    PlainOdbc odbc("DSN=KelTestSqlite");
    Reader wrapper{"wrapper", [&] { return WrapperSelect(database, "bench_wrapper"); }};
    Reader peer{"sqlite3", [&] { return native.Select("bench_peer"); }};
    Reader plain{"ODBC", [&] { return odbc.Select("bench_wrapper"); }};
    TakeTurns({&wrapper, &peer, &plain});
    ReportSelect("SQLite", rows, wrapper, peer);
    ReportSelect("SQLite", rows, wrapper, plain);
}

void RunPostgres(const kel::test::PostgresServer& server, long rows)
{
    CKelDatabaseOleDB database(kel::test::kPostgresDsn, L"", Wide(server.user).c_str(), Wide(server.password).c_str());
    database.Open();
    Libpq native(server);
    const double wrapperInserts = WrapperInserts(database, "bench_wrapper", rows);
    ReportInserts("PostgreSQL", "libpq", rows, wrapperInserts, native.Inserts("bench_peer", rows));
    PlainOdbc odbc("DSN=KelTestPostgres;UID=" + server.user + ";PWD=" + server.password);
    Reader wrapper{"wrapper", [&] { return WrapperSelect(database, "bench_wrapper"); }};
    Reader peer{"libpq", [&] { return native.Select("bench_peer"); }};
    Reader plain{"ODBC", [&] { return odbc.Select("bench_wrapper"); }};
    TakeTurns({&wrapper, &peer, &plain});
    ReportSelect("PostgreSQL", rows, wrapper, peer);
    ReportSelect("PostgreSQL", rows, wrapper, plain);
}

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
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as soon as it is measured
    std::printf("%ld rows, one statement per row\n", rows);
    std::printf("INSERT: the wrapper commits each row in an explicit transaction (PostgreSQL: \"BEGIN;INSERT\" "
                "then \"COMMIT\", two round trips); the peers run it in autocommit (one)\n");
    std::printf("ratio: the peer's time over the wrapper's (above 1: the wrapper is faster)\n");
    try {
        RunSqlite(sandbox, rows);
        RunPostgres(*server, rows);
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
