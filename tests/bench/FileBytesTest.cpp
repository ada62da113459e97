// Whole-file reading and saving of the pages: only regular files are read
// and nothing waits on a FIFO; a save replaces the file whole, keeps its
// mode, writes through a link to the file it names, and leaves no temporary
// file, also when the content cannot be produced.
#include "BenchTestSupport.h"
#include "TestSupport.h"

#include <FileBytes.h>
#include <Progress.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sys/stat.h>

using namespace kel::test;

namespace {

} // namespace

TEST(FileBytes, ReadsOnlyRegularFilesAndNeverWaitsOnAFifo)
{
    TempDir dir;
    WriteBytes(dir / "file", "content");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir / "file", dir / "link");
    CByteBuffer buffer;
    EXPECT_FALSE(kel::bench::ReadFileIntoBuffer(Wide(dir / "fifo"), buffer));
    EXPECT_FALSE(kel::bench::ReadFileStart(Wide(dir / "fifo"), 10, buffer));
    EXPECT_FALSE(kel::bench::ReadFileIntoBuffer(Wide(dir.path().string()), buffer));
    // A file the user chose through a link is read; a link met in a search
    // is not followed.
    ASSERT_TRUE(kel::bench::ReadFileIntoBuffer(Wide(dir / "link"), buffer));
    EXPECT_EQ(buffer.View(), "content");
    EXPECT_FALSE(kel::bench::ReadFileStart(Wide(dir / "link"), 10, buffer));
}

TEST(FileBytes, ASaveKeepsTheModeAndWritesThroughALink)
{
    TempDir dir;
    WriteBytes(dir / "private", "old");
    ASSERT_EQ(chmod((dir / "private").c_str(), 0600), 0);
    kel::bench::WriteWholeFile(Wide(dir / "private"), "new", nullptr);
    EXPECT_EQ(ReadBytes(dir / "private"), "new");
    struct stat info {};
    ASSERT_EQ(stat((dir / "private").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    std::filesystem::create_symlink(dir / "private", dir / "link");
    kel::bench::WriteWholeFile(Wide(dir / "link"), "through", nullptr);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
    EXPECT_EQ(ReadBytes(dir / "private"), "through");
    EXPECT_EQ(kel::test::FileNames(dir.path()), (std::set<std::string> { "link", "private" }));
}

TEST(FileBytes, ASaveThatStopsLeavesTheOldFileAndNoTemporary)
{
    TempDir dir;
    WriteBytes(dir / "kept", "old");
    EXPECT_THROW(kel::bench::WriteWholeFile(Wide(dir / "kept"),
                     [](const kel::bench::ByteSink& sink) {
                         sink("half");
                         throw kel::bench::SCancelled();
                     }),
        kel::bench::SCancelled);
    EXPECT_EQ(ReadBytes(dir / "kept"), "old");
    EXPECT_EQ(kel::test::FileNames(dir.path()), (std::set<std::string> { "kept" }));
}
