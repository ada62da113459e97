// labels: threads
#include "KelException.h"
#include "KelLog.h"
#include "TestSupport.h"
#include "platform/Unicode.h"

#include <cstdlib>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <future>
#include <iterator>
#include <memory>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using kel::test::ReadBytes;
using kel::test::TempDir;

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
    void TearDown() override { CKelLog::Init(0, L"./Log/"); }

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
    ASSERT_EQ(symlink("/dev/full", LogFile().c_str()), 0);
    _kelLog.LogPreFix("a.cpp", 1, "f");
    try {
        _kelLog.Log(1, L"no room");
        FAIL() << "nothing raised";
    } catch (CKelException* e) {
        EXPECT_EQ(e->GetMessage().str(), L"KelException : KelException : No space left on device\r\n");
        e->Delete();
    }
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

TEST_F(LogTest, ReentrantPrefixNeedsAsManyReleases)
{
    Init(1);
    _kelLog.LogPreFix("a.cpp", 1, "f");
    _kelLog.LogPreFix("a.cpp", 2, "f"); // same thread: does not block
    _kelLog.Log(1, L"inner");
    _kelLog.Log(1, L"outer");
    std::thread other([] {
        _kelLog.LogPreFix("b.cpp", 3, "g");
        _kelLog.Log(1, L"other thread");
    });
    other.join();
    EXPECT_NE(Written().find("other thread"), std::string::npos);
}

TEST_F(LogTest, LogWithoutPrefixStillWritesAndKeepsTheLockSound)
{
    Init(1);
    _kelLog.Log(1, L"no prefix"); // misuse: no LogPreFix on this thread
    std::thread other([] {
        _kelLog.LogPreFix("b.cpp", 2, "g");
        _kelLog.Log(1, L"next entry");
    });
    other.join();
    const std::string written = Written();
    EXPECT_TRUE(std::regex_match(written, std::regex(kStamp + "INFO  no prefix\r\n" + kStamp + "INFO  next entry\r\n")))
        << written;
}

TEST_F(LogTest, ProcessesAndThreadsNeverInterleave)
{
    constexpr int kProcesses = 4, kThreads = 4, kEntries = 1500;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::string process = std::to_string(p), threads = std::to_string(kThreads),
                              entries = std::to_string(kEntries);
            execl(KEL_LOG_WRITER, KEL_LOG_WRITER, Folder().c_str(), process.c_str(), threads.c_str(),
                  entries.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    const std::string written = Written();
    EXPECT_EQ(written.find("\xEF\xBB\xBF"), std::string::npos); // one mark only
    const std::wstring text = kel::platform::Utf8ToWide(written);
    EXPECT_EQ(text.find(L'\uFFFD'), std::wstring::npos); // valid UTF-8 throughout

    const std::regex entry(kStamp + R"(INFO  \r\n\twriter p(\d) t(\d) n(\d+) 한글\r\n\tcontinued p\1 t\2 n\3\r\n)");
    std::set<std::string> seen;
    size_t at = 0, entries = 0;
    std::smatch match;
    while (at < written.size()) {
        const size_t end = written.find("\r\n\tcontinued", at);
        ASSERT_NE(end, std::string::npos) << "torn entry at byte " << at;
        const size_t next = written.find("\r\n", end + 2);
        ASSERT_NE(next, std::string::npos);
        const std::string one = written.substr(at, next + 2 - at);
        ASSERT_TRUE(std::regex_match(one, match, entry)) << one;
        EXPECT_TRUE(seen.insert(match[1].str() + "/" + match[2].str() + "/" + match[3].str()).second) << one;
        at = next + 2;
        ++entries;
    }
    EXPECT_EQ(entries, static_cast<size_t>(kProcesses * kThreads * kEntries));
    EXPECT_EQ(seen.size(), entries);
}
