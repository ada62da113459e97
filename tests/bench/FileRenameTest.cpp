// The Files page renaming the checked rows' files to their planned names as
// one batch: plain renames, chains, swaps and cycles, names that collide
// within the batch or with files outside it, a file removed after the plan,
// and the undo that gives every file back exactly its old name.
#include "FilesTestSupport.h"

#include <FileBatch.h>
#include <PageFiles.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using namespace kel::test;

namespace {

// Files of one letter each in `dir`: name -> content.
void MakeFiles(const TempDir& dir, std::initializer_list<std::pair<const char*, const char*>> files)
{
    for (const auto& [name, content] : files)
        WriteBytes(dir / name, content);
}

// Runs "선택파일저장" (confirmed) and returns the report shown.
std::wstring Save(CPageFiles& page)
{
    MessageRecorder messages;
    page.SaveSelected();
    return messages.Messages().empty() ? std::wstring() : messages.Messages().back();
}

std::wstring Undo(CPageFiles& page)
{
    MessageRecorder messages;
    page.UndoSave();
    return messages.Messages().empty() ? std::wstring() : messages.Messages().back();
}

bool Contains(const std::wstring& text, const std::wstring& part)
{
    return text.find(part) != std::wstring::npos;
}

} // namespace

TEST(FilesRename, CheckedRowsTakeTheirPlannedNamesAndUndoPutsThemBack)
{
    TempDir dir;
    MakeFiles(dir, { { "a.txt", "A" }, { "b.txt", "B" }, { "c.txt", "C" }, { "keep.txt", "K" } });
    CPageFiles page;
    SearchTexts(page, dir);
    ASSERT_EQ(page.List().GetItemCount(), 4);
    CheckOnly(page, { L"a", L"b" });
    page.AddText(L"new_", CPageFiles::kBeforeName); // a and b
    CheckOnly(page, { L"a", L"b", L"c" });
    page.SetExtension(L".md");                      // a, b and c
    MessageRecorder messages;
    page.SaveSelected();
    ASSERT_EQ(messages.Messages().size(), 2u);
    EXPECT_TRUE(Contains(messages.Messages()[0], L"3개")) << messages.Messages()[0];
    EXPECT_TRUE(Contains(messages.Messages()[1], L"이름 바꿈 3, 건너뜀 0, 실패 0")) << messages.Messages()[1];
    EXPECT_EQ(Names(dir), (std::set<std::string> { "new_a.md", "new_b.md", "c.md", "keep.txt" }));
    EXPECT_EQ(ReadBytes(dir / "new_a.md"), "A");
    const int b = RowOf(page, L"new_b");
    ASSERT_GE(b, 0);
    EXPECT_EQ(page.List().GetItemText(b, CFileList::kExtension), L"md");
    EXPECT_EQ(page.List().GetItemText(b, CFileList::kNewExtension), L"");

    ASSERT_TRUE(page.CanUndo());
    EXPECT_TRUE(Contains(Undo(page), L"되돌림 3, 건너뜀 0, 실패 0"));
    EXPECT_EQ(Names(dir), (std::set<std::string> { "a.txt", "b.txt", "c.txt", "keep.txt" }));
    EXPECT_EQ(ReadBytes(dir / "b.txt"), "B");
    EXPECT_EQ(page.List().GetItemText(b, CFileList::kName), L"b");
    EXPECT_FALSE(page.CanUndo());
}

// 2 -> 3 and 1 -> 2 in one batch: the rename into the name that the batch
// frees waits for it, and undo goes back in the reverse order.
TEST(FilesRename, AChainIsAppliedAndUndoneExactly)
{
    TempDir dir;
    MakeFiles(dir, { { "1.txt", "A" }, { "2.txt", "B" } });
    CPageFiles page;
    SearchTexts(page, dir);
    Plan(page, L"2", L"3");
    Plan(page, L"1", L"2");
    EXPECT_TRUE(Contains(Save(page), L"이름 바꿈 2, 건너뜀 0, 실패 0"));
    EXPECT_EQ(Names(dir), (std::set<std::string> { "2.txt", "3.txt" }));
    EXPECT_EQ(ReadBytes(dir / "2.txt"), "A");
    EXPECT_EQ(ReadBytes(dir / "3.txt"), "B");
    EXPECT_EQ(page.List().GetItemText(RowOf(page, L"2"), CFileList::kNewName), L"2");
    EXPECT_GE(RowOf(page, L"3"), 0);

    EXPECT_TRUE(Contains(Undo(page), L"되돌림 2, 건너뜀 0, 실패 0"));
    EXPECT_EQ(Names(dir), (std::set<std::string> { "1.txt", "2.txt" }));
    EXPECT_EQ(ReadBytes(dir / "1.txt"), "A");
    EXPECT_EQ(ReadBytes(dir / "2.txt"), "B");
    EXPECT_GE(RowOf(page, L"1"), 0);
    EXPECT_GE(RowOf(page, L"2"), 0);
}

