// The view's text without a display: the line store, the cells of the grid,
// and the caret and selection over the store.
#include "LineStore.h"
#include "TextCells.h"
#include "TextSelection.h"

#include "platform/Unicode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string Utf8(std::wstring_view wide) { return kel::platform::WideToUtf8(wide); }

// Lines of 0 to 300 bytes with Hangul in them: enough to fill several chunks.
std::vector<std::string> SampleLines(size_t count)
{
    std::mt19937 random(7);
    std::vector<std::string> lines;
    for (size_t i = 0; i < count; ++i) {
        std::string line = std::to_string(i) + " ";
        const size_t words = random() % 30;
        for (size_t w = 0; w < words; ++w)
            line += random() % 3 == 0 ? "한글 " : "word ";
        lines.push_back(line);
    }
    return lines;
}

std::string Joined(const std::vector<std::string>& lines, size_t first, size_t last)
{
    std::string text;
    for (size_t i = first; i <= last; ++i)
        text += lines[i] + "\n";
    return text;
}

TEST(LineStore, EveryLineComesBackExactlyAcrossChunks)
{
    const std::vector<std::string> lines = SampleLines(100000); // about 8 MB: chunks of every size
    CLineStore store;
    EXPECT_EQ(store.LineCount(), 0u);
    EXPECT_EQ(store.Line(LineNumber(0)), "");
    for (const std::string& line : lines)
        store.AddUtf8Line(line);
    ASSERT_EQ(store.LineCount(), lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(store.Line(LineNumber(i)), lines[i]) << i;
    for (size_t i = lines.size(); i-- > 0;)
        ASSERT_EQ(store.Line(LineNumber(i)), lines[i]) << i;
    std::mt19937 random(3);
    for (int n = 0; n < 20000; ++n) {
        const size_t i = random() % lines.size();
        ASSERT_EQ(store.Line(LineNumber(i)), lines[i]) << i;
    }
    EXPECT_EQ(store.Line(LineNumber(lines.size())), ""); // the empty last row
    size_t bytes = 0;
    for (const std::string& line : lines)
        bytes += line.size() + 1;
    EXPECT_EQ(store.TextBytes(), bytes);
    EXPECT_LT(store.ReservedBytes(), bytes + bytes / 4 + (4 << 20)); // compact: no per-line allocation
}

TEST(LineStore, ALineLongerThanAChunkAndEmptyLinesKeepTheirPlace)
{
    CLineStore store;
    const std::string huge(5 << 20, 'x');
    store.AddUtf8Line("before");
    store.AddUtf8Line("");
    store.AddUtf8Line(huge);
    store.AddUtf8Line("");
    store.AddUtf8Line("after");
    ASSERT_EQ(store.LineCount(), 5u);
    EXPECT_EQ(store.Line(LineNumber(0)), "before");
    EXPECT_EQ(store.Line(LineNumber(1)), "");
    EXPECT_EQ(store.Line(LineNumber(2)), huge);
    EXPECT_EQ(store.Line(LineNumber(3)), "");
    EXPECT_EQ(store.Line(LineNumber(4)), "after");
    EXPECT_EQ(store.MaxLineCells(), huge.size());
}

// A file of zero bytes is a file of empty lines: one byte each, as on disk.
// A cleared store is a new one: the lines added after it are found where
// they are, not where the lines looked up before the clearing were.
TEST(LineStore, ClearedStoreHoldsOnlyWhatComesAfter)
{
    const std::vector<std::string> before = SampleLines(20000);
    CLineStore store;
    for (const std::string& line : before)
        store.AddUtf8Line(line);
    EXPECT_EQ(store.Line(LineNumber(19999)), before[19999]);
    EXPECT_EQ(store.Line(LineNumber(100)), before[100]); // remembered as the last look-up

    store.Clear();
    EXPECT_EQ(store.LineCount(), 0u);
    EXPECT_EQ(store.TextBytes(), 0u);
    EXPECT_EQ(store.MaxLineCells(), 0u);
    EXPECT_EQ(store.ReservedBytes(), 0u);
    EXPECT_EQ(store.Line(LineNumber(0)), "");
    EXPECT_EQ(store.End(), (STextPosition{LineNumber(0), LineColumn(0)}));

    std::vector<std::string> after;
    for (size_t i = 0; i < 300; ++i)
        after.push_back(std::string(i % 7, 'z') + std::to_string(i));
    for (const std::string& line : after)
        store.AddLine(kel::platform::Utf8ToWide(line));
    ASSERT_EQ(store.LineCount(), after.size());
    for (size_t i : {120u, 101u, 0u, 64u, 299u, 100u})
        EXPECT_EQ(store.Line(LineNumber(i)), after[i]) << i;
    EXPECT_EQ(store.Text({}, store.End()), Joined(after, 0, after.size() - 1));
}

TEST(LineStore, EmptyLinesCostOneByteEach)
{
    CLineStore store;
    constexpr size_t kLines = 4 << 20;
    for (size_t i = 0; i < kLines; ++i)
        store.AddUtf8Line({});
    store.AddUtf8Line("last");
    EXPECT_EQ(store.LineCount(), kLines + 1);
    EXPECT_EQ(store.Line(LineNumber(kLines - 1)), "");
    EXPECT_EQ(store.Line(LineNumber(kLines)), "last");
    EXPECT_EQ(store.Line(LineNumber(12345)), "");
    EXPECT_LT(store.ReservedBytes(), kLines + kLines / 4 + (4 << 20));
}

TEST(LineStore, WideTextIsStoredAsTheViewShowsIt)
{
    CLineStore store;
    store.AddLine(L"\uFEFF첫 줄");                 // the mark of the file stays
    store.AddLine(L"10%\r50%\r100%");              // a carriage return inside the line stays
    store.AddLine(std::wstring(1, wchar_t(0x1F600)) + L"!"); // beyond the BMP
    store.AddLine(std::wstring(L"a") + wchar_t(0xD800) + L"b" + wchar_t(0xDC00)); // lone surrogates
    store.AddLine(std::wstring(L"c") + wchar_t(0x110000));  // not a character
    store.AddLine(L"split\nnot");                            // a line feed cannot split a line
    store.AddUtf8Line("split\nnot");
    EXPECT_EQ(store.Line(LineNumber(0)), "\xEF\xBB\xBF첫 줄");
    EXPECT_EQ(store.Line(LineNumber(1)), "10%\r50%\r100%");
    EXPECT_EQ(store.Line(LineNumber(2)), "\xF0\x9F\x98\x80!");
    EXPECT_EQ(store.Line(LineNumber(3)), "a?b?");
    EXPECT_EQ(store.Line(LineNumber(4)), "c\xEF\xBF\xBD");
    EXPECT_EQ(store.Line(LineNumber(5)), "split\xEF\xBF\xBDnot");
    EXPECT_EQ(store.Line(LineNumber(6)), "split\xEF\xBF\xBDnot");
    EXPECT_EQ(store.LineCount(), 7u);
}

// The bytes of a UTF-8 file go into the store directly when they are
// well-formed; whatever they are, the line is the one the wide path gives.
TEST(LineStore, Utf8BytesGiveTheSameLineAsTheirWideText)
{
    std::mt19937 random(11);
    const std::vector<std::string> fixed = {
        "plain", "한글과 English", "\xEF\xBB\xBF" "mark", "bad \xFF byte", "overlong \xC0\xAF", "surrogate \xED\xA0\x80",
        "cut \xE1\x84", "\xF4\x90\x80\x80 beyond", "\xF0\x9F\x98\x80 emoji", "tab\there",
    };
    std::vector<std::string> inputs = fixed;
    const char alphabet[] = {'a', '\t', '\r', char(0x80), char(0xBF), char(0xC2), char(0xE0), char(0xED),
                             char(0xEA), char(0xB0), char(0xF0), char(0x9F), char(0xF4), char(0xFF)};
    for (int n = 0; n < 2000; ++n) {
        std::string bytes;
        for (size_t i = random() % 24; i > 0; --i)
            bytes += alphabet[random() % sizeof alphabet];
        inputs.push_back(bytes);
    }
    CLineStore direct;
    CLineStore viaWide;
    for (const std::string& bytes : inputs) {
        direct.AddUtf8Line(bytes);
        viaWide.AddLine(kel::platform::Utf8ToWide(bytes));
    }
    for (size_t i = 0; i < inputs.size(); ++i) {
        ASSERT_EQ(direct.Line(LineNumber(i)), viaWide.Line(LineNumber(i))) << i;
        ASSERT_TRUE(kel::watch::ScanUtf8(direct.Line(LineNumber(i))).wellFormed) << i;
    }
    EXPECT_EQ(direct.MaxLineCells(), viaWide.MaxLineCells());
}

TEST(TextCells, WideCharactersTakeTwoCellsAndTabsGoToTheNextStop)
{
    using namespace kel::watch;
    EXPECT_EQ(ScanUtf8("abc").cells, 3u);
    EXPECT_EQ(ScanUtf8("가나").cells, 4u);
    EXPECT_EQ(ScanUtf8("a\tb").cells, 9u);
    EXPECT_EQ(ScanUtf8("abcdefgh\t").cells, 16u); // a tab at a stop goes to the next one
    EXPECT_EQ(ScanUtf8("\xF0\x9F\x98\x80").cells, 2u);
    EXPECT_EQ(ScanUtf8("\xEF\xBD\x81").cells, 2u); // a full-width Latin letter
    EXPECT_FALSE(ScanUtf8("ok\xFF").wellFormed);

    const std::string line = "a가\tb";
    EXPECT_EQ(CellsBefore(line, 0), 0u);
    EXPECT_EQ(CellsBefore(line, 1), 1u);
    EXPECT_EQ(CellsBefore(line, 4), 3u);
    EXPECT_EQ(CellsBefore(line, 5), 8u);
    EXPECT_EQ(ColumnAtCell(line, 0.4), 0u);
    EXPECT_EQ(ColumnAtCell(line, 1.9), 1u);  // nearer the start of 가
    EXPECT_EQ(ColumnAtCell(line, 2.1), 4u);  // nearer its end
    EXPECT_EQ(ColumnAtCell(line, 6.0), 5u);  // past the middle of the tab
    EXPECT_EQ(ColumnAtCell(line, 99.0), line.size());
}

class SelectionOverStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const wchar_t* line : {L"\uFEFFfirst line", L"10%\r50%", L"로그 한 줄 ok", L"", L"emoji \U0001F600 end"})
            m_store.AddLine(line);
    }
    STextPosition At(size_t line, size_t column) const { return {LineNumber(line), LineColumn(column)}; }

    CLineStore m_store;
    CTextSelection m_selection;
};

