// A followed log rotated the ways logrotate and programs rotate logs, while a
// separate writer process appends a numbered line every 5 ms: every line is
// shown exactly once, in order and whole, with a marker where the file
// started again.
#include "KelWatchDoc.h"
#include "TestSupport.h"
#include "WriterProcess.h"

#include "platform/Unicode.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using kel::test::TempDir;
using kel::test::WriterProcess;

// Numbered lines of varying length with Hangul in them.
std::string NumberedLine(int number)
{
    char head[32];
    std::snprintf(head, sizeof head, "%06d ", number);
    return head + std::string("\xEB\xA1\x9C\xEA\xB7\xB8 ") + std::string(static_cast<size_t>(number % 37), 'x');
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// Writes the next numbered line every 5 ms until stopped. Writes and read
// cycles take turns under one lock: the read cycle shows a line that is
// half written at the moment as two, which is not what is tested here.
class RotatedLog {
public:
    explicit RotatedLog(const std::string& path) : m_path(path)
    {
        EXPECT_TRUE(m_writer.Open(path));
        m_doc.OnOpenDocument(CStringW(std::wstring(path.begin(), path.end())));
        m_thread = std::thread([this] {
            while (!m_stop) {
                {
                    std::lock_guard lock(m_mutex);
                    EXPECT_TRUE(m_writer.Write(NumberedLine(m_next) + "\n"));
                    ++m_next;
                }
                std::this_thread::sleep_for(5ms);
            }
        });
    }
    ~RotatedLog() { Stop(); }

    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    // Runs a read cycle every 10 ms until the writer has written `lines`
    // more lines, however long that takes.
    void Follow(int lines)
    {
        for (const int until = Written() + lines; Written() < until;) {
            Cycle();
            std::this_thread::sleep_for(10ms);
        }
    }

    // Waits, without reading, until the writer has written `lines` more.
    void WaitForLines(int lines)
    {
        for (const int until = Written() + lines; Written() < until;)
            std::this_thread::sleep_for(5ms);
    }

    int Written()
    {
        std::lock_guard lock(m_mutex);
        return m_next;
    }

    void Cycle()
    {
        std::lock_guard lock(m_mutex);
        _ReadAll();
    }

    // logrotate's copytruncate. Lines written between the last read and the
    // truncation live only in the copy, for any follower, so the writer
    // waits while the follower catches up, the file is copied and cut.
    void CopyTruncate()
    {
        std::lock_guard lock(m_mutex);
        _ReadAll();
        std::filesystem::copy_file(m_path, m_path + ".1", std::filesystem::copy_options::overwrite_existing);
        std::filesystem::resize_file(m_path, 0);
        Expect(CKelWatchDoc::kTruncatedMarker, m_next);
    }

    // The writer truncates its own file: the same, without the copy.
    void Truncate()
    {
        std::lock_guard lock(m_mutex);
        _ReadAll();
        EXPECT_TRUE(m_writer.Truncate());
        Expect(CKelWatchDoc::kTruncatedMarker, m_next);
    }

    // logrotate's create: the log is renamed and a new one created; the
    // writer goes on writing to the old file until it is told to reopen.
    void RenameAndCreate()
    {
        std::filesystem::rename(m_path, m_path + ".1");
        kel::test::WriteBytes(m_path, "");
        WaitForLines(6);
        Reopen(CKelWatchDoc::kReplacedMarker);
    }

    // The log is deleted while the writer still writes to it, and created
    // again when the writer reopens it.
    void DeleteAndRecreate()
    {
        int removedAt;
        {
            std::lock_guard lock(m_mutex);
            std::filesystem::remove(m_path);
            removedAt = m_shownBefore;
        }
        Follow(6);
        Reopen(CKelWatchDoc::kRecreatedMarker);
        m_deletions.emplace_back(removedAt, m_markers.back().second);
    }

    // Every numbered line once, in order, whole; each marker in its place.
    void Check()
    {
        Stop();
        Cycle();
        std::string expected;
        size_t marker = 0;
        for (int number = 0; number < m_next; ++number) {
            for (; marker < m_markers.size() && m_markers[marker].second <= number; ++marker)
                expected += m_markers[marker].first + "\r\n";
            expected += NumberedLine(number) + "\r\n";
        }
        // The deletion is seen by some cycle while the deleted file is still
        // written: its marker comes between the lines of those moments.
        std::vector<std::string> shown = SplitLines(m_shown);
        const std::string deleted = kel::platform::WideToUtf8(CKelWatchDoc::kDeletedMarker);
        std::vector<std::pair<int, int>> deletions = m_deletions;
        for (size_t line = 0; line < shown.size(); ++line) {
            if (shown[line] != deleted)
                continue;
            const int next = line + 1 < shown.size() ? std::atoi(shown[line + 1].c_str()) : m_next;
            ASSERT_FALSE(deletions.empty()) << "a deletion marker too many";
            EXPECT_GE(next, deletions.front().first);
            EXPECT_LE(next, deletions.front().second);
            deletions.erase(deletions.begin());
            shown.erase(shown.begin() + static_cast<std::ptrdiff_t>(line--));
        }
        EXPECT_TRUE(deletions.empty()) << deletions.size() << " deletions without a marker";
        // The rest compared line by line, so that a failure names the first line that differs.
        const std::vector<std::string> wanted = SplitLines(expected);
        ASSERT_EQ(shown.size(), wanted.size());
        for (size_t line = 0; line < wanted.size(); ++line)
            ASSERT_EQ(shown[line], wanted[line]) << "line " << line;
        // Every stage had lines of its own: before the first marker, between
        // each two and after the last.
        int previous = 0;
        for (const auto& [marker, before] : m_markers) {
            EXPECT_GT(before, previous) << "no line before " << marker;
            previous = before;
        }
        EXPECT_GT(m_next, previous) << "no line after the last marker";
    }

private:
    // Everything the document has now; called with the lock held.
    void _ReadAll()
    {
        do
            m_shown += kel::platform::WideToUtf8(m_doc.ReadCycle().str());
        while (m_doc.HasMore());
        m_shownBefore = m_next;
    }

    void Reopen(std::wstring_view marker)
    {
        std::lock_guard lock(m_mutex);
        EXPECT_TRUE(m_writer.Open(m_path));
        Expect(marker, m_next);
    }

    // `marker` comes right before line `before`.
    void Expect(std::wstring_view marker, int before)
    {
        m_markers.emplace_back(kel::platform::WideToUtf8(marker), before);
    }

    const std::string m_path;
    WriterProcess m_writer;
    CKelWatchDoc m_doc;
    std::mutex m_mutex;
    std::atomic<bool> m_stop = false;
    int m_next = 0;
    int m_shownBefore = 0; // lines before this one were shown by the last cycle
    std::string m_shown;
    std::vector<std::pair<std::string, int>> m_markers;
    std::vector<std::pair<int, int>> m_deletions; // lines written from the removal to the new file
    std::thread m_thread;
};

TEST(WatchRotation, EveryLineOnceInOrderWithAMarkerWhereTheFileStartedAgain)
{
    TempDir dir;
    RotatedLog log(dir / "app.log");
    log.Follow(16);
    for (int round = 0; round < 3; ++round) {
        log.CopyTruncate();
        log.Follow(12);
        log.RenameAndCreate();
        log.Follow(12);
        log.DeleteAndRecreate();
        log.Follow(12);
        log.Truncate();
        log.Follow(12);
    }
    log.Check();
}

// Descriptors of this process that name a deleted file under `folder`.
int DeletedFilesHeld(const std::string& folder)
{
    int held = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        held += !error && target.rfind(folder, 0) == 0 && target.find(" (deleted)") != std::string::npos;
    }
    return held;
}

