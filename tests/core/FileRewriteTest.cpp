// CFileRewrite: a file given new content whole keeps its mode, owner and
// name; a rewrite that fails, is dropped or whose process is killed before
// it commits leaves the old file as it was and no temporary file; a file that
// changed meanwhile is not replaced; what cannot be rewritten is refused
// without being opened. Also strict decoding, which the rewrites of text
// rely on to lose nothing.
#include "TestSupport.h"

#include <platform/CodePage.h>
#include <platform/FileRewrite.h>
#include <platform/Unicode.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using kel::platform::CFileHandle;
using kel::platform::CFileRewrite;
using kel::test::ReadBytes;
using kel::test::TempDir;
using kel::test::WriteBytes;

namespace {

unsigned ModeOf(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// The exit code of `work` run in a child process, or 1000 + its signal.
int InChild(const std::function<int()>& work)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(work());
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

bool Rewrite(const std::string& path, const std::string& bytes)
{
    CFileRewrite rewrite;
    return rewrite.Open(path) == CFileHandle::Opened::Yes && rewrite.Begin() && rewrite.Write(bytes)
        && rewrite.Commit();
}

} // namespace

TEST(FileRewrite, ReplacesTheContentAndKeepsModeAndName)
{
    TempDir dir;
    for (const unsigned mode : { 0600u, 0755u, 0444u, 02750u }) {
        WriteBytes(dir / "f.txt", "old");
        ASSERT_EQ(chmod((dir / "f.txt").c_str(), mode), 0);
        EXPECT_TRUE(Rewrite(dir / "f.txt", "new content"));
        EXPECT_EQ(ReadBytes(dir / "f.txt"), "new content");
        EXPECT_EQ(ModeOf(dir / "f.txt"), mode);
        EXPECT_EQ(kel::test::FileNames(dir.path()), (std::set<std::string> { "f.txt" }));
    }
}

TEST(FileRewrite, KeepsOwnerAndGroupWhereTheProcessMay)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a file to another owner needs root";
    TempDir dir;
    WriteBytes(dir / "f.txt", "old");
    ASSERT_EQ(chown((dir / "f.txt").c_str(), 1234, 5678), 0);
    ASSERT_EQ(chmod((dir / "f.txt").c_str(), 04755), 0);
    EXPECT_TRUE(Rewrite(dir / "f.txt", "new"));
    struct stat info {};
    ASSERT_EQ(stat((dir / "f.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 5678u);
    EXPECT_EQ(info.st_mode & 07777, 04755u);
}

TEST(FileRewrite, AnUncommittedOrFailedRewriteLeavesTheFileAndNoTemporary)
{
    TempDir dir;
    WriteBytes(dir / "f.txt", "old");
    {
        CFileRewrite rewrite;
        ASSERT_EQ(rewrite.Open(dir / "f.txt"), CFileHandle::Opened::Yes);
        ASSERT_TRUE(rewrite.Begin());
        ASSERT_TRUE(rewrite.Write("half"));
    }
    EXPECT_EQ(ReadBytes(dir / "f.txt"), "old");
    EXPECT_EQ(kel::test::FileNames(dir.path()), (std::set<std::string> { "f.txt" }));

    // The file system refuses the new content part of the way, as a full
    // disk does.
    const std::string big(64 * 1024, 'x');
    const int code = InChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit { 4096, 4096 };
        setrlimit(RLIMIT_FSIZE, &limit);
        CFileRewrite rewrite;
        if (rewrite.Open(dir / "f.txt") != CFileHandle::Opened::Yes || !rewrite.Begin())
            return 2;
        return rewrite.Write(big) ? 0 : (errno == EFBIG ? 1 : 3);
    });
    EXPECT_EQ(code, 1);
    EXPECT_EQ(ReadBytes(dir / "f.txt"), "old");
    EXPECT_EQ(kel::test::FileNames(dir.path()), (std::set<std::string> { "f.txt" }));
}

// Killed after the new content is written and synced, before the rename:
// nothing of the rewrite stays behind.
TEST(FileRewrite, AProcessKilledBeforeTheRenameLeavesTheFileAndNoTemporary)
{
    TempDir dir;
    WriteBytes(dir / "f.txt", "old");
    const int code = InChild([&] {
        CFileRewrite rewrite;
        if (rewrite.Open(dir / "f.txt") != CFileHandle::Opened::Yes || !rewrite.Begin() || !rewrite.Write("new"))
            return 2;
        raise(SIGKILL);
        return 3;
    });
    EXPECT_EQ(code, 1000 + SIGKILL);
    EXPECT_EQ(ReadBytes(dir / "f.txt"), "old");
    EXPECT_EQ(kel::test::FileNames(dir.path()), (std::set<std::string> { "f.txt" }));
}

TEST(FileRewrite, AFileChangedMeanwhileIsNotReplaced)
{
    TempDir dir;
    WriteBytes(dir / "f.txt", "old");
    CFileRewrite rewrite;
    ASSERT_EQ(rewrite.Open(dir / "f.txt"), CFileHandle::Opened::Yes);
    ASSERT_TRUE(rewrite.Begin());
    ASSERT_TRUE(rewrite.Write("converted old"));
    WriteBytes(dir / "f.txt", "someone else's newer text");
    EXPECT_FALSE(rewrite.Commit());
    EXPECT_TRUE(rewrite.Changed());
    EXPECT_EQ(ReadBytes(dir / "f.txt"), "someone else's newer text");
    EXPECT_EQ(kel::test::FileNames(dir.path()), (std::set<std::string> { "f.txt" }));
}

TEST(FileRewrite, LinksFifosAndFoldersAreRefusedWithoutWaiting)
{
    TempDir dir;
    WriteBytes(dir / "target", "t");
    std::filesystem::create_symlink(dir / "target", dir / "link");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "folder");
    CFileRewrite link, fifo, folder, missing;
    EXPECT_EQ(link.Open(dir / "link"), CFileHandle::Opened::Link);
    EXPECT_EQ(fifo.Open(dir / "fifo"), CFileHandle::Opened::NotRegular);
    EXPECT_EQ(folder.Open(dir / "folder"), CFileHandle::Opened::NotRegular);
    EXPECT_EQ(missing.Open(dir / "missing"), CFileHandle::Opened::Failed);

