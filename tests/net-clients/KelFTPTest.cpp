// CKelFTP against real FTP servers on 127.0.0.1: pyftpdlib (with faults on
// demand), vsftpd, a listener that never answers and a port nobody listens on.
#include "KelException.h"
#include "KelFTP.h"
#include "ServerProcess.h"
#include "TestSupport.h"
#include "RaisedMessage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/file.h>
#include <thread>

using kel::test::CaughtMessage;

using kel::test::PyFtpServer;
using kel::test::ReadBytes;
using kel::test::TempDir;
using kel::test::WriteBytes;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string RandomBytes(size_t length, unsigned seed = 7)
{
    std::mt19937 generator(seed);
    std::string bytes(length, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator());
    return bytes;
}

// FNV-1a, 64 bits: enough to tell two 50 MB files apart.
uint64_t Digest(const std::string& bytes)
{
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char byte : bytes)
        hash = (hash ^ byte) * 1099511628211ull;
    return hash;
}

// Equal bytes, reported by size and digest rather than by content.
testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected)
{
    if (actual == expected)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "got " << actual.size() << " bytes (digest " << Digest(actual) << "), expected "
                                       << expected.size() << " bytes (digest " << Digest(expected) << ")";
}

// Records every hook call in order, as "wait" or "up|down bytes index total".
class RecordingFTP : public CKelFTP {
public:
    using CKelFTP::SetTimeout;

    std::vector<std::string> events;
    std::vector<std::wstring> paths; // source and destination of the last hook call
    bool record = true;

protected:
    void vDownloadState(const DWORD& bytes, const DWORD& index, const ULONGLONG& total, const wchar_t* remote,
                        const wchar_t* local) override
    {
        Record("down", bytes, index, total, remote, local);
        // The chunk must be on disk by the time its hook reports it, in the
        // file being written beside the target (a device such as /dev/null
        // is written straight and has no size to look at).
        const std::filesystem::path target(local);
        std::uintmax_t onDisk = 0;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(target.parent_path(), error))
            if (entry.path().filename().string().find(target.filename().string()) != std::string::npos)
                onDisk = std::max(onDisk, entry.file_size(error));
        if (record && target.parent_path() != "/dev" && onDisk < ULONGLONG(index) * kChunkSize + bytes)
            events.push_back("chunk " + std::to_string(index) + " not yet written");
    }
    void vUploadState(const DWORD& bytes, const DWORD& index, const ULONGLONG& total, const wchar_t* local,
                      const wchar_t* remote) override
    {
        Record("up", bytes, index, total, local, remote);
    }
    // No pause: the tests check the order of calls, not the pacing.
    void vWaitForSpeedBalance() override
    {
        if (record)
            events.push_back("wait");
    }

private:
    void Record(const char* kind, DWORD bytes, DWORD index, ULONGLONG total, const wchar_t* from, const wchar_t* to)
    {
        if (record)
            events.push_back(std::string(kind) + " " + std::to_string(bytes) + " " + std::to_string(index) + " "
                             + std::to_string(total));
        paths = {from, to};
    }
};

class FtpClient : public testing::Test {
protected:
    void Connect(RecordingFTP& client, int passive = 1)
    {
        client.Connection(L"127.0.0.1", L"kel", L"secret", server.Port(), passive);
    }
    std::string Local(const std::string& name) { return local / name; }
    std::string Remote(const std::string& name) { return server.Root() + "/" + name; }

    PyFtpServer server;
    TempDir local;
    RecordingFTP client;
};

