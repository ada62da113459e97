// The wrapper against real databases through their real ODBC drivers: SQLite
// (embedded, a file in a temporary folder) and PostgreSQL (the fixture's
// server on a private Unix socket). Each case runs on both.
#include <KelDatabaseOleDB.h>
#include <KelException.h>

#include "DatabaseTestSupport.h"
#include "RaisedMessage.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using SingleCommand = CCommand<CDynamicAccessor, CRowset, CNoMultipleResults>;
using MultipleCommand = CCommand<CDynamicAccessor, CRowset, CMultipleResults>;

struct Backend {
    std::string name;
    bool isPostgres;
};

void PrintTo(const Backend& backend, std::ostream* out)
{
    *out << backend.name;
}

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::wstring ThrownMessage(const std::function<void()>& action)
{
    return kel::test::RaisedMessage(action, L"");
}

bool Contains(const std::wstring& text, const std::wstring& part)
{
    return text.find(part) != std::wstring::npos;
}

class DatabaseBackendTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        if (postgres()) {
            m_server = kel::test::PostgresServer::FromState();
            ASSERT_TRUE(m_server) << "the PostgreSQL fixture (tests/support/postgres.sh) is not running";
        }
        kel::test::SharedOdbcSandbox();
        // Tests of one program may run side by side on the one server, so
        // each works in tables named after itself.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& ch : name)
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? static_cast<char>(std::tolower(ch)) : '_';
        m_table = L"kel_" + Widen(name);
        m_database = Connect();
        Drop(*m_database, m_table);
    }

    void TearDown() override
    {
        if (m_database)
            Drop(*m_database, m_table);
    }

    bool postgres() const { return GetParam().isPostgres; }

    std::unique_ptr<CKelDatabaseOleDB> Connect(const std::wstring& user = L"", const std::wstring& password = L"")
    {
        std::unique_ptr<CKelDatabaseOleDB> database;
        if (postgres()) {
            database = std::make_unique<CKelDatabaseOleDB>(
                kel::test::kPostgresDsn, L"", user.empty() ? Widen(m_server->user).c_str() : user.c_str(),
                user.empty() ? Widen(m_server->password).c_str() : password.c_str());
        } else {
            database = std::make_unique<CKelDatabaseOleDB>(kel::test::kSqliteDsn, L"", L"", L"");
        }
        database->Open();
        return database;
    }

    static void Drop(CKelDatabaseOleDB& database, const std::wstring& table)
    {
        database.ExecNoResult((L"DROP TABLE IF EXISTS " + table).c_str());
    }

    void Exec(const std::wstring& sql) { m_database->ExecNoResult(sql.c_str()); }

    // Every row of a one-column query, as text ("NULL" for NULL).
    std::vector<std::wstring> Column(CKelDatabaseOleDB& database, const std::wstring& sql)
    {
        SingleCommand command;
        database.ExecResult(sql.c_str(), &command);
        std::vector<std::wstring> rows;
        for (HRESULT hr = command.MoveFirst(); hr == S_OK; hr = command.MoveNext()) {
            DBSTATUS status = DBSTATUS_S_OK;
            EXPECT_TRUE(command.GetStatus(1, &status));
            rows.push_back(status == DBSTATUS_S_ISNULL ? L"NULL" : command.GetValueText(1).str());
        }
        command.Close();
        return rows;
    }
    std::vector<std::wstring> Column(const std::wstring& sql) { return Column(*m_database, sql); }

    std::optional<kel::test::PostgresServer> m_server;
    std::unique_ptr<CKelDatabaseOleDB> m_database;
    std::wstring m_table;
};

