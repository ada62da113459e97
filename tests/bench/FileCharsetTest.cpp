// The Files page acting on real files: renaming the checked rows to their
// planned names (collisions, Korean names, a vanished file, undo), reading
// their character sets and converting them, compared with iconv's output.
#include "BenchTestSupport.h"
#include "TestSupport.h"

#include <FileBatch.h>
#include <PageFiles.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>

using namespace kel::test;

namespace {

// The names in `dir`, sorted.
std::set<std::string> Names(const TempDir& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.insert(entry.path().filename().string());
    return names;
}

// A page listing every .txt file of `dir`.
void SearchTexts(CPageFiles& page, const TempDir& dir)
{
    page.m_strFolder = Wide(dir.path().string());
    page.m_strExtensions = L"txt";
    page.Search();
}

int RowOf(const CPageFiles& page, const wchar_t* name)
{
    for (int row = 0; row < page.List().GetItemCount(); ++row)
        if (page.List().GetItemText(row, CFileList::kName) == name)
            return row;
    return -1;
}

// Runs a shell command; true when it succeeded.
bool RunShell(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

} // namespace

TEST(FilesRename, CheckedRowsTakeTheirPlannedNamesWithoutReplacingAndUndoPutsThemBack)
{
    TempDir dir;
    WriteBytes(dir / "a.txt", "A");
    WriteBytes(dir / "b.txt", "B");
    WriteBytes(dir / "c.txt", "C");
    WriteBytes(dir / "new_a.txt", "taken");
    CPageFiles page;
    SearchTexts(page, dir);
    ASSERT_EQ(page.List().GetItemCount(), 4);
    page.List().SetCheck(RowOf(page, L"new_a"), false);
    page.List().SetCheck(RowOf(page, L"c"), false);
    page.AddText(L"new_", CPageFiles::kBeforeName); // a and b
    page.List().SetCheck(RowOf(page, L"c"), true);
    page.SetExtension(L".md");                      // a, b and c
    MessageRecorder messages;
    page.SaveSelected();
    ASSERT_EQ(messages.Messages().size(), 2u);
    EXPECT_NE(messages.Messages()[0].find(L"3개"), std::wstring::npos) << messages.Messages()[0];
    EXPECT_NE(messages.Messages()[1].find(L"이름 바꿈 3, 건너뜀 0, 실패 0"), std::wstring::npos) << messages.Messages()[1];
    EXPECT_EQ(Names(dir), (std::set<std::string> { "new_a.md", "new_b.md", "c.md", "new_a.txt" }));
    EXPECT_EQ(ReadBytes(dir / "new_a.md"), "A");

    // A taken name gets the collision rule, and the list shows the name taken.
    const int b = RowOf(page, L"new_b");
    ASSERT_GE(b, 0);
    EXPECT_EQ(page.List().GetItemText(b, CFileList::kExtension), L"md");
    EXPECT_EQ(page.List().GetItemText(b, CFileList::kNewExtension), L"");
    for (int row = 0; row < page.List().GetItemCount(); ++row)
        page.List().SetCheck(row, row == b);
    page.List().SetItemText(b, CFileList::kNewName, L"new_a");
    page.List().SetItemText(b, CFileList::kNewExtension, L"txt");
    page.SaveSelected();
    EXPECT_EQ(Names(dir), (std::set<std::string> { "new_a.md", "new_a (2).txt", "c.md", "new_a.txt" }));
    EXPECT_EQ(ReadBytes(dir / "new_a (2).txt"), "B");
    EXPECT_EQ(page.List().GetItemText(b, CFileList::kName), L"new_a (2)");

    // Undo renames only the last batch back.
    ASSERT_TRUE(page.CanUndo());
    page.UndoSave();
    EXPECT_EQ(Names(dir), (std::set<std::string> { "new_a.md", "new_b.md", "c.md", "new_a.txt" }));
    EXPECT_EQ(page.List().GetItemText(b, CFileList::kName), L"new_b");
    EXPECT_FALSE(page.CanUndo());
}

TEST(FilesRename, KoreanNamesAndAVanishedFileAreReportedNotFatal)
{
    TempDir dir;
    WriteBytes(dir / Narrow(L"보고서.txt"), "1");
    WriteBytes(dir / Narrow(L"메모.txt"), "2");
    WriteBytes(dir / "gone.txt", "3");
    CPageFiles page;
    SearchTexts(page, dir);
    page.AddText(L"_최종", CPageFiles::kAfterName);
    std::filesystem::remove(dir / "gone.txt");

    MessageRecorder messages;
    page.SaveSelected();
    ASSERT_EQ(messages.Messages().size(), 2u);
    const std::wstring& result = messages.Messages()[1];
    EXPECT_NE(result.find(L"이름 바꿈 2, 건너뜀 0, 실패 1"), std::wstring::npos) << result;
    EXPECT_NE(result.find(Wide(dir / "gone.txt").str()), std::wstring::npos) << result;
    EXPECT_EQ(Names(dir), (std::set<std::string> { Narrow(L"보고서_최종.txt"), Narrow(L"메모_최종.txt") }));
    EXPECT_GE(RowOf(page, L"보고서_최종"), 0);
    EXPECT_GE(RowOf(page, L"gone"), 0); // the failed row keeps its name

    page.UndoSave();
    EXPECT_EQ(Names(dir), (std::set<std::string> { Narrow(L"보고서.txt"), Narrow(L"메모.txt") }));
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

// Files in several encodings, made by iconv from one UTF-8 text with CR LF
// and LF line ends.
class FilesCharset : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The originals are kept under names the search passes over.
        WriteBytes(m_dir / "source", m_text);
        WriteBytes(m_dir / "cp949src", Narrow(L"똠방각하\r\n")); // in CP949, not in EUC-KR
        ASSERT_TRUE(RunShell("iconv -f UTF-8 -t EUC-KR '" + (m_dir / "source") + "' > '" + (m_dir / "euckr.orig") + "'"));
        ASSERT_TRUE(RunShell("iconv -f UTF-8 -t CP949 '" + (m_dir / "cp949src") + "' > '" + (m_dir / "cp949.orig") + "'"));
        ASSERT_TRUE(RunShell("(printf '\\377\\376'; iconv -f UTF-8 -t UTF-16LE '" + (m_dir / "source") + "') > '"
            + (m_dir / "utf16.orig") + "'"));
        for (const char* name : { "euckr", "cp949", "utf16" })
            std::filesystem::copy_file(m_dir / (std::string(name) + ".orig"), m_dir / (std::string(name) + ".txt"));
        std::filesystem::copy_file(m_dir / "source", m_dir / "utf8.txt");
        WriteBytes(m_dir / "binary.txt", std::string("\x80\x81\xFF\xFE\x00\x01", 6) + std::string(100, '\xC3'));
    }