// Chunks travel in pieces of up to 16: the pause before each chunk's read
// (and before the read that finds the end), then, once the piece has been
// written, the hook of each of its chunks.
std::vector<std::string> Expected(const char* kind, const std::vector<std::pair<int, int>>& chunks, size_t total)
{
    constexpr size_t kPiece = 16;
    std::vector<std::string> events;
    for (size_t first = 0;; first += kPiece) {
        const size_t end = std::min(first + kPiece, chunks.size());
        events.insert(events.end(), end - first, "wait");
        if (end - first < kPiece)
            events.push_back("wait");
        for (size_t chunk = first; chunk < end; ++chunk)
            events.push_back(std::string(kind) + " " + std::to_string(chunks[chunk].first) + " "
                             + std::to_string(chunks[chunk].second) + " " + std::to_string(total));
        if (end - first < kPiece)
            return events;
    }
}

// Full chunks of 4096 bytes and a last one of what is left.
std::vector<std::pair<int, int>> ChunksOf(size_t size)
{
    std::vector<std::pair<int, int>> chunks;
    for (size_t at = 0; at < size; at += CKelFTP::kChunkSize)
        chunks.emplace_back(static_cast<int>(std::min<size_t>(CKelFTP::kChunkSize, size - at)),
                            static_cast<int>(chunks.size()));
    return chunks;
}

} // namespace

