// Deletion of trees deeper than the open-file limit, of names that are not
// text, and the guard that keeps the root of the system.
#include "KelFileOperation.h"

#include "DeepTree.h"
#include "TestSupport.h"
#include "platform/FileName.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sched.h>
#include <string>
#include <sys/stat.h>

namespace fs = std::filesystem;
using kel::platform::WidePath;

TEST(FileOperationTree, DeletesTreesDeeperThanTheOpenFileLimit)
{
    kel::test::TempDir dir;
    const std::string top = dir / "top";
    fs::create_directory(top);
    ASSERT_TRUE(kel::test::MakeFolderChain(top, 1100, "d", "f"));
    // Some levels without write permission, as read-only folders would be.
    fs::permissions(top + "/d/d", fs::perms::owner_read | fs::perms::owner_exec);

    const bool deleted = kel::test::RunWithFileLimit(64, [&top] {
        return CKelFileOperation::DeleteDirectory(WidePath(top).c_str()) != 0;
    });
    const bool gone = !fs::exists(top);
    if (!gone)
        kel::test::RemoveTree(top);
    EXPECT_TRUE(deleted);
    EXPECT_TRUE(gone);
}

TEST(FileOperationTree, NamesThatAreNotTextAreDeletedAndRenamed)
{
    kel::test::TempDir dir;
    const std::string folder = dir / "bad\xff";
    fs::create_directories(folder + "/sub\xc3");
    kel::test::WriteBytes(folder + "/sub\xc3/x\xfe", "x");
    kel::test::WriteBytes(dir / "old\x80.txt", "moved");

    CKelFileSHOperation::rename(WidePath(dir / "old\x80.txt").c_str(), WidePath(dir / "new\xed\xa0\x80.txt").c_str());
    EXPECT_EQ(kel::test::ReadBytes(dir / "new\xed\xa0\x80.txt"), "moved");
    EXPECT_FALSE(fs::exists(dir / "old\x80.txt"));

    EXPECT_NE(CKelFileOperation::DeleteDirectory(WidePath(folder).c_str()), 0);
    EXPECT_FALSE(fs::exists(folder));
}

TEST(FileOperationTree, AFolderNamedWithDotsIsTheFolderItResolvesTo)
{
    kel::test::TempDir dir;
    fs::create_directories(dir / "a/b/c");
    kel::test::WriteBytes(dir / "a/b/c/f", "x");
    kel::test::WriteBytes(dir / "a/keep", "x");
    EXPECT_NE(CKelFileOperation::DeleteDirectory(WidePath(dir / "a/b/c/..").c_str()), 0);
    EXPECT_FALSE(fs::exists(dir / "a/b"));
    EXPECT_TRUE(fs::exists(dir / "a/keep"));
}

namespace {

// Runs `body` in a child process whose root is `root` (a private user
// namespace lets an ordinary user do it), so that a guard that fails can
// only reach that folder. False when the child could not get there.
bool RunWithRoot(const std::string& root, const std::function<bool()>& body)
{
    return kel::test::RunWithFileLimit(256, [&] {
        if (geteuid() != 0 && unshare(CLONE_NEWUSER) != 0)
            return false;
        return chroot(root.c_str()) == 0 && chdir("/") == 0 && body();
    });
}

} // namespace

TEST(FileOperationTree, TheSystemRootIsKeptUnderEverySpelling)
{
    kel::test::TempDir root;
    fs::create_directories(root / "tmp/sub");
    fs::create_directories(root / "mnt");
    fs::create_directory_symlink("/", root / "mnt/root");
    kel::test::WriteBytes(root / "canary", "x");
    kel::platform::NarrowPath(L"."); // reads the code page before the root changes

    if (!RunWithRoot(root.path().string(), [] { return true; }))
        GTEST_SKIP() << "no private root for a child process here";
    const bool refused = RunWithRoot(root.path().string(), [] {
        for (const wchar_t* spelling : {L"/", L"//", L"/.", L"/./", L"/tmp/..", L"/tmp/sub/../..", L"/mnt/root/."}) {
            if (CKelFileOperation::DeleteDirectory(spelling) != 0)
                return false;
        }
        return true;
    });
    EXPECT_TRUE(refused);
    EXPECT_TRUE(fs::exists(root / "canary"));
    EXPECT_TRUE(fs::exists(root / "tmp/sub"));
}