    // What iconv makes of `file` in `to`.
    std::string Iconv(const std::string& from, const std::string& to, const std::string& file)
    {
        const std::string out = m_dir / "iconv.out";
        EXPECT_TRUE(RunShell("iconv -f " + from + " -t " + to + " '" + file + "' > '" + out + "'"));
        return ReadBytes(out);
    }

    TempDir m_dir;
    const std::string m_text = Narrow(L"한글 텍스트\r\n둘째 줄\n셋째 줄 abc\r\n");
};

TEST_F(FilesCharset, CheckFillsTheColumnOfTheCheckedRowsOnly)
{
    WriteBytes(m_dir / "ascii.txt", "plain\r\n");
    CPageFiles page;
    SearchTexts(page, m_dir);
    page.List().SetCheck(RowOf(page, L"ascii"), false);
    page.CheckCharsets();
    const auto charset = [&](const wchar_t* name) { return page.List().GetItemText(RowOf(page, name), CFileList::kCharset); };
    EXPECT_EQ(charset(L"euckr"), L"EUCKR");
    EXPECT_EQ(charset(L"cp949"), L"CP949");
    EXPECT_EQ(charset(L"utf8"), L"UTF8_NOBOM");
    EXPECT_EQ(charset(L"utf16"), L"UTF16_LE");
    EXPECT_EQ(charset(L"binary"), L"UNDETECTED");
    EXPECT_EQ(charset(L"ascii"), L"");
}

