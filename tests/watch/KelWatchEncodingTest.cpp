// Choosing the encoding a followed document is read in: the same text in
// UTF-8, CP949, UTF-16LE and UTF-16BE read again from its first byte in the
// chosen encoding, a wrong choice put right, detecting again, a choice kept
// when the log is rotated, and UTF-16BE followed as it grows.
#include "DocText.h"
#include "KelWatchDoc.h"
#include "LineStore.h"
#include "TestSupport.h"
#include "WriterProcess.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using kel::test::ReadAll;
using kel::test::TempDir;
using kel::test::WriterProcess;

// UTF-16 of wide text, in either byte order, pairs for characters past U+FFFF.
std::string Utf16(std::wstring_view text, bool bigEndian)
{
    std::string bytes;
    auto put = [&](unsigned unit) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    };
    for (wchar_t ch : text) {
        const auto value = static_cast<unsigned>(ch);
        if (value >= 0x10000) {
            put(0xD800 + ((value - 0x10000) >> 10));
            put(0xDC00 + ((value - 0x10000) & 0x3FF));
        } else {
            put(value);
        }
    }
    return bytes;
}

std::string Encode(int encoding, std::wstring_view text)
{
    switch (encoding) {
    case CKelFile::UTF16_LE:
        return Utf16(text, false);
    case CKelFile::UTF16_BE:
        return Utf16(text, true);
    case CKelFile::CP949:
        return kel::platform::WideToMultiByte(text, kel::platform::CodePage::Cp949);
    default:
        return kel::platform::WideToMultiByte(text, kel::platform::CodePage::Utf8);
    }
}

// A log with Hangul, CR LF and LF line ends, an empty line, a character
// outside the basic plane (not in CP949, so left out there) and a line of
// tens of kilobytes, which is shown as one line.
struct SSampleLog {
    std::wstring text;         // as written, line ends included
    std::wstring longLine;     // the long line, whole
    std::vector<std::wstring> before; // the lines before the long one
    std::vector<std::wstring> after;  // and after it
};

SSampleLog SampleLog(int encoding)
{
    const bool astral = encoding != CKelFile::CP949;
    SSampleLog log;
    log.before = {L"첫 줄 한글 log", L"", astral ? L"smile \U0001F600 끝" : L"smile 똠 끝", L"LF 줄"};
    log.after = {L"마지막 \t줄"};
    log.longLine = L"x";
    for (int i = 0; i < 6000; ++i)
        log.longLine += astral ? L"가\U0001F600" : L"가나";
    log.text = log.before[0] + L"\r\n" + log.before[1] + L"\r\n" + log.before[2] + L"\n" + log.before[3] + L"\n"
        + log.longLine + L"\r\n" + log.after[0] + L"\n";
    return log;
}

// The lines of a cycle's text.
std::vector<std::wstring> SplitLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    for (size_t start = 0, end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

bool HasBrokenCharacter(std::wstring_view text)
{
    for (wchar_t ch : text)
        if (ch == L'\uFFFD' || (static_cast<unsigned>(ch) >= 0xD800 && static_cast<unsigned>(ch) <= 0xDFFF))
            return true;
    return false;
}

// Exactly the sample's lines: the short ones as they are, the long one
// whole, no character broken.
void ExpectSampleLines(const SSampleLog& log, const std::wstring& shown, const char* what)
{
    SCOPED_TRACE(what);
    const std::vector<std::wstring> lines = SplitLines(shown);
    ASSERT_GT(lines.size(), log.before.size() + log.after.size());
    const size_t pieces = lines.size() - log.before.size() - log.after.size();
    EXPECT_EQ(std::vector<std::wstring>(lines.begin(), lines.begin() + static_cast<long>(log.before.size())), log.before);
    EXPECT_EQ(std::vector<std::wstring>(lines.end() - static_cast<long>(log.after.size()), lines.end()), log.after);
    std::wstring joined;
    for (size_t piece = 0; piece < pieces; ++piece) {
        const std::wstring& text = lines[log.before.size() + piece];
        EXPECT_FALSE(HasBrokenCharacter(text)) << "piece " << piece;
        joined += text;
    }
    EXPECT_EQ(joined, log.longLine);
    EXPECT_EQ(pieces, 1u); // tens of kilobytes, one line
}

class ChosenEncoding : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_path = m_dir / "app.log";
        m_doc.OnOpenDocument(CStringW(std::wstring(m_path.begin(), m_path.end())));
    }

    TempDir m_dir;
    std::string m_path;
    CKelWatchDoc m_doc;
};