TEST_F(FtpClient, UploadAndDownloadKeepEveryByteAndCallTheHooksPerChunk)
{
    const std::vector<std::pair<size_t, std::vector<std::pair<int, int>>>> cases = {
        {0, {}},
        {5000, {{4096, 0}, {904, 1}}},
        {8192, {{4096, 0}, {4096, 1}}},
        {10000, {{4096, 0}, {4096, 1}, {1808, 2}}},
        {16 * 4096, ChunksOf(16 * 4096)},       // one whole piece, then the end
        {33 * 4096 + 7, ChunksOf(33 * 4096 + 7)}, // three pieces
    };
    Connect(client);
    for (const auto& [size, chunks] : cases) {
        SCOPED_TRACE(size);
        const std::string bytes = RandomBytes(size, static_cast<unsigned>(size));
        const std::string name = "file-" + std::to_string(size) + ".bin";
        WriteBytes(Local(name), bytes);

        client.events.clear();
        client.Upload(Wide(Local(name)).c_str(), Wide(name).c_str(), CKelFTP::kTransferBinary);
        EXPECT_EQ(client.events, Expected("up", chunks, size));
        EXPECT_TRUE(SameBytes(ReadBytes(Remote(name)), bytes));
        if (size > 0) {
            EXPECT_THAT(client.paths, ElementsAre(Wide(Local(name)), Wide(name)));
        }

        client.events.clear();
        client.Download(Wide(name).c_str(), Wide(Local("back-" + name)).c_str(), CKelFTP::kTransferBinary);
        EXPECT_EQ(client.events, Expected("down", chunks, size));
        EXPECT_TRUE(SameBytes(ReadBytes(Local("back-" + name)), bytes));
    }
    EXPECT_TRUE(client.IsConnected());
    client.Close();
    client.Close();
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(FtpClient, TextTypeCopiesBytesUnchangedToo)
{
    const std::string bytes = "line one\r\nline two\nthree\r\x1a\xff";
    WriteBytes(Local("text.txt"), bytes);
    Connect(client);
    client.Upload(Wide(Local("text.txt")).c_str(), L"text.txt", CKelFTP::kTransferText);
    client.Download(L"text.txt", Wide(Local("back.txt")).c_str(), CKelFTP::kTransferText);
    EXPECT_TRUE(SameBytes(ReadBytes(Remote("text.txt")), bytes));
    EXPECT_TRUE(SameBytes(ReadBytes(Local("back.txt")), bytes));
}

TEST_F(FtpClient, FiftyMegabytesTravelBothWaysIntact)
{
    const std::string bytes = RandomBytes(50u << 20);
    WriteBytes(Local("big.bin"), bytes);
    client.record = false;
    Connect(client);
    client.Upload(Wide(Local("big.bin")).c_str(), L"big.bin", CKelFTP::kTransferBinary);
    client.Download(L"big.bin", Wide(Local("big-back.bin")).c_str(), CKelFTP::kTransferBinary);
    const std::string uploaded = ReadBytes(Remote("big.bin"));
    const std::string downloaded = ReadBytes(Local("big-back.bin"));
    EXPECT_EQ(uploaded.size(), bytes.size());
    EXPECT_EQ(Digest(uploaded), Digest(bytes));
    EXPECT_EQ(downloaded.size(), bytes.size());
    EXPECT_EQ(Digest(downloaded), Digest(bytes));
}

TEST_F(FtpClient, UploadMakesTheLastFolderLevelOnlyAndFailsBeyondIt)
{
    std::filesystem::create_directories(Remote("exists"));
    WriteBytes(Local("a.bin"), "payload");
    Connect(client);

    client.Upload(Wide(Local("a.bin")).c_str(), L"/exists/a.bin", CKelFTP::kTransferBinary);
    EXPECT_EQ(ReadBytes(Remote("exists/a.bin")), "payload");

    // The folder change stays in force: a relative path now lands in /exists.
    client.Upload(Wide(Local("a.bin")).c_str(), L"relative.bin", CKelFTP::kTransferBinary);
    EXPECT_EQ(ReadBytes(Remote("exists/relative.bin")), "payload");

    client.Upload(Wide(Local("a.bin")).c_str(), L"/missing/a.bin", CKelFTP::kTransferBinary);
    EXPECT_EQ(ReadBytes(Remote("missing/a.bin")), "payload");

    const std::wstring message = CaughtMessage(
        [&] { client.Upload(Wide(Local("a.bin")).c_str(), L"/one/two/a.bin", CKelFTP::kTransferBinary); });
    EXPECT_THAT(message, HasSubstr(L"KelException : An extended error was returned from the server."));
    EXPECT_THAT(message, HasSubstr(L"550"));
    EXPECT_FALSE(std::filesystem::exists(Remote("one")));
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(FtpClient, ARelativePathIntoAnExistingFolderLandsInThatFolder)
{
    std::filesystem::create_directories(Remote("exists"));
    WriteBytes(Local("a.bin"), "payload");
    Connect(client);
    client.Upload(Wide(Local("a.bin")).c_str(), L"exists/a.bin", CKelFTP::kTransferBinary);
    EXPECT_EQ(ReadBytes(Remote("exists/a.bin")), "payload");
    EXPECT_FALSE(std::filesystem::exists(Remote("exists/exists")));
}

TEST_F(FtpClient, ADownloadCanGoToADevice)
{
    WriteBytes(Remote("a.bin"), RandomBytes(5000));
    Connect(client);
    client.Download(L"a.bin", L"/dev/null", CKelFTP::kTransferBinary);
    EXPECT_EQ(client.events, Expected("down", {{4096, 0}, {904, 1}}, 5000));
}

TEST_F(FtpClient, TransfersNeedAConnection)
{
    WriteBytes(Local("a.bin"), "x");
    const std::wstring noConnection = L"KelException : Connection이 없습니다.";
    EXPECT_EQ(CaughtMessage([&] { client.Upload(Wide(Local("a.bin")).c_str(), L"a.bin", 2); }), noConnection);
    EXPECT_EQ(CaughtMessage([&] { client.Download(L"a.bin", Wide(Local("b.bin")).c_str(), 2); }), noConnection);
    client.Close();

    // After a failed transfer the object is unconnected until it connects again.
    Connect(client);
    CaughtMessage([&] { client.Download(L"nothing-here.bin", Wide(Local("b.bin")).c_str(), 2); });
    EXPECT_EQ(CaughtMessage([&] { client.Upload(Wide(Local("a.bin")).c_str(), L"a.bin", 2); }), noConnection);
    Connect(client);
    client.Upload(Wide(Local("a.bin")).c_str(), L"a.bin", 2);
    EXPECT_EQ(ReadBytes(Remote("a.bin")), "x");
}

TEST_F(FtpClient, AMissingRemoteFileFailsWithTheServersAnswerAndLeavesNoLocalFile)
{
    Connect(client);
    const std::wstring message =
        CaughtMessage([&] { client.Download(L"nothing-here.bin", Wide(Local("b.bin")).c_str(), 2); });
    EXPECT_THAT(message, HasSubstr(L"550"));
    EXPECT_FALSE(std::filesystem::exists(Local("b.bin")));
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(FtpClient, LocalFileErrorsNameTheFileAndLeaveTheServerAlone)
{
    WriteBytes(Remote("keep.bin"), "precious");
    Connect(client);
    const std::string missing = Local("no-such-source.bin");
    std::wstring message =
        CaughtMessage([&] { client.Upload(Wide(missing).c_str(), L"keep.bin", CKelFTP::kTransferBinary); });
    EXPECT_EQ(message, L"KelException : " + Wide(missing) + L" : No such file or directory");
    EXPECT_EQ(ReadBytes(Remote("keep.bin")), "precious");

    Connect(client);
    message = CaughtMessage([&] { client.Upload(Wide(local.path().string()).c_str(), L"keep.bin", 2); });
    EXPECT_EQ(message, L"KelException : " + Wide(local.path().string()) + L" : Is a directory");
    EXPECT_EQ(ReadBytes(Remote("keep.bin")), "precious");

    Connect(client);
    const std::string unwritable = Local("no-such-folder/b.bin");
    message = CaughtMessage([&] { client.Download(L"keep.bin", Wide(unwritable).c_str(), CKelFTP::kTransferBinary); });
    EXPECT_EQ(message, L"KelException : " + Wide(unwritable) + L" : No such file or directory");
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(FtpClient, ASourceLockedByAnotherHolderCannotBeUploaded)
{
    WriteBytes(Local("held.bin"), "busy");
    const int holder = open(Local("held.bin").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    Connect(client);
    const std::wstring message =
        CaughtMessage([&] { client.Upload(Wide(Local("held.bin")).c_str(), L"held.bin", CKelFTP::kTransferBinary); });
    close(holder);
    EXPECT_THAT(message, HasSubstr(L"Device or resource busy"));
    EXPECT_FALSE(std::filesystem::exists(Remote("held.bin")));
}

TEST_F(FtpClient, AnUnknownTransferTypeOpensNothing)
{
    WriteBytes(Local("a.bin"), "x");
    Connect(client);
    EXPECT_EQ(CaughtMessage([&] { client.Upload(Wide(Local("a.bin")).c_str(), L"a.bin", 3); }),
              L"KelException : 지원하지 않는 전송 형식 3 입니다.");
    EXPECT_FALSE(std::filesystem::exists(Remote("a.bin")));
    EXPECT_TRUE(client.IsConnected());
}

TEST_F(FtpClient, ActiveModeMovesFilesToo)
{
    const std::string bytes = RandomBytes(5000);
    WriteBytes(Local("a.bin"), bytes);
    Connect(client, 0);
    client.Upload(Wide(Local("a.bin")).c_str(), L"a.bin", CKelFTP::kTransferBinary);
    client.Download(L"a.bin", Wide(Local("b.bin")).c_str(), CKelFTP::kTransferBinary);
    EXPECT_TRUE(SameBytes(ReadBytes(Remote("a.bin")), bytes));
    EXPECT_TRUE(SameBytes(ReadBytes(Local("b.bin")), bytes));
}

TEST_F(FtpClient, LoginFailuresSayWhatTheServerAnswered)
{
    const std::wstring message =
        CaughtMessage([&] { client.Connection(L"127.0.0.1", L"kel", L"wrong", server.Port(), 1); });
    EXPECT_THAT(message, HasSubstr(L"KelException : The request to connect and log on to an FTP server could not be "
                                   L"completed because the supplied password is incorrect. : 530 "));
    EXPECT_FALSE(client.IsConnected());
}

TEST(FtpClientFailures, NamesThatDoNotResolveAndClosedPortsFailWithTheirNumbers)
{
    RecordingFTP client;
    // A label longer than DNS allows (63 bytes): the C library refuses the
    // name before any query is sent, so no resolver is asked.
    const std::wstring unresolvable = std::wstring(64, L'n') + L".invalid";
    EXPECT_EQ(CaughtMessage([&] { client.Connection(unresolvable.c_str(), L"a", L"b", 21, 1); }),
              L"KelException : The server name or address could not be resolved.\r\n");
    const int closedPort = kel::test::FreeLoopbackPort();
    EXPECT_EQ(CaughtMessage([&] { client.Connection(L"127.0.0.1", L"a", L"b", closedPort, 1); }),
              L"KelException : A connection with the server could not be established.\r\n");
}

// Accepts one connection and answers each line it receives with the next of
// `replies` (the first goes out at once, as the greeting).
class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<std::string> replies)
    {
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(m_listener, 1);
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, replies = std::move(replies)] {
            const int client = accept(m_listener, nullptr, nullptr);
            for (const std::string& reply : replies) {
                if (send(client, reply.data(), reply.size(), MSG_NOSIGNAL) < 0)
                    break;
                char line[512];
                if (recv(client, line, sizeof(line), 0) <= 0)
                    break;
            }
            close(client);
        });
    }
    ~ScriptedServer()
    {
        m_thread.join();
        close(m_listener);
    }

    int Port() const { return m_port; }

private:
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
};

TEST(FtpClientFailures, BrokenOrRefusingGreetingsSayWhatCameBack)
{
    {
        ScriptedServer server({"garbage\r\n"});
        RecordingFTP client;
        EXPECT_THAT(CaughtMessage([&] { client.Connection(L"127.0.0.1", L"a", L"b", server.Port(), 1); }),
                    testing::StartsWith(L"KelException : The server response could not be parsed. : garbage"));
    }
    {
        ScriptedServer server({"421-Too many users\r\n421 try later\r\n"});
        RecordingFTP client;
        EXPECT_EQ(CaughtMessage([&] { client.Connection(L"127.0.0.1", L"a", L"b", server.Port(), 1); }),
                  L"KelException : A connection with the server could not be established. : 421-Too many users\r\n"
                  L"421 try later");
    }
    {
        // A multi-line greeting, a user who needs no password, then TYPE I refused.
        ScriptedServer server({"220-Hello\r\n220 ready\r\n", "230 in\r\n", "504 no binary here\r\n"});
        RecordingFTP client;
        EXPECT_EQ(CaughtMessage([&] { client.Connection(L"127.0.0.1", L"a", L"b", server.Port(), 1); }),
                  L"KelException : An extended error was returned from the server. This is typically a string or "
                  L"buffer containing a verbose error message. : 504 no binary here");
    }
}

// A server's escape sequences never reach a message as controls: a terminal
// that shows the log or the error would act on them. Tab and the CR LF
// between reply lines stay; every other control character, C1 included,
// becomes '?'.
TEST(FtpClientFailures, ControlCharactersFromTheServerBecomeQuestionMarks)
{
    {
        ScriptedServer server({"421-\x1b[31mred\ttext\r\n421 \x1b]0;owned\x07 end\x7f\r\n"});
        RecordingFTP client;
        EXPECT_EQ(CaughtMessage([&] { client.Connection(L"127.0.0.1", L"a", L"b", server.Port(), 1); }),
                  L"KelException : A connection with the server could not be established. : 421-?[31mred\ttext\r\n"
                  L"421 ?]0;owned? end?");
    }
    {
        // A bare CR inside a line and a C1 control sequence introducer (UTF-8).
        ScriptedServer server({"220 ready\r\n", "331 password please\r\n", "530 no\rway \xc2\x9b" "2J \xc2\xa0ok\r\n"});
        RecordingFTP client;
        EXPECT_EQ(CaughtMessage([&] { client.Connection(L"127.0.0.1", L"kel", L"pw", server.Port(), 1); }),
                  L"KelException : The request to connect and log on to an FTP server could not be completed "
                  L"because the supplied password is incorrect. : 530 no?way ?2J \u00a0ok");
    }
    {
        // A cut reply that quotes a password with a control character in it
        // is withheld all the same, once made printable.
        ScriptedServer server({"220 ready\r\n", "331 password please\r\n", "530-p\x1bw is not it\r\n"});
        RecordingFTP client;
        client.SetTimeout(300);
        EXPECT_EQ(CaughtMessage([&] { client.Connection(L"127.0.0.1", L"kel", L"p\x1bw", server.Port(), 1); }),
                  L"KelException : The operation timed out. : (the server's answer is not shown: it quotes the "
                  L"password)");
    }
}

// What the server says after PASS is kept whole in the message, unless it
// quotes the password: then it is replaced, never masked in place (a mask
// shows where and how often the password occurs, and a one-letter password
// would garble the whole message).
TEST(FtpClientFailures, APasswordNeverReachesAMessage)
{
    const std::wstring refused = L"KelException : The request to connect and log on to an FTP server could not be "
                                 L"completed because the supplied password is incorrect. : ";
    const std::wstring withheld = L"(the server's answer is not shown: it quotes the password)";
    struct Case {
        const wchar_t* password;
        std::string reply;
        std::wstring expected;
    };
    const std::vector<Case> cases = {
        {L"b", "530 Login incorrect.\r\n", refused + L"530 Login incorrect."},
        {L"e", "530 Login incorrect.\r\n", refused + withheld},
        {L"secret", "530 Password secret rejected for kel\r\n", refused + withheld},
        {L"비밀번호", "530 \xEB\xB9\x84\xEB\xB0\x80\xEB\xB2\x88\xED\x98\xB8 is wrong\r\n", refused + withheld},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(test.password)));
        ScriptedServer server({"220 ready\r\n", "331 password please\r\n", test.reply});
        RecordingFTP client;
        EXPECT_EQ(CaughtMessage([&] { client.Connection(L"127.0.0.1", L"kel", test.password, server.Port(), 1); }),
                  test.expected);
    }
    {
        // A reply cut short by a time-out still never shows it.
        ScriptedServer server({"220 ready\r\n", "331 password please\r\n", "530-hunter2 is not it\r\n"});
        RecordingFTP client;
        client.SetTimeout(300);
        EXPECT_EQ(CaughtMessage([&] { client.Connection(L"127.0.0.1", L"kel", L"hunter2", server.Port(), 1); }),
                  L"KelException : The operation timed out. : " + withheld);
    }
}

