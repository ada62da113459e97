#include "BenchTestSupport.h"
#include "TestSupport.h"

#include <DevFileFind.h>
#include <PageFiles.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace kel::test;

namespace {

// A list of planned names, all checked unless listed in `unchecked`.
CPageFiles PageWithNames(const std::vector<std::wstring>& names, const std::vector<int>& unchecked = {})
{
    CPageFiles page;
    for (const std::wstring& name : names) {
        const int row = page.List().InsertItem(page.List().GetItemCount());
        page.List().SetItemText(row, CFileList::kName, name.c_str());
        page.List().SetItemText(row, CFileList::kNewName, name.c_str());
        page.List().SetCheck(row, true);
    }
    for (int row : unchecked)
        page.List().SetCheck(row, false);
    return page;
}

std::vector<std::wstring> Column(const CPageFiles& page, int column)
{
    std::vector<std::wstring> texts;
    for (int row = 0; row < page.List().GetItemCount(); ++row)
        texts.push_back(page.List().GetItemText(row, column).str());
    return texts;
}

} // namespace

TEST(PageFilesSearch, RowsAreTheFoundFilesInReverseOrderAllChecked)
{
    TempDir dir;
    WriteBytes(dir / "a.txt", "");
    std::filesystem::create_directory(dir / "sub");
    WriteBytes(dir / "sub/b.cpp", "");
    WriteBytes(dir / "c.bin", "");
    WriteBytes(dir / "noext", "");

    // The order the walk reports them in, recorded by a finder of our own.
    struct Recorder : CKelFileFind {
        std::vector<std::wstring> files;
        void vFoundFolder(const wchar_t*, const wchar_t*) override {}
        void vFoundFile(const wchar_t* path, const wchar_t*, const wchar_t*) override { files.push_back(path); }
    } recorder;
    recorder.FindFoldersFiles(Wide(dir.path().string()), L"txt,cpp", 1, 0);
    ASSERT_EQ(recorder.files.size(), 2u);

    CPageFiles page;
    page.m_strFolder = Wide(dir.path().string());
    page.m_strExtensions = L"txt,cpp";
    page.m_bSubFolders = true;
    page.Search();
    ASSERT_EQ(page.List().GetItemCount(), 2);
    for (int row = 0; row < 2; ++row) {
        const std::wstring reported = recorder.files[1 - row];
        const CStringW& dirText = page.List().GetItemText(row, CFileList::kPath);
        EXPECT_EQ(dirText + page.List().GetItemText(row, CFileList::kName) + L"."
                + page.List().GetItemText(row, CFileList::kExtension), CStringW(reported));
        EXPECT_EQ(dirText.GetAt(dirText.GetLength() - 1), L'/');
        EXPECT_TRUE(page.List().GetCheck(row));
        EXPECT_EQ(page.List().GetItemText(row, CFileList::kNewName), page.List().GetItemText(row, CFileList::kName));
        EXPECT_EQ(page.List().GetItemText(row, CFileList::kCharset), L"");
        EXPECT_EQ(page.List().GetItemText(row, CFileList::kNewExtension), L"");
    }

    // Without sub-folders only a.txt is found.
    page.m_bSubFolders = false;
    page.Search();
    EXPECT_EQ(Column(page, CFileList::kName), (std::vector<std::wstring> { L"a" }));
}

TEST(PageFilesSearch, EmptyFolderTextKeepsRowsButUndoesPlannedNames)
{
    CPageFiles page = PageWithNames({ L"log", L"data" });
    page.AddText(L"new_", CPageFiles::kBeforeName);
    page.Search();
    EXPECT_EQ(Column(page, CFileList::kNewName), (std::vector<std::wstring> { L"log", L"data" }));
}

TEST(PageFilesSearch, MissingFolderGivesAnEmptyList)
{
    CPageFiles page = PageWithNames({ L"x" });
    page.m_strFolder = L"/no/such/folder";
    page.Search();
    EXPECT_EQ(page.List().GetItemCount(), 0);
}

// Names are matched the way the file names of the page's home platform are:
// without case, by Unicode's simple folding (final sigma included).
TEST(PageFilesSearch, ExtensionsMatchWithoutCase)
{
    TempDir dir;
    for (const std::wstring name : { L"a.txt", L"c.TXT", L"d.Txt", L"e.\x03A3\x0391\x03A3", L"f.text", L"g.TX" })
        WriteBytes(dir / Narrow(name), "");
    CPageFiles page;
    page.m_strFolder = Wide(dir.path().string());
    page.m_strExtensions = L"txt,\x03C3\x03B1\x03C2"; // "σας"
    page.Search();
    std::vector<std::wstring> names = Column(page, CFileList::kName);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring> { L"a", L"c", L"d", L"e" }));
    const std::vector<std::wstring> extensions = Column(page, CFileList::kExtension);
    EXPECT_NE(std::find(extensions.begin(), extensions.end(), L"TXT"), extensions.end()); // shown as on disk
}