TEST_F(SelectionOverStore, SelectAllGivesEveryLineWithItsLineEnd)
{
    m_selection.SelectAll(m_store);
    EXPECT_EQ(m_selection.Caret(), m_store.End());
    EXPECT_EQ(m_selection.SelectedText(m_store), Utf8(L"\uFEFFfirst line\n10%\r50%\n로그 한 줄 ok\n\nemoji \U0001F600 end\n"));
}

TEST_F(SelectionOverStore, SelectionTextKeepsCarriageReturnsHangulAndSurrogatePairs)
{
    m_selection.MoveTo(At(1, 2), false);
    m_selection.MoveTo(At(2, Utf8(L"로그").size()), true);
    EXPECT_EQ(m_selection.SelectedText(m_store), Utf8(L"%\r50%\n로그"));

    // Backwards selection gives the same text as forwards.
    m_selection.MoveTo(At(2, Utf8(L"로그").size()), false);
    m_selection.MoveTo(At(1, 2), true);
    EXPECT_EQ(m_selection.SelectedText(m_store), Utf8(L"%\r50%\n로그"));

    // A character beyond the BMP is one step of the caret.
    STextPosition at = At(4, 6);
    at = CTextSelection::CharacterRight(m_store, at);
    EXPECT_EQ(at, At(4, 10));
    EXPECT_EQ(CTextSelection::CharacterLeft(m_store, at), At(4, 6));
    m_selection.MoveTo(At(4, 6), false);
    m_selection.MoveTo(at, true);
    EXPECT_EQ(m_selection.SelectedText(m_store), "\xF0\x9F\x98\x80");

    // A column inside a character is taken to its start.
    EXPECT_EQ(m_store.Clamp(At(4, 8)), At(4, 6));
    EXPECT_EQ(m_store.Clamp(At(9, 3)), m_store.End());
}

