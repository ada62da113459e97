#include "KelException.h"
#include "KelLog.h"
#include "TestSupport.h"
#include "platform/NamedMutex.h"
#include "platform/Unicode.h"

#include <cstdlib>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <gtest/gtest.h>
#include <regex>
#include <csignal>
#include <new>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using kel::test::ReadBytes;
using kel::test::TempDir;

// ThreadSanitizer brings its own operator new, which a test program cannot
// replace; the test that makes allocations fail is left out there.
#if defined(__SANITIZE_THREAD__)
#define KEL_TEST_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KEL_TEST_THREAD_SANITIZER 1
#endif
#endif

namespace {
// While set, every allocation of the program fails (the library's too).
bool g_failAllocations = false;
} // namespace

#ifndef KEL_TEST_THREAD_SANITIZER
void* operator new(std::size_t size)
{
    if (g_failAllocations)
        throw std::bad_alloc();
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}

// Memory of the operator new above, which comes from malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}
#pragma GCC diagnostic pop
#endif

namespace {

std::string Today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

// Each test logs into its own folder and restores the library defaults.
class LogTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        CKelLog::SetClock(nullptr);
        CKelLog::Init(0, L"./Log/");
    }

    std::string Folder() const { return m_dir.path().string() + "/"; }
    std::string LogFile() const { return Folder() + Today() + ".log"; }
    // The day's file as text, without its mark; checks the mark once.
    std::string Written() const
    {
        const std::string bytes = ReadBytes(LogFile());
        EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
        return bytes.size() >= 3 ? bytes.substr(3) : bytes;
    }
    void Init(int level) const { CKelLog::Init(level, CStringW(Folder().c_str())); }

    TempDir m_dir;
};

const std::string kStamp = R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] )";

} // namespace

TEST_F(LogTest, ThresholdZeroWritesEveryLevelWithTheSourceHeader)
{
    Init(0);
    _kelLog.LogPreFix("/home/dev/project/src/Transfer.cpp", 42, "CExecFTP::exec");
    _kelLog.Log(0, L"debug %d", 1);
    _kelLog.LogPreFix("Transfer.cpp", 43, nullptr); // keeps the function label
    _kelLog.Log(1, L"info");
    _kelLog.LogPreFix("C:\\src\\Win.cpp", 12345, "f");
    _kelLog.Log(2, L"error");
    _kelLog.LogPreFix("x.cpp", 1, "g");
    _kelLog.Log(7, L"no level word");

    const std::string expected = kStamp + R"(DEBUG Transfer\.cpp {10} CExecFTP::exec {30} \(   42\) - debug 1\r\n)"
        + kStamp + R"(INFO  Transfer\.cpp {10} CExecFTP::exec {30} \(   43\) - info\r\n)"
        + kStamp + R"(ERROR Win\.cpp {15} f {43} \(12345\) - error\r\n)"
        + kStamp + R"(x\.cpp {17} g {43} \(    1\) - no level word\r\n)";
    const std::string written = Written();
    EXPECT_TRUE(std::regex_match(written, std::regex(expected))) << written;
}

TEST_F(LogTest, ThresholdOneDropsDebugAndTheHeader)
{
    Init(1);
    _kelLog.LogPreFix("a.cpp", 1, "f");
    _kelLog.Log(0, L"dropped");
    _kelLog.LogPreFix("a.cpp", 2, "f");
    _kelLog.Log(1, L"kept");
    _kelLog.LogPreFix("a.cpp", 3, "f");
    _kelLog.Log(-1, L"below");
    const std::string written = Written();
    EXPECT_TRUE(std::regex_match(written, std::regex(kStamp + "INFO  kept\r\n"))) << written;
}

