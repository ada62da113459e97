// The wrapper without a database server: its stored texts and connection
// string, the numeric conversion, the closed state, and a SQL Server login
// through the FreeTDS driver that finds nobody listening.
#include <KelDatabaseOleDB.h>
#include <KelException.h>

#include "DatabaseTestSupport.h"
#include "RaisedMessage.h"
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

namespace {

// The message of the CKelException that `action` raises ("" if none).
std::wstring ThrownMessage(const std::function<void()>& action)
{
    return kel::test::RaisedMessage(action, L"");
}

DB_NUMERIC Numeric(BYTE sign, std::initializer_list<BYTE> lowBytes)
{
    DB_NUMERIC value{};
    value.precision = 38;
    value.sign = sign;
    int i = 0;
    for (BYTE byte : lowBytes)
        value.val[i++] = byte;
    return value;
}

constexpr const wchar_t* kEmptyConnectionString =
    L"Provider=SQLOLEDB.1; Data Source=; User ID=; Password=; Persist Security Info=True; Initial Catalog=; "
    L"Use Procedure for Prepare=1; Auto Translate=True; Packet Size=4096; Use Encryption for Data=False; "
    L"Tag with column collation when possible=False";

} // namespace

TEST(KelDatabaseOleDBConnectionString, FillsTheFourTextsInOrder)
{
    CKelDatabaseOleDB database(L"db.example,1433", L"업무", L"sa", L"p;w");
    EXPECT_EQ(database.GetDbConnString(),
              L"Provider=SQLOLEDB.1; Data Source=db.example,1433; User ID=sa; Password=p;w; "
              L"Persist Security Info=True; Initial Catalog=업무; Use Procedure for Prepare=1; "
              L"Auto Translate=True; Packet Size=4096; Use Encryption for Data=False; "
              L"Tag with column collation when possible=False");
}

TEST(KelDatabaseOleDBConnectionString, AnyNullArgumentLeavesAllFourEmpty)
{
    CKelDatabaseOleDB noSource(nullptr, L"c", L"u", L"p");
    CKelDatabaseOleDB noCatalog(L"s", nullptr, L"u", L"p");
    CKelDatabaseOleDB noUser(L"s", L"c", nullptr, L"p");
    CKelDatabaseOleDB noPassword(L"s", L"c", L"u", nullptr);
    EXPECT_EQ(noSource.GetDbConnString(), kEmptyConnectionString);
    EXPECT_EQ(noCatalog.GetDbConnString(), kEmptyConnectionString);
    EXPECT_EQ(noUser.GetDbConnString(), kEmptyConnectionString);
    EXPECT_EQ(noPassword.GetDbConnString(), kEmptyConnectionString);
}

TEST(KelDatabaseOleDBNumeric, SignByteOneIsPositiveAnythingElseNegative)
{
    DB_NUMERIC five = Numeric(0, {5});
    DB_NUMERIC bytes = Numeric(1, {0x01, 0x02});
    DB_NUMERIC oddSign = Numeric(2, {7});
    DB_NUMERIC zero = Numeric(0, {});
    EXPECT_EQ(CKelDatabaseOleDB::DBNUMERIC2Long(&five), -5);
    EXPECT_EQ(CKelDatabaseOleDB::DBNUMERIC2Long(&bytes), 513);
    EXPECT_EQ(CKelDatabaseOleDB::DBNUMERIC2Long(&oddSign), -7);
    EXPECT_EQ(CKelDatabaseOleDB::DBNUMERIC2Long(&zero), 0);
}

TEST(KelDatabaseOleDBNumeric, IgnoresScale)
{
    DB_NUMERIC price = Numeric(1, {0xD2, 0x04}); // 1234 at scale 2 is 12.34
    price.scale = 2;
    EXPECT_EQ(CKelDatabaseOleDB::DBNUMERIC2Long(&price), 1234);
}

TEST(KelDatabaseOleDBNumeric, TheWhole32BitRangeConverts)
{
    DB_NUMERIC largest = Numeric(1, {0xFF, 0xFF, 0xFF, 0x7F});
    DB_NUMERIC smallest = Numeric(0, {0x00, 0x00, 0x00, 0x80});
    EXPECT_EQ(CKelDatabaseOleDB::DBNUMERIC2Long(&largest), 2147483647);
    EXPECT_EQ(CKelDatabaseOleDB::DBNUMERIC2Long(&smallest), -2147483647 - 1);
}