TEST_P(DatabaseBackendTest, EveryMappedColumnTypeReadsBackAsWritten)
{
    const std::wstring blob = postgres() ? L"'\\x00ff10'::bytea" : L"X'00FF10'";
    Exec(L"CREATE TABLE " + m_table + L" (id INTEGER PRIMARY KEY, small SMALLINT, big BIGINT, "
         + (postgres() ? L"real8 DOUBLE PRECISION, " : L"real8 DOUBLE, ") + L"price NUMERIC(10,2), flag BOOLEAN, "
         + L"name VARCHAR(100), note TEXT, day DATE, stamp TIMESTAMP, data "
         + (postgres() ? L"BYTEA)" : L"BLOB)"));
    Exec(L"INSERT INTO " + m_table + L" VALUES (7, -12, 9007199254740993, 2.5, -12.34, TRUE, 'name', "
         L"'note', '2024-02-29', '2024-02-29 13:45:10.5', " + blob + L")");

    SingleCommand command;
    m_database->ExecResult((L"SELECT * FROM " + m_table).c_str(), &command);
    ASSERT_EQ(command.GetColumnCount(), 11u);
    EXPECT_STREQ(command.GetColumnName(1), L"id");
    EXPECT_STREQ(command.GetColumnName(11), L"data");
    EXPECT_EQ(command.GetColumnName(12), nullptr);
    DBORDINAL ordinal = 0;
    EXPECT_TRUE(command.GetOrdinal(L"STAMP", &ordinal));
    EXPECT_EQ(ordinal, 10u);

    // SQLite keeps NUMERIC as a floating-point value and says so.
    const DBTYPE priceType = postgres() ? DBTYPE_NUMERIC : DBTYPE_R8;
    const DBTYPE expected[] = {DBTYPE_I4, DBTYPE_I2, DBTYPE_I8, DBTYPE_R8, priceType, DBTYPE_BOOL,
                               DBTYPE_WSTR, DBTYPE_WSTR, DBTYPE_DBDATE, DBTYPE_DBTIMESTAMP, DBTYPE_BYTES};
    for (DBORDINAL column = 1; column <= 11; ++column) {
        DBTYPE type = DBTYPE_EMPTY;
        EXPECT_TRUE(command.GetColumnType(column, &type));
        EXPECT_EQ(type, expected[column - 1]) << "column " << column;
    }

    ASSERT_EQ(command.MoveFirst(), S_OK);
    LONG id = 0;
    std::int16_t small = 0;
    LONGLONG big = 0;
    double real8 = 0;
    DBDATE day{};
    DBTIMESTAMP stamp{};
    EXPECT_TRUE(command.GetValue(1, &id));
    EXPECT_EQ(id, 7);
    EXPECT_FALSE(command.GetValue(1, &big)) << "a value is read only as its own type";
    EXPECT_TRUE(command.GetValue(2, &small));
    EXPECT_EQ(small, -12);
    EXPECT_TRUE(command.GetValue(3, &big));
    EXPECT_EQ(big, 9007199254740993LL);
    EXPECT_TRUE(command.GetValue(4, &real8));
    EXPECT_EQ(real8, 2.5);
    EXPECT_EQ(*static_cast<const VARIANT_BOOL*>(command.GetValue(6)), VARIANT_TRUE);
    EXPECT_STREQ(static_cast<const wchar_t*>(command.GetValue(7)), L"name");
    EXPECT_TRUE(command.GetValue(9, &day));
    EXPECT_EQ(day.year, 2024);
    EXPECT_EQ(day.month, 2);
    EXPECT_EQ(day.day, 29);
    EXPECT_TRUE(command.GetValue(10, &stamp));
    EXPECT_EQ(stamp.hour, 13);
    EXPECT_EQ(stamp.second, 10);
    EXPECT_EQ(stamp.fraction, 500000000u);

    DBLENGTH length = 0;
    EXPECT_TRUE(command.GetLength(11, &length));
    ASSERT_EQ(length, 3u);
    const BYTE* bytes = static_cast<const BYTE*>(command.GetValue(11));
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0xFF);
    EXPECT_EQ(bytes[2], 0x10);
    EXPECT_TRUE(command.GetLength(7, &length));
    EXPECT_EQ(length, 4 * sizeof(wchar_t));

    // The same values as text and as numbers.
    const wchar_t* texts[] = {L"7", L"-12", L"9007199254740993", L"2.5", L"-12.34", L"1", L"name", L"note",
                              L"2024-02-29", L"2024-02-29 13:45:10.5", L"00ff10"};
    for (DBORDINAL column = 1; column <= 11; ++column)
        EXPECT_EQ(command.GetValueText(column), texts[column - 1]) << "column " << column;
    LONGLONG whole = 0;
    double number = 0;
    EXPECT_TRUE(command.GetValueNumber(3, &whole));
    EXPECT_EQ(whole, 9007199254740993LL);
    EXPECT_TRUE(command.GetValueNumber(5, &number));
    EXPECT_DOUBLE_EQ(number, -12.34);
    EXPECT_FALSE(command.GetValueNumber(5, &whole)) << "-12.34 is no whole number";
    EXPECT_TRUE(command.GetValueNumber(6, &whole));
    EXPECT_EQ(whole, 1);
    EXPECT_FALSE(command.GetValueNumber(7, &number)) << "text that is no number";

    EXPECT_EQ(command.MoveNext(), DB_S_ENDOFROWSET);
    EXPECT_EQ(command.GetValue(1), nullptr) << "no row past the end";
    command.Close();
}