    // Reading opens what a link leads to only when asked, and never a FIFO.
    CFileHandle file;
    EXPECT_EQ(file.OpenRegular(dir / "link", false), CFileHandle::Opened::Link);
    EXPECT_EQ(file.OpenRegular(dir / "link", true), CFileHandle::Opened::Yes);
    EXPECT_EQ(file.OpenRegular(dir / "fifo", true), CFileHandle::Opened::NotRegular);
    EXPECT_EQ(file.OpenRegular("/dev/null", true), CFileHandle::Opened::NotRegular);
}

TEST(FileRewrite, ANewFileIsCreatedWithTheUmasksMode)
{
    TempDir dir;
    const mode_t old = umask(027);
    CFileRewrite rewrite;
    const bool done = rewrite.OpenNew(dir / "n.txt") && rewrite.Begin() && rewrite.Write("n") && rewrite.Commit();
    umask(old);
    EXPECT_TRUE(done);
    EXPECT_EQ(ReadBytes(dir / "n.txt"), "n");
    EXPECT_EQ(ModeOf(dir / "n.txt"), 0640u);
    EXPECT_EQ(kel::test::FileNames(dir.path()), (std::set<std::string> { "n.txt" }));
}

// The temporary file, unnamed or named, must get a name that fits beside
// the longest name a folder takes.
TEST(FileRewrite, AFileWithTheLongestNameIsRewritten)
{
    TempDir dir;
    const std::string name(255, 'n');
    WriteBytes(dir / name, "old");
    EXPECT_TRUE(Rewrite(dir / name, "new")) << errno;
    kel::platform::SRewritePolicy named;
    named.namedTemporary = true;
    CFileRewrite rewrite(named);
    ASSERT_EQ(rewrite.Open(dir / name), CFileHandle::Opened::Yes);
    EXPECT_TRUE(rewrite.Begin() && rewrite.Write("newer") && rewrite.Commit()) << errno;
    EXPECT_EQ(ReadBytes(dir / name), "newer");
    EXPECT_EQ(kel::test::FileNames(dir.path()), (std::set<std::string> { name }));
}