TEST(DevFileFind, SplitsLikeThePathSplitterAndTrimsTheExtensionDots)
{
    CFileList list;
    CDevFileFind finder(list);
    finder.vFoundFile(L"/src/lib/main.cpp", L"main.cpp", L"main");
    finder.vFoundFile(L"/src/Makefile", L"Makefile", L"Makefile");
    finder.vFoundFile(L"/src/archive.tar.gz", L"archive.tar.gz", L"archive.tar");
    finder.vFoundFile(L"/src/odd..", L"odd..", L"odd.");
    ASSERT_EQ(list.GetItemCount(), 4);
    EXPECT_EQ(list.GetItemText(3, CFileList::kName), L"main");
    EXPECT_EQ(list.GetItemText(3, CFileList::kExtension), L"cpp");
    EXPECT_EQ(list.GetItemText(3, CFileList::kPath), L"/src/lib/");
    EXPECT_EQ(list.GetItemText(2, CFileList::kExtension), L"");
    EXPECT_EQ(list.GetItemText(1, CFileList::kName), L"archive.tar");
    EXPECT_EQ(list.GetItemText(1, CFileList::kExtension), L"gz");
    EXPECT_EQ(list.GetItemText(0, CFileList::kName), L"odd.");
    EXPECT_EQ(list.GetItemText(0, CFileList::kExtension), L"");
}

TEST(DevFileFind, KeepsComponentsLongerThanTheSplittersLimitsWhole)
{
    CFileList list;
    CDevFileFind finder(list);
    const std::wstring folder = L"/" + std::wstring(300, L'd') + L"/";
    const std::wstring name = std::wstring(300, L'n');
    const std::wstring ext = std::wstring(300, L'e');
    finder.vFoundFile((folder + name + L"." + ext).c_str(), L"", L"");
    EXPECT_EQ(list.GetItemText(0, CFileList::kPath).str(), folder);
    EXPECT_EQ(list.GetItemText(0, CFileList::kName).str(), name);
    EXPECT_EQ(list.GetItemText(0, CFileList::kExtension).str(), ext);
}

TEST(PageFilesSort, KeyIsExtensionThenNameAndOrderFollowsTheSortBox)
{
    CPageFiles page;
    const std::pair<const wchar_t*, const wchar_t*> files[] = {
        { L"b", L"txt" }, { L"a", L"txt" }, { L"Z", L"c" }, { L"README", L"" } };
    for (const auto& [name, ext] : files) {
        const int row = page.List().InsertItem(page.List().GetItemCount());
        page.List().SetItemText(row, CFileList::kName, name);
        page.List().SetItemText(row, CFileList::kExtension, ext);
        page.List().SetItemText(row, CFileList::kPath, L"/p/");
        page.List().SetCheck(row, true);
    }
    page.m_nSortOrder = 1; // "내림차순으로": rows in the sorted order of the keys
    page.Sort();
    // Keys: "c||Z" < "txt||a" < "txt||b" < "||README" ('|' is above the
    // letters); a key without extension puts the name in the extension column.
    EXPECT_EQ(Column(page, CFileList::kExtension), (std::vector<std::wstring> { L"c", L"txt", L"txt", L"README" }));
    EXPECT_EQ(Column(page, CFileList::kName), (std::vector<std::wstring> { L"Z", L"a", L"b", L"" }));
    for (int row = 0; row < page.List().GetItemCount(); ++row) {
        EXPECT_FALSE(page.List().GetCheck(row));
        EXPECT_EQ(page.List().GetItemText(row, CFileList::kPath), L"");
        EXPECT_EQ(page.List().GetItemText(row, CFileList::kNewName), L"");
    }
    // "오름차순으로": each row inserted at the top. The README row's key is
    // now "README||", the first of all.
    page.m_nSortOrder = 0;
    page.Sort();
    EXPECT_EQ(Column(page, CFileList::kExtension), (std::vector<std::wstring> { L"txt", L"txt", L"c", L"README" }));
    EXPECT_EQ(Column(page, CFileList::kName), (std::vector<std::wstring> { L"b", L"a", L"Z", L"" }));
}

TEST(PageFilesSort, NamesWithABarStayWhole)
{
    CPageFiles page;
    CDevFileFind finder(page.List());
    finder.vFoundFile(L"/p/my|notes.txt", L"my|notes.txt", L"my|notes");
    finder.vFoundFile(L"/p/odd.a|b", L"odd.a|b", L"odd");
    page.Sort();
    EXPECT_EQ(Column(page, CFileList::kExtension), (std::vector<std::wstring> { L"a|b", L"txt" }));
    EXPECT_EQ(Column(page, CFileList::kName), (std::vector<std::wstring> { L"odd", L"my|notes" }));
}

TEST(PageFilesSort, ComparesByUtf16CodeUnitsCaseSensitively)
{
    CPageFiles page;
    for (const wchar_t* ext : { L"\U0001F600", L"\uFF21", L"a", L"B" }) {
        const int row = page.List().InsertItem(0);
        page.List().SetItemText(row, CFileList::kExtension, ext);
    }
    page.Sort();
    // Upper case before lower; a surrogate pair (D83D) before U+FF21.
    EXPECT_EQ(Column(page, CFileList::kExtension),
        (std::vector<std::wstring> { L"B", L"a", L"\U0001F600", L"\uFF21" }));
}