TEST(FtpClientFailures, ASilentServerEndsInATimeOutInsteadOfAHang)
{
    kel::test::SilentServer silent;
    RecordingFTP client;
    client.SetTimeout(500);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CaughtMessage([&] { client.Connection(L"127.0.0.1", L"a", L"b", silent.Port(), 1); }),
              L"KelException : The operation timed out.\r\n");
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(450));
    EXPECT_LT(waited, std::chrono::seconds(5));
}

TEST(FtpClientFaults, ADroppedDownloadFailsAndTheNextAttemptIsExact)
{
    PyFtpServer server("drop-first-retr", 300000);
    TempDir local;
    const std::string bytes = RandomBytes(1 << 20);
    WriteBytes(server.Root() + "/big.bin", bytes);
    RecordingFTP client;
    client.record = false;
    client.Connection(L"127.0.0.1", L"kel", L"secret", server.Port(), 1);
    const std::wstring message =
        CaughtMessage([&] { client.Download(L"big.bin", Wide(local / "big.bin").c_str(), 2); });
    EXPECT_THAT(message, HasSubstr(L"426"));
    EXPECT_FALSE(client.IsConnected());

    client.Connection(L"127.0.0.1", L"kel", L"secret", server.Port(), 1);
    client.Download(L"big.bin", Wide(local / "big.bin").c_str(), 2);
    EXPECT_TRUE(SameBytes(ReadBytes(local / "big.bin"), bytes));
}

