#include "KelFileOperation.h"

#include "TestSupport.h"
#include "Unprivileged.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using kel::test::ReadBytes;
using kel::test::WriteBytes;

namespace {

std::wstring Wide(const fs::path& path)
{
    const std::string text = path.string();
    return std::wstring(text.begin(), text.end());
}

class FileOperationTest : public ::testing::Test {
protected:
    fs::path At(const std::string& relative) const { return m_dir.path() / relative; }
    void Make(const std::string& relative, const std::string& bytes = "x")
    {
        fs::create_directories(At(relative).parent_path());
        WriteBytes(At(relative).string(), bytes);
    }

    kel::test::SharedTempDir m_dir;
};

} // namespace

TEST(FileOperationDots, OnlyOneOrTwoDots)
{
    EXPECT_EQ(CKelFileOperation::IsDots(L"."), 1);
    EXPECT_EQ(CKelFileOperation::IsDots(L".."), 1);
    EXPECT_EQ(CKelFileOperation::IsDots(L"..."), 0);
    EXPECT_EQ(CKelFileOperation::IsDots(L".a"), 0);
    EXPECT_EQ(CKelFileOperation::IsDots(L""), 0);
    EXPECT_EQ(CKelFileOperation::IsDots(nullptr), 0);
}

TEST_F(FileOperationTest, DeletesNestedTreeWithReadOnlyEntries)
{
    Make("tree/a.txt");
    Make("tree/sub/b.txt");
    Make("tree/sub/deeper/c.txt");
    Make("tree/.hidden");
    fs::permissions(At("tree/sub/b.txt"), fs::perms::owner_read);
    fs::create_directories(At("tree/readonly"));
    Make("tree/readonly/d.txt");
    fs::permissions(At("tree/readonly"), fs::perms::owner_read | fs::perms::owner_exec);

    EXPECT_NE(CKelFileOperation::DeleteDirectory(Wide(At("tree")).c_str()), 0);
    EXPECT_FALSE(fs::exists(At("tree")));
}

TEST_F(FileOperationTest, ReadOnlyFoldersHoldingFoldersAreDeleted)
{
    // As a package cache leaves them: every folder read-only, folders inside.
    Make("tree/ro/inner/deeper/leaf.txt");
    Make("tree/ro/file.txt");
    for (const char* folder : {"tree/ro/inner/deeper", "tree/ro/inner", "tree/ro"})
        fs::permissions(At(folder), fs::perms::owner_read | fs::perms::owner_exec);

    const std::wstring tree = Wide(At("tree"));
    // Root may remove anything, so an ordinary user does the deleting.
    EXPECT_TRUE(kel::test::RunUnprivileged(m_dir.path(), [&] { EXPECT_NE(CKelFileOperation::DeleteDirectory(tree.c_str()), 0); }));
    EXPECT_FALSE(fs::exists(At("tree")));
}

TEST_F(FileOperationTest, MissingFolderOrPlainFileGivesZero)
{
    EXPECT_EQ(CKelFileOperation::DeleteDirectory(Wide(At("absent")).c_str()), 0);
    Make("file.txt");
    EXPECT_EQ(CKelFileOperation::DeleteDirectory(Wide(At("file.txt")).c_str()), 0);
    EXPECT_TRUE(fs::exists(At("file.txt")));
    EXPECT_EQ(CKelFileOperation::DeleteDirectory(L""), 0);
    EXPECT_EQ(CKelFileOperation::DeleteDirectory(L"///"), 0);
    EXPECT_EQ(CKelFileOperation::DeleteDirectory(nullptr), 0);
}

TEST_F(FileOperationTest, LinksAreRemovedAsLinksAndTargetsKept)
{
    Make("outside/keep.txt", "precious");
    Make("tree/inner.txt");
    fs::create_directory_symlink(At("outside"), At("tree/to-outside"));
    fs::create_symlink(At("outside/keep.txt"), At("tree/file-link"));
    fs::create_directory_symlink(At("tree"), At("tree/loop"));

    EXPECT_NE(CKelFileOperation::DeleteDirectory(Wide(At("tree")).c_str()), 0);
    EXPECT_FALSE(fs::exists(At("tree")));
    EXPECT_EQ(ReadBytes(At("outside/keep.txt").string()), "precious");

    // A link given as the folder goes; what it points to stays.
    fs::create_directory_symlink(At("outside"), At("top-link"));
    EXPECT_NE(CKelFileOperation::DeleteDirectory(Wide(At("top-link")).c_str()), 0);
    EXPECT_FALSE(fs::is_symlink(At("top-link")));
    EXPECT_TRUE(fs::exists(At("outside/keep.txt")));
}

TEST_F(FileOperationTest, PathsBeyondTheOldLimitAreHandled)
{
    std::string deep = "tree";
    while (deep.size() < 600)
        deep += "/a-fairly-long-folder-name";
    Make(deep + "/leaf.txt");
    EXPECT_GT(Wide(At(deep)).size(), 259u);
    EXPECT_NE(CKelFileOperation::DeleteDirectory(Wide(At("tree")).c_str()), 0);
    EXPECT_FALSE(fs::exists(At("tree")));
}

TEST_F(FileOperationTest, RenameMovesWhenTheTargetIsFree)
{
    Make("old.txt", "one");
    CKelFileSHOperation::rename(Wide(At("old.txt")).c_str(), Wide(At("new.txt")).c_str());
    EXPECT_FALSE(fs::exists(At("old.txt")));
    EXPECT_EQ(ReadBytes(At("new.txt").string()), "one");
}

TEST_F(FileOperationTest, RenameNeverOverwritesAndNumbersTheName)
{
    Make("a.txt", "first");
    Make("b.txt", "second");
    Make("c.txt", "third");
    CKelFileSHOperation::rename(Wide(At("a.txt")).c_str(), Wide(At("b.txt")).c_str());
    EXPECT_EQ(ReadBytes(At("b.txt").string()), "second");
    EXPECT_EQ(ReadBytes(At("b (2).txt").string()), "first");
    CKelFileSHOperation::rename(Wide(At("c.txt")).c_str(), Wide(At("b.txt")).c_str());
    EXPECT_EQ(ReadBytes(At("b (3).txt").string()), "third");
    EXPECT_FALSE(fs::exists(At("a.txt")));
    EXPECT_FALSE(fs::exists(At("c.txt")));
}

TEST_F(FileOperationTest, RenameNumbersFoldersAndDotFilesWholeName)
{
    Make("dir1/x");
    Make("dir2/y");
    CKelFileSHOperation::rename(Wide(At("dir1")).c_str(), Wide(At("dir2")).c_str());
    EXPECT_TRUE(fs::exists(At("dir2 (2)/x")));
    EXPECT_TRUE(fs::exists(At("dir2/y")));

    Make(".profile", "p");
    Make("other", "o");
    CKelFileSHOperation::rename(Wide(At("other")).c_str(), Wide(At(".profile")).c_str());
    EXPECT_EQ(ReadBytes(At(".profile (2)").string()), "o");
}

TEST_F(FileOperationTest, RenameOfMissingSourceChangesNothing)
{
    Make("there.txt", "t");
    CKelFileSHOperation::rename(Wide(At("absent.txt")).c_str(), Wide(At("there.txt")).c_str());
    EXPECT_EQ(ReadBytes(At("there.txt").string()), "t");
    EXPECT_FALSE(fs::exists(At("there (2).txt")));
    CKelFileSHOperation::rename(Wide(At("there.txt")).c_str(), Wide(At("there.txt")).c_str());
    EXPECT_EQ(ReadBytes(At("there.txt").string()), "t");
}