TEST_F(LogTest, LineBreaksBecomeIndentedContinuationLines)
{
    Init(2);
    _kelLog.LogPreFix("a.cpp", 1, "f");
    _kelLog.Log(2, L"first line\r\nsecond line\r\n");
    _kelLog.LogPreFix("a.cpp", 2, "f");
    _kelLog.Log(2, L"one line\r\n\r\n\r\n");
    _kelLog.LogPreFix("a.cpp", 3, "f");
    _kelLog.Log(2, L"\r\nleading break");
    const std::string written = Written();
    const std::string expected = kStamp + "ERROR \r\n\tfirst line\r\n\tsecond line\r\n"
        + kStamp + "ERROR one line\r\n"
        + kStamp + "ERROR \r\n\tleading break\r\n";
    EXPECT_TRUE(std::regex_match(written, std::regex(expected))) << written;
}

TEST_F(LogTest, KoreanAndLongMessagesAreWrittenWhole)
{
    Init(1);
    const std::wstring longText(20000, L'가'); // 60000 UTF-8 bytes
    _kelLog.LogPreFix("a.cpp", 1, "f");
    _kelLog.Log(1, L"%ls", longText.c_str());
    const std::string written = Written();
    EXPECT_NE(written.find(kel::platform::WideToUtf8(longText) + "\r\n"), std::string::npos);
}

TEST_F(LogTest, MissingParentFoldersAreCreated)
{
    const std::string nested = Folder() + "deep/er/Logs/";
    CKelLog::Init(1, CStringW(nested.c_str()));
    _kelLog.LogPreFix("a.cpp", 1, "f");
    _kelLog.Log(1, L"arrived");
    EXPECT_NE(ReadBytes(nested + Today() + ".log").find("INFO  arrived\r\n"), std::string::npos);
    EXPECT_EQ(CKelLog::CurrentFile().str(), CStringW((nested + Today() + ".log").c_str()).str());
}

TEST_F(LogTest, WriteErrorIsRaisedAndTheLockReleased)
{
    Init(1);
    // Files may not grow past the mark and a few bytes: the entry's write fails.
    rlimit limit {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small {16, limit.rlim_max};
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    _kelLog.LogPreFix("a.cpp", 1, "f");
    try {
        _kelLog.Log(1, L"no room");
        ADD_FAILURE() << "nothing raised";
    } catch (CKelException* e) {
        EXPECT_EQ(e->GetMessage().str(), L"KelException : KelException : File too large\r\n");
        e->Delete();
    }
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, oldHandler);
    // Another thread can take the lock again: it was released.
    std::remove(LogFile().c_str());
    std::thread other([] {
        _kelLog.LogPreFix("b.cpp", 2, "g");
        _kelLog.Log(1, L"after the error");
    });
    other.join();
    EXPECT_NE(Written().find("after the error"), std::string::npos);
}

TEST_F(LogTest, FolderThatCannotBeMadeLosesTheEntryQuietly)
{
    // A file stands where the folder would go: nobody, root included, can make it.
    kel::test::WriteBytes(m_dir / "blocker", "kept");
    CKelLog::Init(1, CStringW((m_dir / "blocker/Log/").c_str()));
    _kelLog.LogPreFix("a.cpp", 1, "f");
    EXPECT_NO_THROW(_kelLog.Log(1, L"lost"));
    EXPECT_EQ(ReadBytes(m_dir / "blocker"), "kept");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()), {}), 1) << "nothing else was written";
    EXPECT_FALSE(CKelLog::s_mutexLog.HeldByCaller());

    // The entry lock was released: another thread takes it and writes.
    Init(1);
    auto written = std::make_shared<std::promise<void>>();
    std::future<void> done = written->get_future();
    std::thread([written] {
        _kelLog.LogPreFix("b.cpp", 2, "g");
        _kelLog.Log(1, L"next entry");
        written->set_value();
    }).detach(); // left behind, blocked, only if the lock was kept
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "the entry lock is still held";
    EXPECT_TRUE(std::regex_match(Written(), std::regex(kStamp + "INFO  next entry\r\n")));
}