// A download goes to a file beside the target, which is replaced only once
// the whole file has arrived: a dropped one leaves the good copy as it was.
TEST(FtpClientFaults, ADroppedDownloadKeepsTheGoodCopyAndLeavesNoTemporary)
{
    using std::filesystem::perms;
    PyFtpServer server("drop-first-retr", 300000);
    TempDir local;
    const std::string bytes = RandomBytes(1 << 20);
    WriteBytes(server.Root() + "/big.bin", bytes);
    const std::string target = local / "big.bin";
    WriteBytes(target, "the good copy");
    std::filesystem::permissions(target, perms::owner_read | perms::owner_write);
    RecordingFTP client;
    client.record = false;
    client.Connection(L"127.0.0.1", L"kel", L"secret", server.Port(), 1);
    const std::wstring message = CaughtMessage([&] { client.Download(L"big.bin", Wide(target).c_str(), 2); });
    EXPECT_THAT(message, HasSubstr(L"426"));
    EXPECT_TRUE(SameBytes(ReadBytes(target), "the good copy"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(local.path()), {}), 1);

    client.Connection(L"127.0.0.1", L"kel", L"secret", server.Port(), 1);
    client.Download(L"big.bin", Wide(target).c_str(), 2);
    EXPECT_TRUE(SameBytes(ReadBytes(target), bytes));
    EXPECT_EQ(std::filesystem::status(target).permissions(), perms::owner_read | perms::owner_write);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(local.path()), {}), 1);
}