TEST_F(ChosenEncoding, TheSameTextInEachEncodingReadsBackExactlyOnceChosen)
{
    for (const int encoding : {CKelFile::UTF8_NOBOM, CKelFile::CP949, CKelFile::UTF16_LE, CKelFile::UTF16_BE}) {
        SCOPED_TRACE(encoding);
        const SSampleLog log = SampleLog(encoding);
        kel::test::WriteBytes(m_path, Encode(encoding, log.text));
        CKelWatchDoc doc;
        doc.OnOpenDocument(m_doc.GetPathName());
        ReadAll(doc); // whatever detection made of it
        const unsigned generation = doc.Generation();
        ASSERT_TRUE(doc.SetEncoding(encoding));
        EXPECT_EQ(doc.Generation(), generation + 1);
        EXPECT_EQ(doc.GetEncoding(), encoding);
        EXPECT_TRUE(doc.IsEncodingChosen());
        EXPECT_EQ(doc.GetReadPosition(), 0u);
        ExpectSampleLines(log, ReadAll(doc), "chosen");
        EXPECT_EQ(doc.GetReadPosition(), Encode(encoding, log.text).size());
        EXPECT_EQ(ReadAll(doc), L""); // nothing twice
    }
}

TEST_F(ChosenEncoding, UnicodeLongLinesStayWholeAcrossEveryBlockEdge)
{
    // "x" then pairs: every 8 KiB edge falls inside a pair.
    std::wstring line = L"x";
    for (int i = 0; i < 3000; ++i)
        line += L"\U0001F600";
    for (const int encoding : {CKelFile::UTF16_LE, CKelFile::UTF16_BE}) {
        kel::test::WriteBytes(m_path, Encode(encoding, line + L"\n"));
        CKelWatchDoc doc;
        doc.OnOpenDocument(m_doc.GetPathName());
        ASSERT_TRUE(doc.SetEncoding(encoding));
        const std::vector<std::wstring> lines = SplitLines(ReadAll(doc));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0], line);
    }
}

TEST_F(ChosenEncoding, AWrongChoiceIsPutRightInTheNextGeneration)
{
    const SSampleLog log = SampleLog(CKelFile::UTF16_BE);
    kel::test::WriteBytes(m_path, Encode(CKelFile::UTF16_BE, log.text));
    ASSERT_TRUE(m_doc.SetEncoding(CKelFile::UTF16_LE));
    const unsigned wrong = m_doc.Generation();
    const std::wstring garbled = ReadAll(m_doc);
    EXPECT_NE(garbled.find(L'\uABCC'), std::wstring::npos) << "U+CCAB read the wrong way round";
    EXPECT_EQ(garbled.find(L"첫 줄"), std::wstring::npos);

    ASSERT_TRUE(m_doc.SetEncoding(CKelFile::UTF16_BE));
    EXPECT_GT(m_doc.Generation(), wrong);
    ExpectSampleLines(log, ReadAll(m_doc), "put right");

    // UTF-8 read as CP949, then as UTF-8.
    const SSampleLog utf8 = SampleLog(CKelFile::UTF8_NOBOM);
    kel::test::WriteBytes(m_path, Encode(CKelFile::UTF8_NOBOM, utf8.text));
    CKelWatchDoc doc;
    doc.OnOpenDocument(m_doc.GetPathName());
    ASSERT_TRUE(doc.SetEncoding(CKelFile::CP949));
    EXPECT_EQ(ReadAll(doc).find(L"첫 줄"), std::wstring::npos);
    ASSERT_TRUE(doc.SetEncoding(CKelFile::UTF8_NOBOM));
    ExpectSampleLines(utf8, ReadAll(doc), "UTF-8 after CP949");
}

TEST_F(ChosenEncoding, DetectingAgainForgetsTheChoice)
{
    kel::test::WriteBytes(m_path, "\xEF\xBB\xBF" "한글 로그\n둘째\n");
    ASSERT_TRUE(m_doc.SetEncoding(CKelFile::CP949));
    EXPECT_EQ(ReadAll(m_doc).find(L"한글"), std::wstring::npos);
    const unsigned chosen = m_doc.Generation();

    ASSERT_TRUE(m_doc.SetEncoding(CKelFile::UNDETECTED));
    EXPECT_EQ(m_doc.Generation(), chosen + 1);
    EXPECT_EQ(m_doc.GetEncoding(), CKelFile::UNDETECTED);
    EXPECT_FALSE(m_doc.IsEncodingChosen());
    EXPECT_EQ(ReadAll(m_doc), L"\uFEFF한글 로그\r\n둘째\r\n");
    EXPECT_EQ(m_doc.GetEncoding(), CKelFile::UTF8_BOM);
}

