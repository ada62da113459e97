// CFileReplacement: a file takes its name only when committed, with the mode
// of the file it replaces; anything short of that leaves the old file alone.
#include "platform/FileReplacement.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using kel::platform::CFileReplacement;
using kel::test::ReadBytes;
using kel::test::TempDir;
using kel::test::WriteBytes;
using testing::ElementsAre;

namespace {

std::vector<std::string> Names(const TempDir& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

unsigned ModeOf(const std::string& path)
{
    struct stat info {};
    lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}

} // namespace

TEST(FileReplacement, TheOldFileStaysUntilCommitAndTakesTheNewBytesWithItsMode)
{
    TempDir folder;
    const std::string target = folder / "a.txt";
    WriteBytes(target, "old");
    chmod(target.c_str(), 0640);
    CFileReplacement file;
    int error = 0;
    ASSERT_TRUE(file.Open(target, error));
    ASSERT_TRUE(file.Write("new bytes", error));
    EXPECT_EQ(ReadBytes(target), "old");
    EXPECT_EQ(ReadBytes(file.WrittenName()), "new bytes");
    EXPECT_EQ(std::filesystem::path(file.WrittenName()).parent_path(), folder.path());
    EXPECT_EQ(ModeOf(file.WrittenName()), 0600u); // private until it is the file
    ASSERT_TRUE(file.Commit(error));
    EXPECT_EQ(ReadBytes(target), "new bytes");
    EXPECT_EQ(ModeOf(target), 0640u);
    EXPECT_THAT(Names(folder), ElementsAre("a.txt"));
}

TEST(FileReplacement, AnAbandonedFileLeavesNothingBehind)
{
    TempDir folder;
    const std::string target = folder / "a.txt";
    WriteBytes(target, "old");
    {
        CFileReplacement file;
        int error = 0;
        ASSERT_TRUE(file.Open(target, error));
        ASSERT_TRUE(file.Write("half", error));
    }
    EXPECT_EQ(ReadBytes(target), "old");
    EXPECT_THAT(Names(folder), ElementsAre("a.txt"));

    // A new name is not created either.
    CFileReplacement file;
    int error = 0;
    ASSERT_TRUE(file.Open(folder / "new.txt", error));
    file.Abandon();
    EXPECT_THAT(Names(folder), ElementsAre("a.txt"));
}

TEST(FileReplacement, ALinkStaysALinkAndTheFileItLeadsToIsReplaced)
{
    TempDir folder;
    std::filesystem::create_directories(folder.path() / "real");
    const std::string real = folder / "real/a.txt";
    WriteBytes(real, "old");
    const std::string link = folder / "link.txt";
    std::filesystem::create_symlink(real, link);
    CFileReplacement file;
    int error = 0;
    ASSERT_TRUE(file.Open(link, error));
    EXPECT_EQ(std::filesystem::path(file.WrittenName()).parent_path(), folder.path() / "real");
    ASSERT_TRUE(file.Write("new", error));
    ASSERT_TRUE(file.Commit(error));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(real), "new");
}

TEST(FileReplacement, TargetsThatCannotBeReplacedFailAtOnceAndStayAsTheyWere)
{
    TempDir folder;
    int error = 0;

    // Held by another transfer.
    const std::string held = folder / "held.txt";
    WriteBytes(held, "held");
    const int holder = open(held.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    CFileReplacement busy;
    EXPECT_FALSE(busy.Open(held, error));
    EXPECT_EQ(error, EBUSY);
    close(holder);

    // A pipe nobody reads is refused instead of waited on.
    const std::string fifo = folder / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CFileReplacement pipe;
    EXPECT_FALSE(pipe.Open(fifo, error));
    EXPECT_EQ(error, ENXIO);

    // A folder.
    CFileReplacement directory;
    EXPECT_FALSE(directory.Open(folder.path().string(), error));
    EXPECT_EQ(error, EISDIR);

    EXPECT_EQ(ReadBytes(held), "held");
    EXPECT_THAT(Names(folder), ElementsAre("fifo", "held.txt"));
}

TEST(FileReplacement, ADeviceIsWrittenStraight)
{
    CFileReplacement file;
    int error = 0;
    ASSERT_TRUE(file.Open("/dev/null", error));
    EXPECT_EQ(file.WrittenName(), "/dev/null");
    EXPECT_TRUE(file.Write("gone", error));
    EXPECT_TRUE(file.Commit(error));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}

TEST(FileReplacement, ALinkThatLeadsNowhereStaysALinkAndNothingIsWritten)
{
    TempDir folder;
    const std::string link = folder / "link.txt";
    std::filesystem::create_symlink(folder / "missing/a.txt", link);
    CFileReplacement file;
    int error = 0;
    EXPECT_FALSE(file.Open(link, error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_THAT(Names(folder), ElementsAre("link.txt"));
}

TEST(FileReplacement, APipeWithAReaderIsWrittenStraight)
{
    TempDir folder;
    const std::string fifo = folder / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    CFileReplacement file;
    int error = 0;
    ASSERT_TRUE(file.Open(fifo, error));
    EXPECT_EQ(file.WrittenName(), fifo);
    EXPECT_TRUE(file.Write("through", error));
    EXPECT_TRUE(file.Commit(error));
    char got[16] = {};
    EXPECT_EQ(read(reader, got, sizeof got), 7);
    EXPECT_EQ(std::string(got), "through");
    close(reader);
    EXPECT_THAT(Names(folder), ElementsAre("fifo"));
}

// The temporary file's name must fit beside the longest name a folder takes.
TEST(FileReplacement, AFileWithTheLongestNameIsReplaced)
{
    TempDir folder;
    const std::string target = folder / std::string(255, 'n');
    WriteBytes(target, "old");
    CFileReplacement file;
    int error = 0;
    ASSERT_TRUE(file.Open(target, error)) << error;
    ASSERT_TRUE(file.Write("new", error));
    ASSERT_TRUE(file.Commit(error)) << error;
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_THAT(Names(folder), ElementsAre(std::string(255, 'n')));
}