TEST_P(DatabaseBackendTest, TimesRealsAndLongBytesReadBackWhole)
{
    // Longer than one read chunk, so the value comes from the driver in pieces.
    std::wstring hex;
    for (int i = 0; i < 7000; ++i)
        hex += L"00ff1e";
    Exec(L"CREATE TABLE " + m_table + L" (r REAL, tm TIME, data " + (postgres() ? L"BYTEA)" : L"BLOB)"));
    Exec(L"INSERT INTO " + m_table + L" VALUES (0.25, '23:59:58', "
         + (postgres() ? L"'\\x" + hex + L"'::bytea)" : L"X'" + hex + L"')"));
    SingleCommand command;
    m_database->ExecResult((L"SELECT r, tm, data FROM " + m_table).c_str(), &command);
    DBTYPE type = DBTYPE_EMPTY;
    ASSERT_TRUE(command.GetColumnType(1, &type));
    EXPECT_EQ(type, postgres() ? DBTYPE_R4 : DBTYPE_R8) << "SQLite keeps REAL in double precision";
    ASSERT_TRUE(command.GetColumnType(2, &type));
    EXPECT_EQ(type, DBTYPE_DBTIME);
    ASSERT_EQ(command.MoveFirst(), S_OK);
    EXPECT_EQ(command.GetValueText(1), L"0.25");
    DBTIME time{};
    EXPECT_TRUE(command.GetValue(2, &time));
    EXPECT_EQ(time.hour, 23);
    EXPECT_EQ(time.minute, 59);
    EXPECT_EQ(time.second, 58);
    EXPECT_EQ(command.GetValueText(2), L"23:59:58");
    DBLENGTH length = 0;
    EXPECT_TRUE(command.GetLength(3, &length));
    EXPECT_EQ(length, 21000u);
    EXPECT_EQ(command.GetValueText(3).str(), hex);
}

TEST_P(DatabaseBackendTest, NullsReadAsNullInEveryForm)
{
    Exec(L"CREATE TABLE " + m_table + L" (id INTEGER, name VARCHAR(20), amount DOUBLE PRECISION, day DATE)");
    Exec(L"INSERT INTO " + m_table + L" VALUES (NULL, NULL, NULL, NULL)");
    SingleCommand command;
    m_database->ExecResult((L"SELECT * FROM " + m_table).c_str(), &command);
    ASSERT_EQ(command.MoveNext(), S_OK);
    for (DBORDINAL column = 1; column <= 4; ++column) {
        DBSTATUS status = DBSTATUS_S_OK;
        LONGLONG whole = 0;
        DBLENGTH length = 99;
        EXPECT_TRUE(command.GetStatus(column, &status));
        EXPECT_EQ(status, DBSTATUS_S_ISNULL) << "column " << column;
        EXPECT_EQ(command.GetValue(column), nullptr);
        EXPECT_EQ(command.GetValueText(column), L"");
        EXPECT_FALSE(command.GetValueNumber(column, &whole));
        EXPECT_TRUE(command.GetLength(column, &length));
        EXPECT_EQ(length, 0u);
    }
}

TEST_P(DatabaseBackendTest, KoreanTextAndNamesRoundTrip)
{
    const std::wstring korean = L"한글 텍스트: 가나다라 똠방각하 \U0001F600 끝";
    Exec(L"CREATE TABLE " + m_table + L" (id INTEGER, 이름 VARCHAR(200), note TEXT)");
    // Longer than one read chunk of the driver, so a value comes in pieces.
    std::wstring longText;
    while (longText.size() < 20000)
        longText += korean;
    Exec(L"INSERT INTO " + m_table + L" VALUES (1, '" + korean + L"', '" + longText + L"')");

    SingleCommand command;
    m_database->ExecResult((L"SELECT 이름, note, 이름 AS \"별칭\" FROM " + m_table + L" WHERE 이름 = '" + korean + L"'")
                               .c_str(),
                           &command);
    EXPECT_STREQ(command.GetColumnName(1), L"이름");
    EXPECT_STREQ(command.GetColumnName(3), L"별칭");
    ASSERT_EQ(command.MoveFirst(), S_OK);
    EXPECT_EQ(command.GetValueText(1), korean.c_str());
    EXPECT_EQ(command.GetValueText(2).str(), longText);
    EXPECT_EQ(command.GetValueText(3), korean.c_str());
}

