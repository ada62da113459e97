#include "KelFileFind.h"

#include "DeepTree.h"
#include "TestSupport.h"
#include "platform/FileName.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

namespace {

// Records what the walk reports; paths relative to the starting folder.
class RecordingFind : public CKelFileFind {
public:
    explicit RecordingFind(std::wstring root) : m_root(std::move(root)) {}

    void vFoundFolder(const wchar_t* path, const wchar_t* name) override
    {
        folders.push_back(Relative(path));
        folderNames.push_back(name);
        events.push_back(L"D " + Relative(path));
    }
    void vFoundFile(const wchar_t* path, const wchar_t* name, const wchar_t* title) override
    {
        files.push_back(Relative(path));
        fileNames.push_back(name);
        titles.push_back(title);
        events.push_back(L"F " + Relative(path));
    }
    std::vector<std::wstring> folders, folderNames, files, fileNames, titles, events;

private:
    std::wstring Relative(const wchar_t* path) const
    {
        std::wstring text(path);
        return text.rfind(m_root, 0) == 0 ? text.substr(m_root.size()) : L"!" + text;
    }
    std::wstring m_root;
};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class FileFindTest : public ::testing::Test {
protected:
    void Make(const std::string& relative)
    {
        const fs::path path = m_dir.path() / relative;
        fs::create_directories(path.parent_path());
        kel::test::WriteBytes(path.string(), "x");
    }
    void MakeFolder(const std::string& relative) { fs::create_directories(m_dir.path() / relative); }
    std::wstring Root() const { return Wide(m_dir.path().string()); }
    RecordingFind Walk(const wchar_t* extensions, int subFolders, int hidden)
    {
        RecordingFind find(Root() + L"/");
        find.FindFoldersFiles(Root().c_str(), extensions, subFolders, hidden);
        return find;
    }

    kel::test::TempDir m_dir;
};

} // namespace

TEST_F(FileFindTest, ExtensionsMatchCaseSensitivelyAtTheEndOfTheName)
{
    Make("a.txt");
    Make("b.cpp");
    Make("C.TXT");
    Make("a.txt.bak");
    Make("mytxt");
    Make("notes.h");
    RecordingFind find = Walk(L".txt,.cpp", 1, 0);
    EXPECT_THAT(find.files, UnorderedElementsAre(L"a.txt", L"b.cpp"));

    // A token without a dot matches any name that ends with it.
    find = Walk(L"txt", 1, 0);
    EXPECT_THAT(find.files, UnorderedElementsAre(L"a.txt", L"mytxt"));
}

// A finder may ask for names matched without case: Unicode's simple
// folding, the same as the registry's names.
TEST_F(FileFindTest, ExtensionsMatchWithoutCaseWhenTheFinderAsks)
{
    Make("a.txt");
    Make("C.TXT");
    Make("d.Cpp");
    Make("e.\xC3\x84"); // "Ä"
    Make("f.tx");
    struct CaseBlindFind : RecordingFind {
        using RecordingFind::RecordingFind;
        void IgnoreCase() { m_bIgnoreCase = true; }
    } find(Root() + L"/");
    find.IgnoreCase();
    find.FindFoldersFiles(Root().c_str(), L".txt,CPP,\x00E4", 1, 0);
    EXPECT_THAT(find.files, UnorderedElementsAre(L"a.txt", L"C.TXT", L"d.Cpp", L"e.\x00C4"));
}

TEST_F(FileFindTest, EmptyTokensAreSkippedAndBlanksKept)
{
    Make("a.txt");
    Make("b.h");
    Make("c .h");
    EXPECT_THAT(Walk(L",,.txt,,", 1, 0).files, ElementsAre(L"a.txt"));
    EXPECT_THAT(Walk(L" .h", 1, 0).files, ElementsAre(L"c .h"));
    EXPECT_THAT(Walk(L"", 1, 0).files, IsEmpty());
    // A token longer than the name never matches it.
    EXPECT_THAT(Walk(L"xb.h", 1, 0).files, IsEmpty());
}

TEST_F(FileFindTest, ReportsNameAndTitle)
{
    Make("main.cpp");
    Make("archive.tar.cpp");
    RecordingFind find = Walk(L".cpp", 1, 0);
    ASSERT_EQ(find.files.size(), 2u);
    for (size_t i = 0; i < find.files.size(); ++i) {
        EXPECT_EQ(find.fileNames[i], find.files[i]);
        EXPECT_EQ(find.titles[i], find.fileNames[i].substr(0, find.fileNames[i].size() - 4));
    }
}