TEST(FtpClientFaults, ADroppedUploadFailsAndTheNextAttemptIsExact)
{
    PyFtpServer server("drop-first-stor", 300000);
    TempDir local;
    const std::string bytes = RandomBytes(1 << 20);
    WriteBytes(local / "big.bin", bytes);
    RecordingFTP client;
    client.record = false;
    client.Connection(L"127.0.0.1", L"kel", L"secret", server.Port(), 1);
    CaughtMessage([&] { client.Upload(Wide(local / "big.bin").c_str(), L"big.bin", 2); });
    EXPECT_FALSE(client.IsConnected());

    client.Connection(L"127.0.0.1", L"kel", L"secret", server.Port(), 1);
    client.Upload(Wide(local / "big.bin").c_str(), L"big.bin", 2);
    EXPECT_TRUE(SameBytes(ReadBytes(server.Root() + "/big.bin"), bytes));
}

// vsftpd runs as the user who starts it, without a chroot: names stay
// relative to its root so that nothing lands outside the test folder.
TEST(FtpClientVsftpd, UploadAndDownloadAgainstVsftpd)
{
    kel::test::VsftpdServer server;
    TempDir local;
    const std::string bytes = RandomBytes(10000);
    WriteBytes(local / "a.bin", bytes);

    RecordingFTP client;
    client.Connection(L"127.0.0.1", L"anonymous", L"kel@example.invalid", server.Port(), 1);
    client.Upload(Wide(local / "a.bin").c_str(), L"a.bin", CKelFTP::kTransferBinary);
    EXPECT_EQ(client.events, Expected("up", {{4096, 0}, {4096, 1}, {1808, 2}}, 10000));
    EXPECT_TRUE(SameBytes(ReadBytes(server.Root() + "/a.bin"), bytes));
    client.events.clear();
    client.Download(L"a.bin", Wide(local / "b.bin").c_str(), CKelFTP::kTransferBinary);
    EXPECT_EQ(client.events, Expected("down", {{4096, 0}, {4096, 1}, {1808, 2}}, 10000));
    EXPECT_TRUE(SameBytes(ReadBytes(local / "b.bin"), bytes));
    client.Close();
}