TEST_P(DatabaseBackendTest, ASyntaxErrorRaisesTheDriversMessageAndLeavesNoTransactionOpen)
{
    Exec(L"CREATE TABLE " + m_table + L" (id INTEGER)");
    std::wstring message = ThrownMessage([&] { Exec(L"INSERT INTO " + m_table + L" VALUS (1)"); });
    EXPECT_EQ(message.rfind(L"KelException : ", 0), 0u) << message;
    EXPECT_TRUE(Contains(message, L"syntax error")) << message;

    // Back in autocommit: a row inserted outside ExecNoResult is committed
    // at once, so another connection sees it.
    SingleCommand insert;
    m_database->ExecResult((L"INSERT INTO " + m_table + L" VALUES (1)").c_str(), &insert);
    insert.Close();
    auto other = Connect();
    EXPECT_EQ(Column(*other, L"SELECT id FROM " + m_table), std::vector<std::wstring>{L"1"});
    // And the next statement of the wrapper itself succeeds.
    EXPECT_NO_THROW(Exec(L"INSERT INTO " + m_table + L" VALUES (2)"));
    EXPECT_EQ(Column(*other, L"SELECT id FROM " + m_table + L" ORDER BY id"), (std::vector<std::wstring>{L"1", L"2"}));
}

TEST_P(DatabaseBackendTest, AQuerySyntaxErrorRaisesTheDriversMessage)
{
    SingleCommand command;
    std::wstring message = ThrownMessage([&] { m_database->ExecResult(L"SELEC 1", &command); });
    EXPECT_TRUE(Contains(message, L"syntax error")) << message;
    EXPECT_EQ(command.MoveFirst(), E_UNEXPECTED) << "nothing stays open after a failed query";
}

TEST_P(DatabaseBackendTest, AConstraintViolationRollsTheWholeStatementBack)
{
    Exec(L"CREATE TABLE " + m_table + L" (id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL)");
    Exec(L"INSERT INTO " + m_table + L" VALUES (1, 'one')");
    std::wstring duplicate = ThrownMessage([&] { Exec(L"INSERT INTO " + m_table + L" VALUES (2, 'two'), (1, 'again')"); });
    EXPECT_TRUE(Contains(duplicate, postgres() ? L"duplicate key" : L"UNIQUE constraint failed")) << duplicate;
    std::wstring missing = ThrownMessage([&] { Exec(L"INSERT INTO " + m_table + L" VALUES (3, NULL)"); });
    EXPECT_TRUE(Contains(missing, postgres() ? L"null value" : L"NOT NULL constraint failed")) << missing;
    EXPECT_EQ(Column(L"SELECT id FROM " + m_table + L" ORDER BY id"), std::vector<std::wstring>{L"1"});
}

TEST_P(DatabaseBackendTest, StatementsThatChangeNothingSucceed)
{
    Exec(L"CREATE TABLE " + m_table + L" (id INTEGER)");
    EXPECT_NO_THROW(Exec(L"UPDATE " + m_table + L" SET id = 2 WHERE id = 1"));
    EXPECT_NO_THROW(Exec(L"DELETE FROM " + m_table));
}

TEST_P(DatabaseBackendTest, AFailedLoginRaisesTheDriversMessage)
{
    std::wstring message;
    if (postgres()) {
        message = ThrownMessage([&] { Connect(Widen(m_server->user), L"wrong-password-42"); });
        EXPECT_TRUE(Contains(message, L"password authentication failed")) << message;
        EXPECT_FALSE(Contains(message, L"wrong-password-42")) << message;
    } else {
        // SQLite has no login; the nearest failure is a database it cannot
        // open, named through the Initial Catalog.
        CKelDatabaseOleDB database(kel::test::kSqliteDsn, L"/nonexistent-folder/none.sqlite", L"", L"");
        message = ThrownMessage([&] { database.Open(); });
        EXPECT_TRUE(Contains(message, L"[SQLite]connect failed")) << message;
    }
    EXPECT_EQ(message.rfind(L"KelException : ", 0), 0u) << message;
}

TEST_P(DatabaseBackendTest, MultipleResultsAreReachedWhereTheDriverOffersThem)
{
    const std::wstring batch = L"SELECT 1 AS a; SELECT 'x' AS b, 2 AS c";
    MultipleCommand command;
    if (!postgres()) {
        std::wstring message = ThrownMessage([&] { m_database->ExecResult(batch.c_str(), &command); });
        EXPECT_TRUE(Contains(message, L"only one SQL statement")) << message;
        return;
    }
    m_database->ExecResult(batch.c_str(), &command);
    ASSERT_EQ(command.GetColumnCount(), 1u);
    ASSERT_EQ(command.MoveFirst(), S_OK);
    EXPECT_EQ(command.GetValueText(1), L"1");
    DBROWCOUNT rows = 0;
    ASSERT_EQ(command.GetNextResult(&rows), S_OK);
    ASSERT_EQ(command.GetColumnCount(), 2u);
    EXPECT_STREQ(command.GetColumnName(1), L"b");
    ASSERT_EQ(command.MoveNext(), S_OK);
    EXPECT_EQ(command.GetValueText(1), L"x");
    EXPECT_EQ(command.GetValueText(2), L"2");
    EXPECT_EQ(command.GetNextResult(&rows), DB_S_NORESULT);
    EXPECT_EQ(command.GetColumnCount(), 0u);

    // The single-result form reads the first result only.
    EXPECT_EQ(Column(batch), std::vector<std::wstring>{L"1"});
}