TEST_F(ChosenEncoding, OnlyEncodingsTheCycleReadsCanBeChosen)
{
    kel::test::WriteBytes(m_path, "abc\n");
    EXPECT_EQ(ReadAll(m_doc), L"abc\r\n");
    for (const int encoding : {int(CKelFile::UTF32_LE), int(CKelFile::UTF7_0), int(CKelFile::CANNOTFOUND), -1, 99}) {
        EXPECT_FALSE(m_doc.SetEncoding(encoding)) << encoding;
        EXPECT_EQ(m_doc.Generation(), 0u);
        EXPECT_EQ(m_doc.GetEncoding(), CKelFile::ASCII);
        EXPECT_EQ(m_doc.GetReadPosition(), 4u);
    }
    // The other names of the same readers are taken too.
    EXPECT_TRUE(m_doc.SetEncoding(CKelFile::EUCKR));
    EXPECT_TRUE(m_doc.SetEncoding(CKelFile::UTF8_BOM));
    EXPECT_TRUE(m_doc.SetEncoding(CKelFile::ASCII));
    EXPECT_EQ(m_doc.Generation(), 3u);
    EXPECT_EQ(ReadAll(m_doc), L"abc\r\n");
}

TEST_F(ChosenEncoding, ADocumentThatStoppedFollowsAgainOnceAnEncodingIsChosen)
{
    // UTF-32 cannot be shown: the document stops with a note.
    kel::test::WriteBytes(m_path, std::string("\0\0\xFE\xFF\0\0\0a\0\0\0\n", 12));
    EXPECT_EQ(ReadAll(m_doc), L"지원하지 않는 Format UTF32_BE 입니다.\r\n");
    EXPECT_FALSE(m_doc.IsFollowing());
    kel::test::WriteBytes(m_path, Encode(CKelFile::UTF16_BE, L"이제 읽힘\n"));
    ASSERT_TRUE(m_doc.SetEncoding(CKelFile::UTF16_BE));
    EXPECT_TRUE(m_doc.IsFollowing());
    EXPECT_EQ(ReadAll(m_doc), L"이제 읽힘\r\n");

    // Detecting again a file that still cannot be shown stops it again.
    kel::test::WriteBytes(m_path, std::string("\0\0\xFE\xFF\0\0\0b\0\0\0\n", 12));
    ASSERT_TRUE(m_doc.SetEncoding(CKelFile::UNDETECTED));
    EXPECT_TRUE(m_doc.IsFollowing());
    EXPECT_EQ(ReadAll(m_doc), L"지원하지 않는 Format UTF32_BE 입니다.\r\n");
    EXPECT_FALSE(m_doc.IsFollowing());
}

std::wstring Marker(std::wstring_view marker) { return std::wstring(marker) + L"\r\n"; }

TEST_F(ChosenEncoding, AChosenEncodingHoldsForTheNextFileOfTheLog)
{
    WriterProcess writer;
    ASSERT_TRUE(writer.Open(m_path));
    ASSERT_TRUE(writer.Write(Encode(CKelFile::UTF16_BE, L"옛 파일\n")));
    ReadAll(m_doc);
    ASSERT_TRUE(m_doc.SetEncoding(CKelFile::UTF16_BE));
    EXPECT_EQ(ReadAll(m_doc), L"옛 파일\r\n");

    // logrotate's create: renamed, a new file made; the writer then reopens.
    // The new file has no mark either: only the choice reads it right.
    std::filesystem::rename(m_path, m_path + ".1");
    kel::test::WriteBytes(m_path, "");
    ASSERT_TRUE(writer.Write(Encode(CKelFile::UTF16_BE, L"늦은 줄\n")));
    ASSERT_TRUE(writer.Open(m_path));
    ASSERT_TRUE(writer.Write(Encode(CKelFile::UTF16_BE, L"새 파일 \U0001F600\n")));
    EXPECT_EQ(ReadAll(m_doc), L"늦은 줄\r\n" + Marker(CKelWatchDoc::kReplacedMarker) + L"새 파일 \U0001F600\r\n");
    EXPECT_EQ(m_doc.GetEncoding(), CKelFile::UTF16_BE);
    EXPECT_TRUE(m_doc.IsEncodingChosen());

    // Once detection is asked for again, the next file is detected.
    ASSERT_TRUE(m_doc.SetEncoding(CKelFile::UNDETECTED));
    std::filesystem::rename(m_path, m_path + ".2");
    kel::test::WriteBytes(m_path, "\xEF\xBB\xBF" "utf-8 한글\n");
    EXPECT_EQ(ReadAll(m_doc), Marker(CKelWatchDoc::kReplacedMarker) + L"\uFEFFutf-8 한글\r\n");
    EXPECT_EQ(m_doc.GetEncoding(), CKelFile::UTF8_BOM);
}

