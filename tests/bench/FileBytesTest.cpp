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
#include <random>
#include <set>
#include <sys/stat.h>

using namespace kel::test;

namespace {

std::string RandomText(size_t count)
{
    std::mt19937 random(7);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

} // namespace

TEST(FileBytes, AFileOfManyBlocksArrivesWholeAndInOrderInPiecesOfAtMostABlock)
{
    TempDir dir;
    const std::string content = RandomText(7 * kel::bench::kProgressBlock + 5);
    WriteBytes(dir / "big", content);
    std::string seen;
    size_t largest = 0;
    CountingProgress progress;
    CByteBuffer buffer;
    ASSERT_TRUE(kel::bench::ReadFileIntoBuffer(Wide(dir / "big"), buffer, &progress, [&](const BYTE* data, size_t count) {
        seen.append(reinterpret_cast<const char*>(data), count);
        largest = std::max(largest, count);
    }));
    EXPECT_EQ(buffer.View(), content);
    EXPECT_EQ(seen, content);
    EXPECT_LE(largest, kel::bench::kProgressBlock);
    EXPECT_GE(progress.Steps(), 8); // a report before each piece at least
    EXPECT_EQ(buffer.Data()[buffer.Count()], 0); // the zero after the bytes

    WriteBytes(dir / "empty", "");
    ASSERT_TRUE(kel::bench::ReadFileIntoBuffer(Wide(dir / "empty"), buffer, nullptr, [&](const BYTE*, size_t) {
        ADD_FAILURE() << "no block in an empty file";
    }));
    EXPECT_TRUE(buffer.IsEmpty());
}

TEST(FileBytes, AReadStoppedHalfwayLeavesTheBufferAsItWas)
{
    TempDir dir;
    WriteBytes(dir / "big", RandomText(6 * kel::bench::kProgressBlock));
    CByteBuffer buffer = CByteBuffer::Copy("before");
    CountingProgress stopAtThird(3);
    size_t seen = 0;
    EXPECT_THROW(kel::bench::ReadFileIntoBuffer(Wide(dir / "big"), buffer, &stopAtThird,
                     [&](const BYTE*, size_t count) { seen += count; }),
        kel::bench::SCancelled);
    EXPECT_EQ(buffer.View(), "before");
    EXPECT_LT(seen, 6 * kel::bench::kProgressBlock);
}

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

TEST(FileBytes, ASaveIsReportedWhileTheDiskCatchesUpAndCanStillBeCancelledThen)
{
    TempDir dir;
    WriteBytes(dir / "kept", "old");
    const std::string content = RandomText(20 * 1024 * 1024);
    // The content is produced without a report: every report comes from
    // waiting for the disk, and the first one stops the save.
    CountingProgress stopAtFirst(1);
    EXPECT_THROW(kel::bench::WriteWholeFile(Wide(dir / "kept"),
                     [&](const kel::bench::ByteSink& sink) { sink(content); }, &stopAtFirst),
        kel::bench::SCancelled);
    EXPECT_EQ(stopAtFirst.Steps(), 1);
    EXPECT_EQ(ReadBytes(dir / "kept"), "old");
    EXPECT_EQ(kel::test::FileNames(dir.path()), (std::set<std::string> { "kept" }));

    CountingProgress progress;
    kel::bench::WriteWholeFile(Wide(dir / "kept"), [&](const kel::bench::ByteSink& sink) { sink(content); }, &progress);
    EXPECT_GE(progress.Steps(), 5); // 20 MB in pieces of a few MB
    EXPECT_EQ(ReadBytes(dir / "kept"), content);
    EXPECT_EQ(kel::test::FileNames(dir.path()), (std::set<std::string> { "kept" }));
}