TEST_P(DatabaseBackendTest, MoveFirstReadsTheRowsAgain)
{
    Exec(L"CREATE TABLE " + m_table + L" (id INTEGER)");
    for (int i = 1; i <= 3; ++i)
        Exec(L"INSERT INTO " + m_table + L" VALUES (" + std::to_wstring(i) + L")");
    SingleCommand command;
    m_database->ExecResult((L"SELECT id FROM " + m_table + L" ORDER BY id").c_str(), &command);
    for (int pass = 0; pass < 2; ++pass) {
        std::wstring seen;
        for (HRESULT hr = command.MoveFirst(); hr == S_OK; hr = command.MoveNext())
            seen += command.GetValueText(1).str();
        EXPECT_EQ(seen, L"123") << "pass " << pass;
    }
    // Opening the command again replaces its rows.
    m_database->ExecResult((L"SELECT COUNT(*) FROM " + m_table).c_str(), &command);
    ASSERT_EQ(command.MoveNext(), S_OK);
    EXPECT_EQ(command.GetValueText(1), L"3");
}

TEST_P(DatabaseBackendTest, ACommandOutlivingItsDatabaseHasNoRows)
{
    Exec(L"CREATE TABLE " + m_table + L" (id INTEGER)");
    Exec(L"INSERT INTO " + m_table + L" VALUES (1)");
    SingleCommand command;
    {
        auto database = Connect();
        database->ExecResult((L"SELECT id FROM " + m_table).c_str(), &command);
        database->Close();
        EXPECT_EQ(command.MoveFirst(), E_UNEXPECTED);
        EXPECT_NE(ThrownMessage([&] { database->ExecNoResult(L"SELECT 1"); }), L"") << "closed after Close";
        database->Open();
        database->ExecResult((L"SELECT id FROM " + m_table).c_str(), &command);
        database->Open(); // opening again drops the old connection and its rows
        EXPECT_EQ(command.MoveFirst(), E_UNEXPECTED);
        database->ExecResult((L"SELECT id FROM " + m_table).c_str(), &command);
    } // the database goes while the command still holds rows
    EXPECT_EQ(command.MoveFirst(), E_UNEXPECTED);
    EXPECT_EQ(command.GetColumnCount(), 0u);
}

TEST_P(DatabaseBackendTest, CharactersBeyondTheBasicPlaneSurviveTheChunkBoundary)
{
    // A long value reaches the wrapper in pieces; a character written as a
    // surrogate pair must not be cut in two where one piece ends, whichever
    // half of the pair the end falls on.
    Exec(L"CREATE TABLE " + m_table + L" (id INTEGER, note TEXT)");
    std::vector<std::wstring> values;
    for (int shift = 0; shift < 2; ++shift) {
        values.push_back(std::wstring(4093 + shift, L'a') + L"\U0001F600\U0001F600b");
        Exec(L"INSERT INTO " + m_table + L" VALUES (" + std::to_wstring(shift) + L", '" + values.back() + L"')");
    }
    std::vector<std::wstring> read = Column(L"SELECT note FROM " + m_table + L" ORDER BY id");
    ASSERT_EQ(read.size(), 2u);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_TRUE(read[i] == values[i]) << "value " << i << ": " << read[i].size() << " characters read";
}