TEST_F(ChosenEncoding, Utf16BigEndianWithAMarkIsDetectedAndFollowed)
{
    kel::test::WriteBytes(m_path, "\xFE\xFF" + Encode(CKelFile::UTF16_BE, L"start 가나다 end\r\n\n둘 \U0001F600\n"));
    EXPECT_EQ(ReadAll(m_doc), L"\uFEFFstart 가나다 end\r\n\r\n둘 \U0001F600\r\n");
    EXPECT_EQ(m_doc.GetEncoding(), CKelFile::UTF16_BE);
    EXPECT_FALSE(m_doc.IsEncodingChosen());
    EXPECT_TRUE(m_doc.IsFollowing());
    // A zero unit ends a line as a line feed does; a lone carriage return
    // inside a line stays.
    std::ofstream(m_path, std::ios::binary | std::ios::app) << Encode(CKelFile::UTF16_BE, L"a\rb") + std::string(2, '\0');
    EXPECT_EQ(ReadAll(m_doc), L"a\rb\r\n");
}

TEST_F(ChosenEncoding, GrowingUtf16BigEndianLosesAndBreaksNoCharacter)
{
    WriterProcess writer;
    ASSERT_TRUE(writer.Open(m_path));
    const std::string bytes = "\xFE\xFF" + Encode(CKelFile::UTF16_BE, L"첫 \U0001F600 줄\n둘째 줄 끝\n");
    // Every way of writing it in two parts once the mark is there: the first
    // part ends inside a unit (an odd count), between the halves of a pair,
    // or at a line end.
    for (size_t split = 2; split < bytes.size(); ++split) {
        SCOPED_TRACE(split);
        ASSERT_TRUE(writer.Truncate());
        CKelWatchDoc doc;
        doc.OnOpenDocument(m_doc.GetPathName());
        ASSERT_TRUE(writer.Write(bytes.substr(0, split)));
        std::wstring shown = ReadAll(doc);
        ASSERT_TRUE(writer.Write(bytes.substr(split)));
        shown += ReadAll(doc);
        EXPECT_EQ(doc.GetReadPosition(), bytes.size());
        EXPECT_FALSE(HasBrokenCharacter(shown));
        // A line cut by the moment of reading shows as two lines; nothing else changes.
        std::wstring text;
        for (const std::wstring& line : SplitLines(shown))
            text += line;
        EXPECT_EQ(text, L"\uFEFF첫 \U0001F600 줄둘째 줄 끝");
    }
}

TEST_F(ChosenEncoding, ViewsDropTheirTextWhenTheGenerationChanges)
{
    // What a view does with it: a line store cleared and filled again.
    kel::test::WriteBytes(m_path, Encode(CKelFile::CP949, L"똠방 각하\n둘\n"));
    CLineStore store;
    unsigned shown = m_doc.Generation();
    m_doc.ReadCycle(store);
    EXPECT_EQ(store.LineCount(), 2u);
    ASSERT_TRUE(m_doc.SetEncoding(CKelFile::UTF8_NOBOM));
    ASSERT_NE(m_doc.Generation(), shown);
    store.Clear();
    EXPECT_EQ(store.LineCount(), 0u);
    EXPECT_EQ(store.TextBytes(), 0u);
    EXPECT_EQ(store.MaxLineCells(), 0u);
    EXPECT_EQ(store.ReservedBytes(), 0u);
    m_doc.ReadCycle(store);
    ASSERT_TRUE(m_doc.SetEncoding(CKelFile::CP949));
    store.Clear();
    EXPECT_EQ(m_doc.ReadCycle(store), 2u);
    ASSERT_EQ(store.LineCount(), 2u);
    EXPECT_EQ(store.Line(LineNumber(0)), "똠방 각하");
    EXPECT_EQ(store.Line(LineNumber(1)), "둘");
}

} // namespace