TEST_F(LogTest, TheSettingsAreThoseOfTheLastInit)
{
    Init(2);
    EXPECT_EQ(CKelLog::s_nLogLevel, 2);
    EXPECT_EQ(CKelLog::s_strLogFolder.str(), CStringW(Folder().c_str()).str());
    EXPECT_FALSE(CKelLog::s_mutexLog.HeldByCaller());
    _kelLog.LogPreFix("a.cpp", 1, "f");
    EXPECT_TRUE(CKelLog::s_mutexLog.HeldByCaller());
    _kelLog.Log(2, L"x");
    EXPECT_FALSE(CKelLog::s_mutexLog.HeldByCaller());
}

// A file that does not end as the last entry left it (cut by a writer that
// died, truncated, or written by someone else) is looked at before the next
// entry, which starts on a line of its own; an emptied file stays without a
// mark.
TEST_F(LogTest, AnEntryNeverGluesOntoWhatAnotherWriterLeft)
{
    Init(1);
    _kelLog.LogPreFix("a.cpp", 1, "f");
    _kelLog.Log(1, L"first");
    std::ofstream(LogFile(), std::ios::app) << "someone else's half line";
    _kelLog.LogPreFix("a.cpp", 2, "f");
    _kelLog.Log(1, L"second");
    EXPECT_TRUE(std::regex_match(Written(), std::regex(kStamp + "INFO  first\r\nsomeone else's half line\r\n"
                                                       + kStamp + "INFO  second\r\n")))
        << Written();
    kel::test::WriteBytes(LogFile(), ""); // truncated, as a copying log rotation does
    _kelLog.LogPreFix("a.cpp", 3, "f");
    _kelLog.Log(1, L"third");
    EXPECT_TRUE(std::regex_match(ReadBytes(LogFile()), std::regex(kStamp + "INFO  third\r\n"))) << ReadBytes(LogFile());
}

namespace {

std::time_t g_testNow = 0;
std::time_t TestNow()
{
    return g_testNow;
}

} // namespace

// An entry takes its time stamp when it starts and its file when it is
// written: one begun at 23:59:59 and written at midnight keeps the old day
// in its stamp and goes into the new day's file, which gets its own mark.
TEST_F(LogTest, AnEntryWrittenAcrossMidnightGoesIntoTheNewDaysFile)
{
    Init(1);
    std::tm evening {};
    evening.tm_year = 2031 - 1900;
    evening.tm_mon = 0;
    evening.tm_mday = 15;
    evening.tm_hour = 23;
    evening.tm_min = 59;
    evening.tm_sec = 59;
    evening.tm_isdst = -1;
    g_testNow = std::mktime(&evening);
    CKelLog::SetClock(&TestNow);
    EXPECT_EQ(CKelLog::CurrentFile().str(), CStringW((Folder() + "2031-01-15.log").c_str()).str());
    _kelLog.LogPreFix("a.cpp", 1, "f");
    _kelLog.Log(1, L"before midnight");
    _kelLog.LogPreFix("a.cpp", 2, "f");
    ++g_testNow; // midnight comes between the two calls
    _kelLog.Log(1, L"across midnight");
    _kelLog.LogPreFix("a.cpp", 3, "f");
    _kelLog.Log(1, L"after midnight");
    EXPECT_EQ(CKelLog::CurrentFile().str(), CStringW((Folder() + "2031-01-16.log").c_str()).str());

    EXPECT_EQ(ReadBytes(Folder() + "2031-01-15.log"), "\xEF\xBB\xBF[2031-01-15 23:59:59] INFO  before midnight\r\n");
    EXPECT_EQ(ReadBytes(Folder() + "2031-01-16.log"),
              "\xEF\xBB\xBF[2031-01-15 23:59:59] INFO  across midnight\r\n"
              "[2031-01-16 00:00:00] INFO  after midnight\r\n");
    // The system clock again once the test's is taken away.
    EXPECT_EQ(CKelLog::SetClock(nullptr), &TestNow);
    EXPECT_EQ(CKelLog::CurrentFile().str(), CStringW(LogFile().c_str()).str());
}