TEST_F(FileFindTest, FolderComesBeforeItsContentsAndContentsBeforeNextSibling)
{
    Make("one/a.h");
    Make("one/deep/b.h");
    Make("two/c.h");
    Make("top.h");
    RecordingFind find = Walk(L".h", 1, 0);
    EXPECT_THAT(find.folders, UnorderedElementsAre(L"one", L"one/deep", L"two"));
    EXPECT_THAT(find.files, UnorderedElementsAre(L"one/a.h", L"one/deep/b.h", L"two/c.h", L"top.h"));
    EXPECT_THAT(find.folderNames, UnorderedElementsAre(L"one", L"deep", L"two"));

    // Each entry's position: everything under a folder sits right after it,
    // before whatever comes next from the parent.
    for (size_t i = 0; i < find.events.size(); ++i) {
        if (find.events[i][0] != L'D')
            continue;
        const std::wstring prefix = find.events[i].substr(2) + L"/";
        size_t j = i + 1;
        while (j < find.events.size() && find.events[j].substr(2).rfind(prefix, 0) == 0)
            ++j;
        for (size_t k = j; k < find.events.size(); ++k)
            EXPECT_NE(find.events[k].substr(2).rfind(prefix, 0), 0u);
    }
}

TEST_F(FileFindTest, WithoutSubFoldersReportsFoldersButNotTheirFiles)
{
    Make("sub/inner.h");
    Make("sub/nested/x.h");
    Make("here.h");
    for (int subFolders : {0, 2, -1}) {
        RecordingFind find = Walk(L".h", subFolders, 0);
        EXPECT_THAT(find.folders, ElementsAre(L"sub"));
        EXPECT_THAT(find.files, ElementsAre(L"here.h"));
    }
}

TEST_F(FileFindTest, HiddenEntriesNeedTheHiddenFlag)
{
    Make(".hidden/inside.h");
    Make(".secret.h");
    Make("open/.dot.h");
    Make("open/seen.h");
    RecordingFind find = Walk(L".h", 1, 0);
    EXPECT_THAT(find.folders, ElementsAre(L"open"));
    EXPECT_THAT(find.files, ElementsAre(L"open/seen.h"));

    find = Walk(L".h", 1, 1);
    EXPECT_THAT(find.folders, UnorderedElementsAre(L".hidden", L"open"));
    EXPECT_THAT(find.files, UnorderedElementsAre(L".hidden/inside.h", L".secret.h", L"open/.dot.h", L"open/seen.h"));
}

TEST_F(FileFindTest, MissingOrUnreadableFoldersReportNothing)
{
    RecordingFind missing(L"");
    missing.FindFoldersFiles((Root() + L"/absent").c_str(), L".h", 1, 1);
    EXPECT_THAT(missing.events, IsEmpty());
    missing.FindFoldersFiles(L"", L".h", 0, 0);
    EXPECT_THAT(missing.events, IsEmpty());
    kel::test::TempDir other;
    kel::test::WriteBytes(other / "plain.h", "x");
    missing.FindFoldersFiles(Wide(other / "plain.h").c_str(), L".h", 1, 1); // a file is no folder
    EXPECT_THAT(missing.events, IsEmpty());

    Make("locked/x.h");
    Make("free/y.h");
    fs::permissions(m_dir.path() / "locked", fs::perms::none);
    RecordingFind find = Walk(L".h", 1, 0);
    fs::permissions(m_dir.path() / "locked", fs::perms::owner_all);
    EXPECT_THAT(find.folders, UnorderedElementsAre(L"locked", L"free"));
    if (geteuid() != 0) { // root reads any folder
        EXPECT_THAT(find.files, ElementsAre(L"free/y.h"));
    }
}

TEST_F(FileFindTest, LinksAreNeverFollowedIntoFoldersAndDanglingLinksAreFiles)
{
    Make("real/a.h");
    Make("target.h");
    fs::create_directory_symlink(m_dir.path(), m_dir.path() / "real" / "loop");
    fs::create_symlink(m_dir.path() / "target.h", m_dir.path() / "alias.h");
    fs::create_symlink(m_dir.path() / "gone.h", m_dir.path() / "dangling.h");
    RecordingFind find = Walk(L".h", 1, 0);
    EXPECT_THAT(find.folders, UnorderedElementsAre(L"real", L"real/loop"));
    // A link that leads nowhere is still an entry that is not a folder.
    EXPECT_THAT(find.files, UnorderedElementsAre(L"real/a.h", L"target.h", L"alias.h", L"dangling.h"));
    EXPECT_THAT(Walk(L"dangling.h", 1, 0).titles, ElementsAre(L"dangling"));
}