TEST(FilesRename, SwapsAndCyclesExchangeTheFilesAndUndoExchangesThemBack)
{
    TempDir dir;
    MakeFiles(dir, { { "a.txt", "A" }, { "b.txt", "B" }, { "x.txt", "X" }, { "y.txt", "Y" }, { "z.txt", "Z" } });
    CPageFiles page;
    SearchTexts(page, dir);
    Plan(page, L"a", L"b");
    Plan(page, L"b", L"a");
    Plan(page, L"x", L"y");
    Plan(page, L"y", L"z");
    Plan(page, L"z", L"x");
    EXPECT_TRUE(Contains(Save(page), L"이름 바꿈 5, 건너뜀 0, 실패 0"));
    EXPECT_EQ(Names(dir), (std::set<std::string> { "a.txt", "b.txt", "x.txt", "y.txt", "z.txt" }));
    EXPECT_EQ(ReadBytes(dir / "a.txt"), "B");
    EXPECT_EQ(ReadBytes(dir / "b.txt"), "A");
    EXPECT_EQ(ReadBytes(dir / "x.txt"), "Z");
    EXPECT_EQ(ReadBytes(dir / "y.txt"), "X");
    EXPECT_EQ(ReadBytes(dir / "z.txt"), "Y");

    EXPECT_TRUE(Contains(Undo(page), L"되돌림 5, 건너뜀 0, 실패 0"));
    EXPECT_EQ(Names(dir), (std::set<std::string> { "a.txt", "b.txt", "x.txt", "y.txt", "z.txt" }));
    for (const char* name : { "a", "b", "x", "y", "z" })
        EXPECT_EQ(ReadBytes(dir / (std::string(name) + ".txt")), std::string(1, static_cast<char>(name[0] - 'a' + 'A')));
}

// Two rows to one name, or a name a file outside the batch holds: nothing
// moves, and the report names the rows in conflict.
TEST(FilesRename, ConflictingNamesAreReportedBeforeAnythingMoves)
{
    TempDir dir;
    MakeFiles(dir, { { "a.txt", "A" }, { "b.txt", "B" }, { "c.txt", "C" }, { "held.txt", "H" } });
    CPageFiles page;
    SearchTexts(page, dir);
    CheckOnly(page, { L"a", L"b", L"c" });
    Plan(page, L"a", L"same");
    Plan(page, L"b", L"same");
    Plan(page, L"c", L"held");
    const std::wstring report = Save(page);
    EXPECT_TRUE(Contains(report, L"이름 바꿈 0, 건너뜀 0, 실패 3")) << report;
    EXPECT_TRUE(Contains(report, Wide(dir / "a.txt").str())) << report;
    EXPECT_TRUE(Contains(report, Wide(dir / "b.txt").str())) << report;
    EXPECT_TRUE(Contains(report, Wide(dir / "held.txt").str())) << report;
    EXPECT_EQ(Names(dir), (std::set<std::string> { "a.txt", "b.txt", "c.txt", "held.txt" }));
    EXPECT_EQ(ReadBytes(dir / "held.txt"), "H");
    EXPECT_FALSE(page.CanUndo());
    // The plan stays in the list for the user to mend.
    EXPECT_EQ(page.List().GetItemText(RowOf(page, L"c"), CFileList::kNewName), L"held");

    // A conflict anywhere stops the whole batch, also rows that are fine.
    Plan(page, L"b", L"other");
    const std::wstring second = Save(page);
    EXPECT_TRUE(Contains(second, L"이름 바꿈 0, 건너뜀 2, 실패 1")) << second;
    EXPECT_EQ(Names(dir), (std::set<std::string> { "a.txt", "b.txt", "c.txt", "held.txt" }));
}

TEST(FilesRename, KoreanNamesAndAFileRemovedAfterThePlanAreReportedNotFatal)
{
    TempDir dir;
    WriteBytes(dir / Narrow(L"보고서.txt"), "1");
    WriteBytes(dir / Narrow(L"메모.txt"), "2");
    WriteBytes(dir / "gone.txt", "3");
    CPageFiles page;
    SearchTexts(page, dir);
    page.AddText(L"_최종", CPageFiles::kAfterName);
    std::filesystem::remove(dir / "gone.txt");

    const std::wstring result = Save(page);
    EXPECT_TRUE(Contains(result, L"이름 바꿈 2, 건너뜀 0, 실패 1")) << result;
    EXPECT_TRUE(Contains(result, Wide(dir / "gone.txt").str())) << result;
    EXPECT_EQ(Names(dir), (std::set<std::string> { Narrow(L"보고서_최종.txt"), Narrow(L"메모_최종.txt") }));
    EXPECT_GE(RowOf(page, L"보고서_최종"), 0);
    EXPECT_GE(RowOf(page, L"gone"), 0); // the failed row keeps its name

    EXPECT_TRUE(Contains(Undo(page), L"되돌림 2, 건너뜀 0, 실패 0"));
    EXPECT_EQ(Names(dir), (std::set<std::string> { Narrow(L"보고서.txt"), Narrow(L"메모.txt") }));
}