// The day's file is the user's own: a link planted at its path (the folder
// is often shared, like /tmp/Log) does not take the entries elsewhere, and
// a FIFO there holds nobody. Such an entry is lost, as when the folder
// cannot be made.
TEST_F(LogTest, ALinkAtTheDaysPathIsNeverFollowed)
{
    Init(1);
    const std::string victim = m_dir / "victim.txt";
    kel::test::WriteBytes(victim, "someone's file\n");
    ASSERT_EQ(symlink(victim.c_str(), LogFile().c_str()), 0);
    _kelLog.LogPreFix("a.cpp", 1, "f");
    EXPECT_NO_THROW(_kelLog.Log(1, L"not for the victim"));
    EXPECT_EQ(ReadBytes(victim), "someone's file\n");
    EXPECT_TRUE(std::filesystem::is_symlink(LogFile()));
    EXPECT_FALSE(CKelLog::s_mutexLog.HeldByCaller());
}

TEST_F(LogTest, AFifoAtTheDaysPathHoldsNobody)
{
    Init(1);
    ASSERT_EQ(mkfifo(LogFile().c_str(), 0600), 0);
    // More than a pipe holds, so that a write into the FIFO would wait.
    const std::wstring message(100000, L'x');
    auto logged = std::make_shared<std::promise<void>>();
    std::future<void> done = logged->get_future();
    std::thread([logged, message] {
        _kelLog.LogPreFix("a.cpp", 1, "f");
        _kelLog.Log(1, L"%ls", message.c_str());
        logged->set_value();
    }).detach(); // left behind, blocked, only if the entry waits
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "the entry waits on the FIFO";
    EXPECT_TRUE(std::filesystem::is_fifo(LogFile()));
}