TEST_F(FileFindTest, TrailingSlashAndNonAsciiNames)
{
    Make("폴더/문서.txt");
    RecordingFind find(Root() + L"/");
    find.FindFoldersFiles((Root() + L"/").c_str(), L".txt", 1, 0);
    EXPECT_THAT(find.folders, ElementsAre(L"폴더"));
    EXPECT_THAT(find.files, ElementsAre(L"폴더/문서.txt"));
    EXPECT_THAT(find.titles, ElementsAre(L"문서"));
}

TEST_F(FileFindTest, NamesThatAreNotTextKeepTheirBytes)
{
    // A lone lead byte, bytes that never occur in UTF-8, an encoded
    // surrogate, and a real U+FFFD beside them.
    Make("bad\xff.txt");
    Make("dir\xc3/in\xed\xb2\x80.txt");
    Make("ok\xef\xbf\xbd.txt");
    RecordingFind find = Walk(L".txt", 1, 0);
    EXPECT_THAT(find.folders, ElementsAre(std::wstring(L"dir\xDCC3")));
    EXPECT_THAT(find.files, UnorderedElementsAre(std::wstring(L"bad\xDCFF.txt"),
                                                 std::wstring(L"dir\xDCC3/in\xDCED\xDCB2\xDC80.txt"),
                                                 std::wstring(L"ok\xFFFD.txt")));
    EXPECT_THAT(find.titles, ::testing::Contains(std::wstring(L"bad\xDCFF")));

    // Every reported path names its file again.
    for (const std::wstring& file : find.files) {
        const std::string bytes = kel::platform::NarrowPath((Root() + L"/" + file).c_str());
        EXPECT_TRUE(fs::is_regular_file(bytes)) << bytes;
    }
}

TEST_F(FileFindTest, TreesDeeperThanTheOpenFileLimitAreWalkedWhole)
{
    // 2500 levels, each with a file, walked under a limit of 64 open files.
    constexpr int kDepth = 2500;
    ASSERT_TRUE(kel::test::MakeFolderChain(m_dir.path().string(), kDepth, "d", "f.h"));
    const bool whole = kel::test::RunWithFileLimit(64, [this] {
        RecordingFind find = Walk(L".h", 1, 0);
        std::wstring deepest;
        for (int level = 0; level < kDepth; ++level)
            deepest += L"d/";
        return find.folders.size() == kDepth && find.files.size() == kDepth
            && find.folders.back() + L"/" == deepest
            && std::count(find.files.begin(), find.files.end(), deepest + L"f.h") == 1;
    });
    kel::test::RemoveTree(m_dir / "d");
    EXPECT_TRUE(whole);
}

TEST_F(FileFindTest, DeepTreesAreWalkedWhole)
{
    std::string path;
    for (int level = 0; level < 60; ++level)
        path += "level" + std::to_string(level) + "/";
    Make(path + "bottom.h");
    RecordingFind find = Walk(L".h", 1, 0);
    EXPECT_EQ(find.folders.size(), 60u);
    ASSERT_EQ(find.files.size(), 1u);
    EXPECT_EQ(find.files[0], Wide(path + "bottom.h"));
}

namespace {

// Starts a second walk from inside a hook, as a derived class may.
class NestingFind : public RecordingFind {
public:
    NestingFind(std::wstring root, std::wstring other) : RecordingFind(std::move(root)), m_other(std::move(other)) {}
    void vFoundFolder(const wchar_t* path, const wchar_t* name) override
    {
        RecordingFind::vFoundFolder(path, name);
        if (std::wstring(name) == L"nest") {
            FindFoldersFiles(m_other.c_str(), L".h", 1, 0);
        }
    }

private:
    std::wstring m_other;
};

} // namespace

TEST_F(FileFindTest, AWalkStartedFromAHookLeavesTheOuterWalkIntact)
{
    Make("nest/inside.h");
    Make("after.h");
    kel::test::TempDir other;
    kel::test::WriteBytes(other / "elsewhere.h", "x");
    NestingFind find(Root() + L"/", Wide(other.path().string()));
    find.FindFoldersFiles(Root().c_str(), L".h", 1, 0);
    // The inner walk's file is reported with its own full path.
    EXPECT_THAT(find.files, UnorderedElementsAre(L"nest/inside.h", L"after.h", L"!" + Wide(other / "elsewhere.h")));
}