TEST_P(DatabaseBackendTest, IntegersArriveWholeOrFlaggedNeverWrapped)
{
    SingleCommand command;
    if (postgres()) {
        // oid is unsigned 32-bit: the driver says so, and every value needs
        // 64 bits.
        m_database->ExecResult(L"SELECT CAST(3000000000 AS oid), CAST(4294967295 AS oid), CAST(2147483647 AS int4), "
                               L"CAST(-32768 AS int2)", &command);
        DBTYPE type = DBTYPE_EMPTY;
        ASSERT_TRUE(command.GetColumnType(1, &type));
        EXPECT_EQ(type, DBTYPE_I8);
        ASSERT_EQ(command.MoveFirst(), S_OK);
        LONGLONG big = 0;
        EXPECT_TRUE(command.GetValue(1, &big));
        EXPECT_EQ(big, 3000000000LL);
        EXPECT_TRUE(command.GetValue(2, &big));
        EXPECT_EQ(big, 4294967295LL);
        EXPECT_EQ(command.GetValueText(2), L"4294967295");
        LONG whole = 0;
        EXPECT_TRUE(command.GetValue(3, &whole));
        EXPECT_EQ(whole, 2147483647);
        std::int16_t small = 0;
        EXPECT_TRUE(command.GetValue(4, &small));
        EXPECT_EQ(small, -32768);
        return;
    }
    // SQLite keeps 64 bits in any integer column, and its driver describes
    // INTEGER as 32-bit and SMALLINT as 16-bit.
    Exec(L"CREATE TABLE " + m_table + L" (id INTEGER, count INTEGER, small SMALLINT)");
    Exec(L"INSERT INTO " + m_table + L" VALUES (1, 5000000000, 70000), (2, -5000000000, -32768), "
         L"(3, 2147483647, 32767), (4, 9223372036854775807, -32769)");
    m_database->ExecResult((L"SELECT count, small FROM " + m_table + L" ORDER BY id").c_str(), &command);
    DBTYPE type = DBTYPE_EMPTY;
    ASSERT_TRUE(command.GetColumnType(1, &type));
    EXPECT_EQ(type, DBTYPE_I4);
    const wchar_t* counts[] = {L"5000000000", L"-5000000000", L"2147483647", L"9223372036854775807"};
    const wchar_t* smalls[] = {L"70000", L"-32768", L"32767", L"-32769"};
    const bool countFits[] = {false, false, true, false};
    const bool smallFits[] = {false, true, true, false};
    int row = 0;
    for (HRESULT hr = command.MoveFirst(); hr == S_OK; hr = command.MoveNext(), ++row) {
        ASSERT_LT(row, 4);
        DBSTATUS status = DBSTATUS_S_OK;
        LONG count = 0;
        LONGLONG whole = 0;
        EXPECT_TRUE(command.GetStatus(1, &status));
        EXPECT_EQ(status, countFits[row] ? DBSTATUS_S_OK : DBSTATUS_E_DATAOVERFLOW) << "row " << row;
        EXPECT_EQ(command.GetValue(1, &count), countFits[row]) << "row " << row << " reads " << count;
        EXPECT_EQ(command.GetValueText(1), counts[row]);
        EXPECT_TRUE(command.GetValueNumber(1, &whole));
        EXPECT_EQ(std::to_wstring(whole), counts[row]);
        std::int16_t small = 0;
        EXPECT_TRUE(command.GetStatus(2, &status));
        EXPECT_EQ(status, smallFits[row] ? DBSTATUS_S_OK : DBSTATUS_E_DATAOVERFLOW) << "row " << row;
        EXPECT_EQ(command.GetValue(2, &small), smallFits[row]) << "row " << row << " reads " << small;
        EXPECT_EQ(command.GetValueText(2), smalls[row]);
    }
    EXPECT_EQ(row, 4);
}