TEST_F(FilesCharset, ABigFileIsRecognisedFromItsFirstMegabyte)
{
    // Korean lines past the first megabyte: the sample ends at a line end.
    std::string big;
    while (big.size() < (3u << 20))
        big += Narrow(L"가나다라마바사 0123456789\n");
    WriteBytes(m_dir / "big.txt", big);
    EXPECT_EQ(kelbench::DetectCharset(Wide(m_dir / "big.txt")), L"UTF8_NOBOM");
    EXPECT_EQ(kelbench::DetectCharset(Wide(m_dir / "missing.txt")), L"");
}

TEST_F(FilesCharset, ConversionsMatchIconvAndKeepTheLineEnds)
{
    CPageFiles page;
    SearchTexts(page, m_dir);
    MessageRecorder messages;
    page.ChangeCharsets(kelbench::kToUtf8);
    ASSERT_EQ(messages.Messages().size(), 1u);
    // euckr, cp949 and utf16 converted; utf8 already there; binary undetected.
    EXPECT_NE(messages.Messages()[0].find(L"변경함 3, 건너뜀 2, 실패 0"), std::wstring::npos) << messages.Messages()[0];
    EXPECT_EQ(ReadBytes(m_dir / "euckr.txt"), Iconv("EUC-KR", "UTF-8", m_dir / "euckr.orig"));
    EXPECT_EQ(ReadBytes(m_dir / "cp949.txt"), Iconv("CP949", "UTF-8", m_dir / "cp949.orig"));
    EXPECT_EQ(ReadBytes(m_dir / "utf16.txt"), Iconv("UTF-16", "UTF-8", m_dir / "utf16.orig"));
    EXPECT_EQ(ReadBytes(m_dir / "utf16.txt"), m_text); // CR LF and LF as they were
    EXPECT_EQ(ReadBytes(m_dir / "utf8.txt"), m_text);
    EXPECT_EQ(ReadBytes(m_dir / "binary.txt").size(), 106u);
    EXPECT_EQ(page.List().GetItemText(RowOf(page, L"euckr"), CFileList::kCharset), L"UTF8_NOBOM");

    // On to CP949, UTF-16 and UTF-8 with their marks: iconv's bytes.
    page.ChangeCharsets(kelbench::kToCp949);
    EXPECT_EQ(ReadBytes(m_dir / "euckr.txt"), Iconv("UTF-8", "CP949", m_dir / "source"));
    EXPECT_EQ(ReadBytes(m_dir / "cp949.txt"), ReadBytes(m_dir / "cp949.orig"));
    page.ChangeCharsets(kelbench::kToUtf16LEMark);
    EXPECT_EQ(ReadBytes(m_dir / "utf16.txt"), ReadBytes(m_dir / "utf16.orig"));
    EXPECT_EQ(ReadBytes(m_dir / "euckr.txt"), ReadBytes(m_dir / "utf16.orig"));
    page.ChangeCharsets(kelbench::kToUtf8Mark);
    EXPECT_EQ(ReadBytes(m_dir / "utf8.txt"), "\xEF\xBB\xBF" + m_text);
    // Each file was replaced whole: nothing half-written is left behind.
    for (const std::string& name : Names(m_dir))
        EXPECT_EQ(name.find(".part"), std::string::npos) << name;
}

TEST_F(FilesCharset, TextWithoutACodeInTheTargetIsNotConverted)
{
    WriteBytes(m_dir / "thai.txt", Narrow(L"thai \x0E01\r\n"));
    CPageFiles page;
    SearchTexts(page, m_dir);
    for (int row = 0; row < page.List().GetItemCount(); ++row)
        page.List().SetCheck(row, page.List().GetItemText(row, CFileList::kName) == L"thai");
    MessageRecorder messages;
    page.ChangeCharsets(kelbench::kToCp949);
    EXPECT_NE(messages.Messages()[0].find(L"실패 1"), std::wstring::npos) << messages.Messages()[0];
    EXPECT_EQ(ReadBytes(m_dir / "thai.txt"), Narrow(L"thai \x0E01\r\n"));
}