TEST_F(SelectionOverStore, CaretMovesAcrossLineEndsAndStopsAtTheEnds)
{
    EXPECT_EQ(CTextSelection::CharacterLeft(m_store, At(0, 0)), At(0, 0));
    EXPECT_EQ(CTextSelection::CharacterRight(m_store, At(0, 3)), At(0, 4)); // over the 3-byte mark
    EXPECT_EQ(CTextSelection::CharacterRight(m_store, At(0, 13)), At(1, 0));
    EXPECT_EQ(CTextSelection::CharacterLeft(m_store, At(1, 0)), At(0, 13));
    EXPECT_EQ(CTextSelection::CharacterRight(m_store, m_store.End()), m_store.End());
    EXPECT_EQ(CTextSelection::LineEnd(m_store, At(2, 0)), At(2, Utf8(L"로그 한 줄 ok").size()));
    EXPECT_EQ(CTextSelection::WordRight(m_store, At(2, 0)), At(2, Utf8(L"로그 ").size()));
    EXPECT_EQ(CTextSelection::WordLeft(m_store, At(2, Utf8(L"로그 한").size())), At(2, Utf8(L"로그 ").size()));
}

TEST_F(SelectionOverStore, UpAndDownKeepTheCellAcrossShortLines)
{
    CLineStore store;
    for (const char* line : {"abcdef", "ab", "가나다라", "abcdef"})
        store.AddUtf8Line(line);
    CTextSelection selection;
    selection.MoveTo(At(0, 5), false);
    STextPosition at = selection.RowsAway(store, 1);
    EXPECT_EQ(at, At(1, 2)); // the short line's end
    selection.MoveTo(at, false);
    at = selection.RowsAway(store, 1);
    EXPECT_EQ(at, At(2, 9)); // cell 5 is the middle of 다 (cells 4-6): the caret goes after it
    selection.MoveTo(at, false);
    EXPECT_EQ(selection.RowsAway(store, 1), At(3, 5));
    EXPECT_EQ(selection.RowsAway(store, 100), At(4, 0)); // the empty last row
    EXPECT_EQ(selection.RowsAway(store, -100), At(0, 5));
}