TEST_P(DatabaseBackendTest, RowsReadInBlocksKeepEveryValueWhole)
{
    // More rows than one block holds, with NULLs, text longer in UTF-16
    // than its column's size (four characters beyond the basic plane), and
    // text too long to bind, read between bound columns of the same row.
    Exec(L"CREATE TABLE " + m_table + L" (id INTEGER, code VARCHAR(4), amount DOUBLE PRECISION, note TEXT)");
    const std::wstring wide = L"\U0001F600\U0001F601\U0001F602\U0001F603";
    const std::wstring longNote(5000, L'n');
    auto code = [&](int id) { return id % 3 == 0 ? std::wstring() : id % 3 == 1 ? std::wstring(L"ab") : wide; };
    auto note = [&](int id) { return id % 50 == 0 ? longNote + std::to_wstring(id) : L"note " + std::to_wstring(id); };
    const int rows = 150;
    std::wstring insert = L"INSERT INTO " + m_table + L" VALUES ";
    for (int id = 0; id < rows; ++id) {
        insert += id ? L", (" : L"(";
        insert += std::to_wstring(id) + L", " + (code(id).empty() ? L"NULL" : L"'" + code(id) + L"'") + L", "
            + (id % 7 == 0 ? L"NULL" : std::to_wstring(id) + L".25") + L", '" + note(id) + L"')";
    }
    Exec(insert);

    SingleCommand command;
    m_database->ExecResult((L"SELECT id, code, amount, note FROM " + m_table + L" ORDER BY id").c_str(), &command);
    for (int pass = 0; pass < 2; ++pass) {
        int id = 0;
        for (HRESULT hr = command.MoveFirst(); hr == S_OK; hr = command.MoveNext(), ++id) {
            ASSERT_LT(id, rows);
            EXPECT_EQ(command.GetValueText(1), std::to_wstring(id).c_str());
            DBSTATUS status = DBSTATUS_S_OK;
            EXPECT_TRUE(command.GetStatus(2, &status));
            EXPECT_EQ(status, code(id).empty() ? DBSTATUS_S_ISNULL : DBSTATUS_S_OK) << "row " << id;
            EXPECT_EQ(command.GetValueText(2), code(id).c_str()) << "row " << id;
            double amount = 0;
            EXPECT_EQ(command.GetValueNumber(3, &amount), id % 7 != 0) << "row " << id;
            if (id % 7 != 0) {
                EXPECT_EQ(amount, id + 0.25);
            }
            EXPECT_TRUE(command.GetValueText(4).str() == note(id)) << "row " << id;
        }
        EXPECT_EQ(id, rows) << "pass " << pass;
    }

    // Fixed-size columns only: every value bound, whatever the driver can
    // read beside them.
    m_database->ExecResult((L"SELECT id, amount FROM " + m_table + L" ORDER BY id").c_str(), &command);
    int id = 0;
    for (HRESULT hr = command.MoveFirst(); hr == S_OK; hr = command.MoveNext(), ++id) {
        LONG read = -1;
        EXPECT_TRUE(command.GetValue(1, &read));
        EXPECT_EQ(read, id);
        DBSTATUS status = DBSTATUS_S_OK;
        EXPECT_TRUE(command.GetStatus(2, &status));
        EXPECT_EQ(status, id % 7 == 0 ? DBSTATUS_S_ISNULL : DBSTATUS_S_OK) << "row " << id;
    }
    EXPECT_EQ(id, rows);
}

// Cases for what only the PostgreSQL server offers: exact numerics (SQLite
// keeps NUMERIC as floating point), logins, and batches of statements.
class PostgresOnlyTest : public DatabaseBackendTest {};

TEST_P(PostgresOnlyTest, ExactNumericsConvertThroughDBNUMERIC2Long)
{
    SingleCommand command;
    m_database->ExecResult(L"SELECT CAST(12.34 AS NUMERIC(10,2)), CAST(-2147483648 AS NUMERIC(12,0)), "
                           L"CAST(99999999999 AS NUMERIC(12,0)), CAST(0.001 AS NUMERIC(6,4))", &command);
    ASSERT_EQ(command.MoveFirst(), S_OK);
    DB_NUMERIC price{}, smallest{}, tooBig{}, fraction{};
    ASSERT_TRUE(command.GetValue(1, &price));
    ASSERT_TRUE(command.GetValue(2, &smallest));
    ASSERT_TRUE(command.GetValue(3, &tooBig));
    ASSERT_TRUE(command.GetValue(4, &fraction));
    EXPECT_EQ(price.scale, 2);
    EXPECT_EQ(price.sign, 1);
    EXPECT_EQ(CKelDatabaseOleDB::DBNUMERIC2Long(&price), 1234);
    EXPECT_EQ(CKelDatabaseOleDB::DBNUMERIC2Long(&smallest), -2147483647 - 1);
    EXPECT_NE(ThrownMessage([&] { CKelDatabaseOleDB::DBNUMERIC2Long(&tooBig); }), L"");
    EXPECT_EQ(fraction.scale, 4) << "the driver writes 0.0010";
    EXPECT_EQ(CKelDatabaseOleDB::DBNUMERIC2Long(&fraction), 10);

    // Beyond the 38 digits of the structure: marked, and still there as text.
    const std::wstring huge = L"1234567890123456789012345678901234567890.5";
    m_database->ExecResult((L"SELECT CAST(" + huge + L" AS NUMERIC)").c_str(), &command);
    ASSERT_EQ(command.MoveFirst(), S_OK);
    DBSTATUS status = DBSTATUS_S_OK;
    EXPECT_TRUE(command.GetStatus(1, &status));
    EXPECT_EQ(status, DBSTATUS_E_DATAOVERFLOW);
    EXPECT_FALSE(command.GetValue(1, &price));
    EXPECT_EQ(command.GetValueText(1), huge.c_str());
}