// A page save follows a final link to the file it names; a link that leads
// nowhere is kept rather than turned into a file.
TEST(FileRewrite, AFollowedLinkStaysAndOneThatLeadsNowhereIsRefused)
{
    TempDir dir;
    WriteBytes(dir / "target", "old");
    std::filesystem::create_symlink(dir / "target", dir / "link");
    std::filesystem::create_symlink(dir / "missing", dir / "dangling");
    kel::platform::SRewritePolicy follow;
    follow.followLink = true;
    CFileRewrite rewrite(follow), dangling(follow);
    ASSERT_EQ(rewrite.OpenOrNew(dir / "link"), CFileHandle::Opened::Yes);
    EXPECT_TRUE(rewrite.Begin() && rewrite.Write("new") && rewrite.Commit());
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
    EXPECT_EQ(ReadBytes(dir / "target"), "new");
    EXPECT_EQ(dangling.OpenOrNew(dir / "dangling"), CFileHandle::Opened::Link);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "dangling"));
    EXPECT_EQ(kel::test::FileNames(dir.path()), (std::set<std::string> { "target", "link", "dangling" }));
}

TEST(StrictText, IllFormedBytesAreRefusedNotReplaced)
{
    std::wstring text;
    EXPECT_TRUE(kel::platform::Utf8ToWideStrict("a\xED\x95\x9C\xF0\x9F\x98\x80", text));
    EXPECT_EQ(text, L"a\xD55C\x1F600");
    for (const char* bad : { "\xC0\xAF", "\xED\xA0\x80", "\xF5\x80\x80\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\x80" })
        EXPECT_FALSE(kel::platform::Utf8ToWideStrict(bad, text)) << bad;

    const unsigned char pair[] = { 0x3D, 0xD8, 0x00, 0xDE, 0x41, 0x00 };
    EXPECT_TRUE(kel::platform::Utf16LEToWideStrict(pair, sizeof pair, text));
    EXPECT_EQ(text, L"\x1F600" L"A");
    const unsigned char lone[] = { 0x00, 0xDC, 0x41, 0x00 };
    EXPECT_FALSE(kel::platform::Utf16LEToWideStrict(lone, sizeof lone, text));
    EXPECT_FALSE(kel::platform::Utf16LEToWideStrict(pair, 3, text)); // an odd byte
    const unsigned char high[] = { 0x3D, 0xD8 };
    EXPECT_FALSE(kel::platform::Utf16LEToWideStrict(high, sizeof high, text));
}

TEST(StrictText, CodePageConversionsRefuseWhatTheyCannotCarry)
{
    using kel::platform::CodePage;
    std::wstring text;
    EXPECT_TRUE(kel::platform::MultiByteToWideStrict("\xC0\xBA\xC0\xBB", CodePage::Cp949, text));
    EXPECT_EQ(text, L"\xC740\xC744"); // "은을"
    EXPECT_FALSE(kel::platform::MultiByteToWideStrict("\xC0\xBA\xC0", CodePage::Cp949, text)); // cut short
    EXPECT_FALSE(kel::platform::MultiByteToWideStrict("\xA2\xE8", CodePage::Cp949, text));     // unassigned
    EXPECT_FALSE(kel::platform::MultiByteToWideStrict("\xFF\x41", CodePage::Cp949, text));

    std::string bytes;
    EXPECT_TRUE(kel::platform::WideToMultiByteStrict(L"\xC740\xC744", CodePage::Cp949, bytes));
    EXPECT_EQ(bytes, "\xC0\xBA\xC0\xBB");
    EXPECT_FALSE(kel::platform::WideToMultiByteStrict(L"thai \x0E01", CodePage::Cp949, bytes));
    EXPECT_FALSE(kel::platform::WideToMultiByteStrict(std::wstring(1, static_cast<wchar_t>(0xD800)), CodePage::Utf8, bytes));
}