TEST_F(SelectionOverStore, DoubleClickSelectsTheWordUnderThePoint)
{
    m_selection.SelectWord(m_store, At(2, 3)); // inside 로그
    EXPECT_EQ(m_selection.SelectedText(m_store), Utf8(L"로그"));
    m_selection.SelectWord(m_store, At(0, 6));
    EXPECT_EQ(m_selection.SelectedText(m_store), "first");
    m_selection.SelectWord(m_store, At(1, 2)); // punctuation is a word of its own
    EXPECT_EQ(m_selection.SelectedText(m_store), "%");
    m_selection.SelectWord(m_store, At(0, 13)); // at the line's end: the last word
    EXPECT_EQ(m_selection.SelectedText(m_store), "line");
    m_selection.SelectWord(m_store, At(3, 0));
    EXPECT_TRUE(m_selection.IsEmpty());
}

TEST(LineSource, CopyOfASelectionSpanningChunksIsExact)
{
    const std::vector<std::string> lines = SampleLines(60000);
    CLineStore store;
    for (const std::string& line : lines)
        store.AddUtf8Line(line);
    const STextPosition from{LineNumber(3), LineColumn(2)};
    const STextPosition to{LineNumber(59990), LineColumn(3)};
    std::string expected = lines[3].substr(2) + "\n" + Joined(lines, 4, 59989) + lines[59990].substr(0, 3);
    EXPECT_EQ(store.Text(from, to), expected);

    // Pieces of about a megabyte, each of whole characters, with the asked line end.
    size_t pieces = 0;
    std::string saved;
    store.VisitText({}, store.End(), "\r\n", [&](std::string_view piece) {
        ++pieces;
        EXPECT_TRUE(kel::watch::ScanUtf8(piece).wellFormed);
        saved.append(piece);
    });
    EXPECT_GT(pieces, 1u);
    std::string crlf;
    for (const std::string& line : lines)
        crlf += line + "\r\n";
    EXPECT_EQ(saved, crlf);
}

TEST(LineStore, CopyWithLineNumbersNumbersEachSelectedLineFromOne)
{
    CLineStore lines;
    for (const char* line : {"first", "두 번째", "", "fourth"})
        lines.AddUtf8Line(line);
    const auto at = [](size_t line, size_t column) { return STextPosition{LineNumber(line), LineColumn(column)}; };
    EXPECT_EQ(lines.NumberedText(at(0, 2), at(1, 3)), "1\trst\n2\t두\n");
    // Ending at the start of a line leaves that line out; the empty line stays.
    EXPECT_EQ(lines.NumberedText(at(1, 0), at(3, 0)), "2\t두 번째\n3\t\n");
    // Everything: to the end of the last line.
    EXPECT_EQ(lines.NumberedText({}, lines.End()), "1\tfirst\n2\t두 번째\n3\t\n4\tfourth\n");
    EXPECT_EQ(CLineStore().NumberedText({}, CLineStore().End()), "");
}

} // namespace