TEST_P(PostgresOnlyTest, PasswordsWithSeparatorsCannotInjectConnectionKeys)
{
    const std::wstring role = m_table + L"_role";
    const std::wstring password = L"a;b}c{=d;DSN=Other";
    Exec(L"DROP ROLE IF EXISTS " + role);
    Exec(L"CREATE ROLE " + role + L" LOGIN PASSWORD '" + password + L"'");
    EXPECT_NO_THROW(Connect(role, password));
    EXPECT_FALSE(ThrownMessage([&] { Connect(role, L"a"); }).empty()) << "only the whole password logs in";
    Exec(L"DROP ROLE " + role);
}

TEST_P(PostgresOnlyTest, ABatchThatFailsPartWayIsRolledBackWhole)
{
    Exec(L"CREATE TABLE " + m_table + L" (id INTEGER PRIMARY KEY)");
    Exec(L"INSERT INTO " + m_table + L" VALUES (1)");
    std::wstring message = ThrownMessage(
        [&] { Exec(L"INSERT INTO " + m_table + L" VALUES (2); INSERT INTO " + m_table + L" VALUES (1)"); });
    EXPECT_TRUE(Contains(message, L"duplicate key")) << message;
    EXPECT_EQ(Column(L"SELECT id FROM " + m_table), std::vector<std::wstring>{L"1"}) << "row 2 went with the batch";
}

TEST_P(PostgresOnlyTest, MoveFirstDoesNotRunAStatementThatChangesDataAgain)
{
    Exec(L"CREATE TABLE " + m_table + L" (id INTEGER)");
    SingleCommand command;
    m_database->ExecResult((L"INSERT INTO " + m_table + L" VALUES (4) RETURNING id").c_str(), &command);
    ASSERT_EQ(command.MoveFirst(), S_OK);
    EXPECT_EQ(command.GetValueText(1), L"4");
    EXPECT_EQ(command.MoveFirst(), E_FAIL);
    EXPECT_NE(command.GetErrorText(), L"");
    command.Close();
    EXPECT_EQ(Column(L"SELECT COUNT(*) FROM " + m_table), std::vector<std::wstring>{L"1"});
}

TEST_P(PostgresOnlyTest, MoveFirstDoesNotRunQueriesThatHideAChangeAgain)
{
    // A WITH statement may hold an INSERT, UPDATE or DELETE: running it
    // again to go back to the first row would change the data twice.
    Exec(L"CREATE TABLE " + m_table + L" (id INTEGER)");
    SingleCommand command;
    m_database->ExecResult((L"WITH added AS (INSERT INTO " + m_table + L" VALUES (4) RETURNING id) "
                            L"SELECT id FROM added").c_str(),
                           &command);
    ASSERT_EQ(command.MoveFirst(), S_OK);
    EXPECT_EQ(command.MoveFirst(), E_FAIL);
    // Nor a batch whose later statements change data.
    m_database->ExecResult((L"SELECT 1; INSERT INTO " + m_table + L" VALUES (6)").c_str(), &command);
    ASSERT_EQ(command.MoveFirst(), S_OK);
    EXPECT_EQ(command.MoveFirst(), E_FAIL);
    // Nor a statement behind a comment that names a query.
    m_database->ExecResult((L"/* SELECT */ INSERT INTO " + m_table + L" VALUES (5) RETURNING id").c_str(), &command);
    ASSERT_EQ(command.MoveFirst(), S_OK);
    EXPECT_EQ(command.MoveFirst(), E_FAIL);
    command.Close();
    EXPECT_EQ(Column(L"SELECT COUNT(*) FROM " + m_table), std::vector<std::wstring>{L"3"});
}

TEST_P(PostgresOnlyTest, AFailedMoveFirstLeavesNoRowToRead)
{
    Exec(L"CREATE TABLE " + m_table + L" (id INTEGER)");
    Exec(L"INSERT INTO " + m_table + L" VALUES (7)");
    SingleCommand command;
    m_database->ExecResult((L"SELECT id FROM " + m_table).c_str(), &command);
    ASSERT_EQ(command.MoveFirst(), S_OK);
    Drop(*Connect(), m_table); // the query cannot run again
    EXPECT_EQ(command.MoveFirst(), E_FAIL);
    EXPECT_EQ(command.GetValue(1), nullptr) << "the row read before the failure is gone";
    EXPECT_EQ(command.GetValueText(1), L"");
}

std::string BackendName(const ::testing::TestParamInfo<Backend>& info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Drivers, DatabaseBackendTest,
                         ::testing::Values(Backend{"Sqlite", false}, Backend{"Postgres", true}), BackendName);
INSTANTIATE_TEST_SUITE_P(Drivers, PostgresOnlyTest, ::testing::Values(Backend{"Postgres", true}), BackendName);

} // namespace