// A file that takes the old name of a renamed file before the undo: that
// file stays, the renamed one keeps its new name, and the report says so.
TEST(FilesRename, UndoNeverReplacesAFileAndCountsOnlyWhatWentBack)
{
    TempDir dir;
    MakeFiles(dir, { { "a.txt", "A" }, { "b.txt", "B" } });
    CPageFiles page;
    SearchTexts(page, dir);
    page.AddText(L"2", CPageFiles::kAfterName);
    EXPECT_TRUE(Contains(Save(page), L"이름 바꿈 2, 건너뜀 0, 실패 0"));
    WriteBytes(dir / "a.txt", "new");
    const std::wstring report = Undo(page);
    EXPECT_TRUE(Contains(report, L"되돌림 1, 건너뜀 0, 실패 1")) << report;
    EXPECT_EQ(Names(dir), (std::set<std::string> { "a.txt", "a2.txt", "b.txt" }));
    EXPECT_EQ(ReadBytes(dir / "a.txt"), "new");
    EXPECT_EQ(ReadBytes(dir / "a2.txt"), "A");
    EXPECT_GE(RowOf(page, L"a2"), 0); // the row shows where its file is

    // Once the name is free again, the undo that is left can be done.
    std::filesystem::remove(dir / "a.txt");
    ASSERT_TRUE(page.CanUndo());
    EXPECT_TRUE(Contains(Undo(page), L"되돌림 1, 건너뜀 0, 실패 0"));
    EXPECT_EQ(Names(dir), (std::set<std::string> { "a.txt", "b.txt" }));
    EXPECT_EQ(ReadBytes(dir / "a.txt"), "A");
}

TEST(FilesRename, ARefusedConfirmationOrNothingToChangeRenamesNothing)
{
    TempDir dir;
    WriteBytes(dir / "a.txt", "");
    CPageFiles page;
    SearchTexts(page, dir);
    {
        MessageRecorder messages;
        page.SaveSelected(); // planned names equal the current ones
        ASSERT_EQ(messages.Messages().size(), 1u);
    }
    page.AddText(L"x", CPageFiles::kAfterName);
    MessageRecorder refuse(kel::platform::kIdCancel);
    page.SaveSelected();
    EXPECT_EQ(refuse.Messages().size(), 1u);
    EXPECT_EQ(Names(dir), (std::set<std::string> { "a.txt" }));
    EXPECT_FALSE(page.CanUndo());

    // An emptied name is refused with its reason.
    page.ClearNames();
    MessageRecorder agree;
    page.SaveSelected();
    ASSERT_EQ(agree.Messages().size(), 2u);
    EXPECT_NE(agree.Messages()[1].find(L"실패 1"), std::wstring::npos);
    EXPECT_EQ(Names(dir), (std::set<std::string> { "a.txt" }));
}

// A cancel stops before the next chain or cycle: what is renamed stays
// renamed and can be undone, the rest is reported as skipped.
TEST(FilesRename, ACancelStopsBetweenChainsAndLeavesAnExactUndo)
{
    TempDir dir;
    MakeFiles(dir, { { "a.txt", "A" }, { "b.txt", "B" }, { "c.txt", "C" } });
    CPageFiles page;
    SearchTexts(page, dir);
    page.AddText(L"_x", CPageFiles::kAfterName);
    CountingProgress progress(2); // the second report says stop
    page.m_pProgress = &progress;
    const std::wstring report = Save(page);
    page.m_pProgress = nullptr;
    EXPECT_TRUE(Contains(report, L"이름 바꿈 1, 건너뜀 2, 실패 0")) << report;
    EXPECT_EQ(Names(dir).size(), 3u);
    size_t renamed = 0;
    for (const std::string& name : Names(dir))
        renamed += name.find("_x") != std::string::npos;
    EXPECT_EQ(renamed, 1u);
    EXPECT_TRUE(Contains(Undo(page), L"되돌림 1, 건너뜀 0, 실패 0"));
    EXPECT_EQ(Names(dir), (std::set<std::string> { "a.txt", "b.txt", "c.txt" }));
}