TEST(KelDatabaseOleDBNumeric, BeyondThe32BitRangeRaisesRatherThanWraps)
{
    DB_NUMERIC justOver = Numeric(1, {0x00, 0x00, 0x00, 0x80});
    DB_NUMERIC belowSmallest = Numeric(0, {0x01, 0x00, 0x00, 0x80});
    DB_NUMERIC highByte = Numeric(1, {1});
    highByte.val[15] = 1; // 2^120 + 1 would wrap to 1 in 32 bits
    DB_NUMERIC wrapsToSmall = Numeric(1, {0x05, 0x00, 0x00, 0x00, 0x01}); // 2^32 + 5
    for (DB_NUMERIC* value : {&justOver, &belowSmallest, &highByte, &wrapsToSmall}) {
        EXPECT_EQ(ThrownMessage([&] { CKelDatabaseOleDB::DBNUMERIC2Long(value); }),
                  L"KelException : The numeric value does not fit in a 32-bit integer");
    }
    EXPECT_EQ(ThrownMessage([] { CKelDatabaseOleDB::DBNUMERIC2Long(nullptr); }),
              L"KelException : No numeric value was given");
}

TEST(KelDatabaseOleDBClosed, StatementsBeforeOpenRaiseANotOpenMessage)
{
    CKelDatabaseOleDB database(L"s", L"c", L"u", L"p");
    CCommand<CDynamicAccessor, CRowset, CNoMultipleResults> single;
    CCommand<CDynamicAccessor, CRowset, CMultipleResults> multiple;
    const std::wstring notOpen = L"KelException : The database is not open: call Open before running a statement";
    EXPECT_EQ(ThrownMessage([&] { database.ExecNoResult(L"SELECT 1"); }), notOpen);
    EXPECT_EQ(ThrownMessage([&] { database.ExecResult(L"SELECT 1", &single); }), notOpen);
    EXPECT_EQ(ThrownMessage([&] { database.ExecResult(L"SELECT 1", &multiple); }), notOpen);
    EXPECT_EQ(single.MoveFirst(), E_UNEXPECTED);
    EXPECT_EQ(single.GetColumnCount(), 0u);
}

TEST(KelDatabaseOleDBClosed, CloseIsHarmlessWhenNothingIsOpen)
{
    CKelDatabaseOleDB database(L"s", L"c", L"u", L"p");
    database.Close();
    database.Close();
    EXPECT_NE(ThrownMessage([&] { database.ExecNoResult(L"SELECT 1"); }), L"");
}

TEST(KelDatabaseOleDBSqlServer, AServerNobodyListensOnRaisesTheDriversMessageNamingTheServer)
{
    kel::test::SharedOdbcSandbox(); // no data source of that name
    // Port 1 on loopback refuses at once; the name is no configured source,
    // so the FreeTDS driver is asked.
    CKelDatabaseOleDB database(L"127.0.0.1,1", L"master", L"sa", L"Secret-Password-123");
    std::wstring message = ThrownMessage([&] { database.Open(); });
    EXPECT_EQ(message.rfind(L"KelException : The SQL Server \"127.0.0.1,1\" could not be reached: [FreeTDS]", 0), 0u)
        << message;
    EXPECT_EQ(message.find(L"Secret-Password-123"), std::wstring::npos) << message;
    EXPECT_NE(ThrownMessage([&] { database.ExecNoResult(L"SELECT 1"); }), L"") << "a failed Open leaves it closed";
}

TEST(KelDatabaseOleDBSqlServer, AServerThatAcceptsAndNeverAnswersTimesOutInFifteenSeconds)
{
    kel::test::SharedOdbcSandbox();
    kel::test::SilentServer silent;
    const std::wstring server = L"127.0.0.1," + std::to_wstring(silent.Port());
    auto database = std::make_shared<CKelDatabaseOleDB>(server.c_str(), L"master", L"sa", L"Secret-Password-123");
    // Open runs on a thread of its own, so that a login that waits for ever
    // fails the test instead of hanging it.
    auto message = std::make_shared<std::promise<std::wstring>>();
    std::future<std::wstring> opened = message->get_future();
    const auto start = std::chrono::steady_clock::now();
    std::thread([database, message] { message->set_value(ThrownMessage([&] { database->Open(); })); }).detach();
    ASSERT_EQ(opened.wait_for(std::chrono::seconds(40)), std::future_status::ready) << "Open still waits after 40 s";
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 14.0);
    EXPECT_LE(seconds, 25.0);
    const std::wstring text = opened.get();
    EXPECT_EQ(text.rfind(L"KelException : The SQL Server \"" + server
                             + L"\" did not answer within the 15-second login time-out: [FreeTDS]",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find(L"Timeout expired"), std::wstring::npos) << "the driver's own text stays: " << text;
    EXPECT_EQ(text.find(L"Secret-Password-123"), std::wstring::npos) << text;
}