// A deleted log is held open until the path names a file again; then it is
// let go, not leaked, and a document closed while holding one lets it go too.
TEST(WatchRotation, ADeletedLogIsLetGoOnceTheFollowingMovesOn)
{
    TempDir dir;
    const std::string path = dir / "big.log";
    kel::test::WriteBytes(path, std::string(8 << 20, 'x') + "\n");
    CKelWatchDoc doc;
    doc.OnOpenDocument(CStringW(std::wstring(path.begin(), path.end())));
    while (doc.ReadCycle().GetLength() > 0 || doc.HasMore() || doc.IsDetecting()) {
    }
    std::filesystem::remove(path);
    EXPECT_EQ(doc.ReadCycle().str(), std::wstring(CKelWatchDoc::kDeletedMarker) + L"\r\n");
    EXPECT_EQ(DeletedFilesHeld(dir.path()), 1); // kept while the path names nothing

    kel::test::WriteBytes(path, "new\n");
    EXPECT_EQ(doc.ReadCycle().str(), std::wstring(CKelWatchDoc::kRecreatedMarker) + L"\r\nnew\r\n");
    EXPECT_EQ(DeletedFilesHeld(dir.path()), 0);

    {
        CKelWatchDoc closing;
        closing.OnOpenDocument(CStringW(std::wstring(path.begin(), path.end())));
        EXPECT_EQ(closing.ReadCycle().str(), L"new\r\n");
        std::filesystem::remove(path);
        closing.ReadCycle();
        EXPECT_EQ(DeletedFilesHeld(dir.path()), 2); // both documents hold it
    }
    // The closed document let go of it; the other one holds it still.
    EXPECT_EQ(DeletedFilesHeld(dir.path()), 1);
}

} // namespace