// Entries carry server replies and paths: what the log makes is not readable
// by other users, whatever the umask lets through.
TEST_F(LogTest, NewFilesAndFoldersAreTheUsersAlone)
{
    const mode_t oldMask = umask(022);
    const std::string nested = Folder() + "shared/Logs/";
    CKelLog::Init(1, CStringW(nested.c_str()));
    _kelLog.LogPreFix("a.cpp", 1, "f");
    _kelLog.Log(1, L"private");
    umask(oldMask);
    struct stat info {};
    ASSERT_EQ(stat((Folder() + "shared").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(nested.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((nested + Today() + ".log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// Only a file the log makes starts with the byte-order mark; an existing
// file, empty or not, is appended to as it is.
TEST_F(LogTest, AnExistingEmptyFileGetsNoMark)
{
    Init(1);
    kel::test::WriteBytes(LogFile(), "");
    _kelLog.LogPreFix("a.cpp", 1, "f");
    _kelLog.Log(1, L"first");
    _kelLog.LogPreFix("a.cpp", 2, "f");
    _kelLog.Log(1, L"second");
    const std::string bytes = ReadBytes(LogFile());
    EXPECT_TRUE(std::regex_match(bytes, std::regex(kStamp + "INFO  first\r\n" + kStamp + "INFO  second\r\n"))) << bytes;
}

// An entry that cannot be started (an allocation fails in LogPreFix) leaves
// the lock free: no Log will come to release it.
TEST_F(LogTest, AnEntryThatCannotStartReleasesTheLock)
{
#ifdef KEL_TEST_THREAD_SANITIZER
    GTEST_SKIP() << "allocations cannot be made to fail under ThreadSanitizer";
#endif
    Init(1);
    // New source and function names, longer than any before, must be stored.
    const std::string source = "/src/" + std::string(300, 's') + ".cpp";
    const std::string function(400, 'f');
    bool raised = false;
    g_failAllocations = true;
    try {
        _kelLog.LogPreFix(source.c_str(), 1, function.c_str());
    } catch (const std::bad_alloc&) {
        raised = true;
    }
    g_failAllocations = false;
    ASSERT_TRUE(raised) << "the entry started without allocating";
    EXPECT_FALSE(CKelLog::s_mutexLog.HeldByCaller());
    while (CKelLog::s_mutexLog.HeldByCaller())
        CKelLog::s_mutexLog.Unlock(); // for the tests that follow

    auto written = std::make_shared<std::promise<void>>();
    std::future<void> done = written->get_future();
    std::thread([written] {
        _kelLog.LogPreFix("b.cpp", 2, "g");
        _kelLog.Log(1, L"next entry");
        written->set_value();
    }).detach();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "the entry lock is still held";
    EXPECT_TRUE(std::regex_match(Written(), std::regex(kStamp + "INFO  next entry\r\n")));
}

namespace {

// kel_log_writer as a child process, with its standard input and output on
// pipes. Killed if the test leaves it running.
class WriterProcess {
public:
    explicit WriterProcess(const std::vector<std::string>& arguments)
    {
        int input[2], output[2];
        if (pipe(input) != 0 || pipe(output) != 0)
            throw std::runtime_error("pipe");
        m_pid = fork();
        if (m_pid == 0) {
            dup2(input[0], 0);
            dup2(output[1], 1);
            std::vector<char*> argv {const_cast<char*>(KEL_LOG_WRITER)};
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            execv(KEL_LOG_WRITER, argv.data());
            _exit(127);
        }
        close(input[0]);
        close(output[1]);
        m_input = input[1];
        m_output = output[0];
    }
    ~WriterProcess()
    {
        if (m_pid > 0 && !m_ended) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_input);
        close(m_output);
    }

    std::string ReadLine()
    {
        std::string line;
        char byte = 0;
        while (read(m_output, &byte, 1) == 1 && byte != '\n')
            line += byte;
        return line;
    }
    void Say(const std::string& line) { ASSERT_EQ(write(m_input, line.data(), line.size()), ssize_t(line.size())); }
    void Kill() { kill(m_pid, SIGKILL); }

    // The exit status once the process has ended within `seconds`; -1 while
    // it still runs.
    int Ended(double seconds)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        do {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_ended = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (std::chrono::steady_clock::now() < until);
        return -1;
    }

private:
    pid_t m_pid = -1;
    int m_input = -1, m_output = -1;
    bool m_ended = false;
};

} // namespace

// The lock is held from LogPreFix to the end of Log, across processes: an
// entry begun first is written first, however long its message takes.
TEST_F(LogTest, AnEntryBegunInAnotherProcessIsWaitedFor)
{
    WriterProcess holder({"hold", Folder()});
    ASSERT_EQ(holder.ReadLine(), "held");
    WriterProcess other({Folder(), "7", "1", "1"});
    // Still waiting for the lock while the holder's entry is open.
    EXPECT_EQ(other.Ended(0.5), -1);
    holder.Say("go\n");
    EXPECT_EQ(holder.Ended(30), 0);
    EXPECT_EQ(other.Ended(30), 0);
    const std::string written = Written();
    EXPECT_TRUE(std::regex_match(written, std::regex(kStamp + "INFO  holder's entry\r\n" + kStamp
                                                     + R"(INFO  \r\n\twriter p7 t0 n0 한글\r\n\tcontinued p7 t0 n0\r\n)")))
        << written;
}

// A holder killed in the middle of writing its entry releases the lock, and
// the next entry starts on a line of its own, not glued onto the cut one.
TEST_F(LogTest, AHolderThatDiesReleasesTheLockAndItsCutEntryStaysApart)
{
    Init(1);
    WriterProcess holder({"hold", Folder()});
    ASSERT_EQ(holder.ReadLine(), "held");
    kel::test::WriteBytes(LogFile(), "\xEF\xBB\xBF[2026-12-07 15:41:09] INFO  cut sho"); // its write, cut
    holder.Kill();
    WriterProcess other({Folder(), "3", "2", "5"});
    ASSERT_EQ(other.Ended(30), 0);
    _kelLog.LogPreFix("a.cpp", 1, "f"); // and this process too
    _kelLog.Log(2, L"parent after");
    const std::string written = Written();
    EXPECT_EQ(written.rfind(R"([2026-12-07 15:41:09] INFO  cut sho)" "\r\n[", 0), 0u) << written;
    EXPECT_EQ(written.find("holder's entry"), std::string::npos);
    EXPECT_NE(written.find("continued p3 t1 n4\r\n"), std::string::npos);
    EXPECT_NE(written.find("parent after\r\n"), std::string::npos);
}
