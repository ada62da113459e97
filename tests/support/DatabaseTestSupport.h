#pragma once

// Real databases for the database tests and benchmarks: a private odbc.ini
// with a SQLite data source in a temporary folder and, when the PostgreSQL
// fixture (tests/support/postgres.sh) is running, a data source for it.
// The driver paths come from the build (KEL_SQLITE_ODBC_DRIVER,
// KEL_POSTGRES_ODBC_DRIVER); the server's settings from the state file the
// script wrote, which the build names (KEL_POSTGRES_STATE).
#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>

namespace kel::test {

inline constexpr const wchar_t* kSqliteDsn = L"KelTestSqlite";
inline constexpr const wchar_t* kPostgresDsn = L"KelTestPostgres";

struct PostgresServer {
    std::string socketDir;
    std::string port;
    std::string user;
    std::string password;
    std::string database;
    std::string bin;

    // The running fixture server, or nothing when its state file is missing.
    static std::optional<PostgresServer> FromState(const char* stateFile = KEL_POSTGRES_STATE)
    {
        std::ifstream in(stateFile);
        if (!in)
            return std::nullopt;
        std::map<std::string, std::string> values;
        for (std::string line; std::getline(in, line);) {
            size_t equals = line.find('=');
            if (equals != std::string::npos)
                values[line.substr(0, equals)] = line.substr(equals + 1);
        }
        PostgresServer server{values["PG_SOCKET_DIR"], values["PG_PORT"], values["PG_USER"],
                              values["PG_PASSWORD"], values["PG_DATABASE"], values["PG_BIN"]};
        if (server.socketDir.empty())
            return std::nullopt;
        return server;
    }
};

// Points unixODBC at a private odbc.ini for the life of the object. Make one
// per process (see SharedOdbcSandbox).
class OdbcSandbox {
public:
    explicit OdbcSandbox(const std::optional<PostgresServer>& postgres = std::nullopt,
                         const std::string& extraSqliteOptions = "Timeout=2000\n")
    {
        m_sqliteFile = m_dir / "test.sqlite";
        std::string ini = "[KelTestSqlite]\nDriver=" KEL_SQLITE_ODBC_DRIVER "\nDatabase=" + m_sqliteFile + "\n"
            + extraSqliteOptions;
        if (postgres) {
            // BoolsAsChar=0: booleans read as booleans rather than "1"/"0".
            ini += "\n[KelTestPostgres]\nDriver=" KEL_POSTGRES_ODBC_DRIVER "\nServername=" + postgres->socketDir
                + "\nPort=" + postgres->port + "\nDatabase=" + postgres->database + "\nBoolsAsChar=0\n";
        }
        m_iniFile = m_dir / "odbc.ini";
        WriteBytes(m_iniFile, ini);
        const char* previous = std::getenv("ODBCINI");
        if (previous)
            m_previousIni = previous;
        setenv("ODBCINI", m_iniFile.c_str(), 1);
    }
    ~OdbcSandbox()
    {
        if (m_previousIni)
            setenv("ODBCINI", m_previousIni->c_str(), 1);
        else
            unsetenv("ODBCINI");
    }
    OdbcSandbox(const OdbcSandbox&) = delete;
    OdbcSandbox& operator=(const OdbcSandbox&) = delete;

    const std::string& sqliteFile() const { return m_sqliteFile; }
    const TempDir& dir() const { return m_dir; }

private:
    TempDir m_dir;
    std::string m_sqliteFile;
    std::string m_iniFile;
    std::optional<std::string> m_previousIni;
};

// The one sandbox of a test process, made on first use. unixODBC reads the
// ini file once per process and keeps it, so every test of a program must see
// the same file; tests keep apart by table names, not databases.
inline OdbcSandbox& SharedOdbcSandbox()
{
    static OdbcSandbox sandbox(PostgresServer::FromState());
    return sandbox;
}

} // namespace kel::test