TEST(KelDatabaseOleDBSqlServer, ADataSourceNameThatIsConfiguredIsNotTakenForAServer)
{
    const kel::test::OdbcSandbox& sandbox = kel::test::SharedOdbcSandbox();
    CKelDatabaseOleDB database(kel::test::kSqliteDsn, L"", L"", L"");
    ASSERT_EQ(ThrownMessage([&] { database.Open(); }), L"");
    // The SQLite data source of that name answers (only SQLite knows this
    // function), and the table lands in its database file.
    CCommand<CDynamicAccessor, CRowset, CNoMultipleResults> command;
    database.ExecResult(L"SELECT sqlite_version()", &command);
    ASSERT_EQ(command.MoveFirst(), S_OK);
    EXPECT_EQ(command.GetValueText(1).Left(2), L"3.");
    database.ExecNoResult(L"CREATE TABLE IF NOT EXISTS kel_configured (a INTEGER)");
    EXPECT_NE(kel::test::ReadBytes(sandbox.sqliteFile()).find("CREATE TABLE kel_configured"), std::string::npos);
}

TEST(KelDatabaseOleDBOpen, NullStatementsAndCommandsRaiseInsteadOfCrashing)
{
    kel::test::SharedOdbcSandbox();
    CKelDatabaseOleDB database(kel::test::kSqliteDsn, L"", L"", L"");
    database.Open();
    using SingleCommand = CCommand<CDynamicAccessor, CRowset, CNoMultipleResults>;
    SingleCommand command;
    SingleCommand* noCommand = nullptr;
    EXPECT_EQ(ThrownMessage([&] { database.ExecNoResult(nullptr); }), L"KelException : No SQL statement was given");
    EXPECT_EQ(ThrownMessage([&] { database.ExecResult(nullptr, &command); }),
              L"KelException : No SQL statement was given");
    EXPECT_EQ(ThrownMessage([&] { database.ExecResult(L"SELECT 1", noCommand); }),
              L"KelException : No command was given for the query's rows");
    database.ExecResult(L"SELECT 1 AS one", &command);
    EXPECT_EQ(command.GetColumnName(0), nullptr) << "columns count from 1";
    EXPECT_EQ(command.GetValueText(1), L"") << "no row before the first move";
    ASSERT_EQ(command.MoveNext(), S_OK);
    EXPECT_EQ(command.GetValueText(1), L"1");
    EXPECT_EQ(command.GetValueText(2), L"");
}

TEST(KelDatabaseOleDBOpen, NumbersInTextReadAlikeWhateverTheLocalesDecimalPoint)
{
    // A program may run in its user's locale, where the decimal point can be
    // a comma; values from the database always write it as a point.
    kel::test::TempDir locales;
    std::string make = "localedef -i de_DE -f UTF-8 " + (locales / "de_DE.UTF-8") + " >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0)
        GTEST_SKIP() << "localedef (Debian package locales) cannot make a German locale";
    const char* locPath = std::getenv("LOCPATH");
    const std::string previousPath = locPath ? locPath : "";
    setenv("LOCPATH", locales.path().c_str(), 1);
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    if (locPath)
        setenv("LOCPATH", previousPath.c_str(), 1);
    else
        unsetenv("LOCPATH");
    ASSERT_TRUE(german);
    struct Restore {
        std::string locale;
        ~Restore() { std::setlocale(LC_NUMERIC, locale.c_str()); }
    } restore{previous};

    kel::test::SharedOdbcSandbox();
    CKelDatabaseOleDB database(kel::test::kSqliteDsn, L"", L"", L"");
    database.Open();
    CCommand<CDynamicAccessor, CRowset, CNoMultipleResults> command;
    database.ExecResult(L"SELECT '-12.25' AS price", &command);
    ASSERT_EQ(command.MoveFirst(), S_OK);
    double number = 0;
    EXPECT_TRUE(command.GetValueNumber(1, &number));
    EXPECT_EQ(number, -12.25);
}