TEST(PageFilesSelectAll, FollowsTheBoxStateClickAfterClick)
{
    CPageFiles page = PageWithNames({ L"a", L"b" }, { 1 });
    page.SelectAll(false); // the click left the box unchecked: check every row
    EXPECT_TRUE(page.List().GetCheck(0) && page.List().GetCheck(1));
    EXPECT_TRUE(page.m_bSelectAll);
    page.SelectAll(true);
    EXPECT_FALSE(page.List().GetCheck(0) || page.List().GetCheck(1));
    EXPECT_FALSE(page.m_bSelectAll);
}

TEST(PageFilesNames, AddRemoveAndClearWorkOnCheckedRowsOnly)
{
    CPageFiles page = PageWithNames({ L"log", L"xabyab", L"keep" }, { 2 });
    page.AddText(L"new_", CPageFiles::kBeforeName);
    EXPECT_EQ(Column(page, CFileList::kNewName), (std::vector<std::wstring> { L"new_log", L"new_xabyab", L"keep" }));
    page = PageWithNames({ L"log" });
    page.AddText(L"new_", CPageFiles::kAfterName);
    EXPECT_EQ(page.List().GetItemText(0, CFileList::kNewName), L"lognew_");

    page = PageWithNames({ L"xabyab", L"none", L"ab" });
    page.RemoveText(L"ab");
    EXPECT_EQ(Column(page, CFileList::kNewName), (std::vector<std::wstring> { L"xyab", L"none", L"" }));
    page.RemoveText(L"AB"); // case-sensitive: nothing
    EXPECT_EQ(page.List().GetItemText(0, CFileList::kNewName), L"xyab");

    page = PageWithNames({ L"a", L"b" }, { 0 });
    page.ClearNames();
    EXPECT_EQ(Column(page, CFileList::kNewName), (std::vector<std::wstring> { L"a", L"" }));
}

TEST(PageFilesNames, ExtensionIsSetExactlyAsTyped)
{
    CPageFiles page = PageWithNames({ L"a", L"b" }, { 1 });
    page.SetExtension(L".tar gz");
    EXPECT_EQ(Column(page, CFileList::kNewExtension), (std::vector<std::wstring> { L".tar gz", L"" }));
    page.SetExtension(L"");
    EXPECT_EQ(page.List().GetItemText(0, CFileList::kNewExtension), L"");
}

TEST(PageFilesNames, NumbersAreRowPositionsPaddedToTheDigitsOfTheCheckedCount)
{
    std::vector<std::wstring> names(12, L"f");
    CPageFiles page = PageWithNames(names);
    page.AppendNumbers();
    EXPECT_EQ(page.List().GetItemText(0, CFileList::kNewName), L"f01");
    EXPECT_EQ(page.List().GetItemText(11, CFileList::kNewName), L"f12");
    page.AppendNumbers(); // twice appends two numbers
    EXPECT_EQ(page.List().GetItemText(0, CFileList::kNewName), L"f0101");

    std::vector<int> unchecked;
    for (int row = 0; row < 12; ++row)
        if (row != 2 && row != 11)
            unchecked.push_back(row);
    page = PageWithNames(names, unchecked);
    page.AppendNumbers();
    EXPECT_EQ(page.List().GetItemText(2, CFileList::kNewName), L"f3");
    EXPECT_EQ(page.List().GetItemText(11, CFileList::kNewName), L"f12");
    EXPECT_EQ(page.List().GetItemText(0, CFileList::kNewName), L"f");

    std::vector<std::wstring> hundred(100, L"");
    page = PageWithNames(hundred);
    page.AppendNumbers();
    EXPECT_EQ(page.List().GetItemText(0, CFileList::kNewName), L"001");
    EXPECT_EQ(page.List().GetItemText(99, CFileList::kNewName), L"100");
}

TEST(PageFilesNames, PadToCommonLengthPadsWholeNamesOfCheckedRows)
{
    CPageFiles page = PageWithNames({ L"7", L"12", L"100", L"123456" }, { 3 });
    page.PadToCommonLength();
    EXPECT_EQ(Column(page, CFileList::kNewName), (std::vector<std::wstring> { L"007", L"012", L"100", L"123456" }));
}

TEST(PageFilesNames, NoCheckedRowLeavesEverythingAsItWas)
{
    CPageFiles page = PageWithNames({ L"a", L"bb" }, { 0, 1 });
    page.AddText(L"x", CPageFiles::kAfterName);
    page.RemoveText(L"a");
    page.ClearNames();
    page.SetExtension(L"e");
    page.AppendNumbers();
    page.PadToCommonLength();
    EXPECT_EQ(Column(page, CFileList::kNewName), (std::vector<std::wstring> { L"a", L"bb" }));
    EXPECT_EQ(Column(page, CFileList::kNewExtension), (std::vector<std::wstring> { L"", L"" }));
}
