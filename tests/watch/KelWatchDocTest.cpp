// The followed document and its read cycle, against files that a separate
// writer process keeps appending to.
#include "DocText.h"
#include "KelWatchDoc.h"
#include "LineStore.h"
#include "ReferenceCycle.h"
#include "TestSupport.h"
#include "Unprivileged.h"
#include "WriterProcess.h"

#include "platform/CodePage.h"
#include "platform/Unicode.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using kel::test::ReadAll;
using kel::test::TempDir;
using kel::test::WriterProcess;

class FollowedFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_path = m_dir / "app.log";
        ASSERT_TRUE(m_writer.Open(m_path));
        m_doc.OnOpenDocument(CStringW(std::wstring(m_path.begin(), m_path.end())));
    }
    void Write(const std::string& bytes) { ASSERT_TRUE(m_writer.Write(bytes)); }

    TempDir m_dir;
    std::string m_path;
    WriterProcess m_writer;
    CKelWatchDoc m_doc;
};

TEST(WatchDocument, OpeningStoresThePathAndReadsNothing)
{
    CKelWatchDoc doc;
    EXPECT_TRUE(doc.OnOpenDocument(L"/nonexistent/folder/app.log"));
    EXPECT_EQ(doc.GetPathName(), L"/nonexistent/folder/app.log");
    EXPECT_EQ(doc.GetReadPosition(), 0u);
    EXPECT_EQ(doc.GetTextLimit(), 0u);
    EXPECT_EQ(doc.GetEncoding(), CKelFile::UNDETECTED);
    EXPECT_EQ(doc.ReadCycle(), L"");
    EXPECT_EQ(doc.GetEncoding(), CKelFile::UNDETECTED); // detection waits for the file
    EXPECT_TRUE(doc.IsFollowing());
    EXPECT_EQ(doc.FileProblem(), L"파일이 없습니다: /nonexistent/folder/app.log");
}

TEST(WatchDocument, AMissingFileIsNamedUntilItAppears)
{
    TempDir dir;
    const std::string path = dir / "later.log";
    CKelWatchDoc doc;
    doc.OnOpenDocument(CStringW(std::wstring(path.begin(), path.end())));
    EXPECT_EQ(doc.ReadCycle(), L"");
    EXPECT_EQ(doc.FileProblem(), CStringW(L"파일이 없습니다: " + std::wstring(path.begin(), path.end())));
    kel::test::WriteBytes(path, "here now\n");
    EXPECT_EQ(ReadAll(doc), L"here now\r\n");
    EXPECT_TRUE(doc.FileProblem().IsEmpty());
}

TEST(WatchDocument, UnnamedDocumentAndFoldersShowNothing)
{
    CKelWatchDoc unnamed;
    EXPECT_EQ(unnamed.ReadCycle(), L"");
    TempDir dir;
    CKelWatchDoc folder;
    folder.OnOpenDocument(CStringW(dir.path().c_str()));
    EXPECT_EQ(folder.ReadCycle(), L"");
    EXPECT_EQ(folder.GetEncoding(), CKelFile::UNDETECTED);
    EXPECT_EQ(folder.FileProblem(), CStringW(L"파일이 아닙니다: " + dir.path().wstring()));
    EXPECT_TRUE(unnamed.FileProblem().IsEmpty());
}

TEST(WatchDocument, UnreadableFileShowsNothingUntilReadable)
{
    kel::test::SharedTempDir dir;
    const std::string path = dir / "locked.log";
    kel::test::WriteBytes(path, "secret\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_write);
    const CStringW name(std::wstring(path.begin(), path.end()));
    // Root reads every file: an ordinary user follows it.
    EXPECT_TRUE(kel::test::RunUnprivileged(dir.path(), [&] {
        CKelWatchDoc doc;
        doc.OnOpenDocument(name);
        EXPECT_EQ(doc.ReadCycle(), L"");
        EXPECT_EQ(doc.GetEncoding(), CKelFile::UNDETECTED);
        EXPECT_EQ(doc.GetReadPosition(), 0u);
        EXPECT_EQ(doc.FileProblem(), L"읽을 권한이 없습니다: " + name);
        std::filesystem::permissions(path, std::filesystem::perms::owner_read);
        EXPECT_EQ(doc.ReadCycle(), L"secret\r\n");
        EXPECT_TRUE(doc.FileProblem().IsEmpty());
    }));
}

TEST_F(FollowedFile, ThreeLinesEachEndInCrLf)
{
    Write("one\ntwo\nthree\n");
    EXPECT_EQ(ReadAll(m_doc), L"one\r\ntwo\r\nthree\r\n");
    EXPECT_EQ(m_doc.GetReadPosition(), 14u);
    EXPECT_EQ(m_doc.GetEncoding(), CKelFile::ASCII);
    EXPECT_EQ(ReadAll(m_doc), L""); // nothing new
}

TEST_F(FollowedFile, LineWrittenInTwoPartsShowsAsTwoLines)
{
    Write("first hal");
    EXPECT_EQ(ReadAll(m_doc), L"first hal\r\n");
    Write("f done\nnext");
    EXPECT_EQ(ReadAll(m_doc), L"f done\r\nnext\r\n");
    EXPECT_EQ(m_doc.GetReadPosition(), 20u);
}

TEST_F(FollowedFile, CrLfAndLfLineEndsShowTheSame)
{
    Write("alpha\r\nbeta\r\n");
    const std::wstring crlf = ReadAll(m_doc);
    TempDir other;
    kel::test::WriteBytes(other / "lf.log", "alpha\nbeta\n");
    CKelWatchDoc lf;
    lf.OnOpenDocument(CStringW((other.path() / "lf.log").wstring()));
    EXPECT_EQ(crlf, L"alpha\r\nbeta\r\n");
    EXPECT_EQ(ReadAll(lf), crlf);
}

TEST_F(FollowedFile, BlankLinesStayLinesAndOnlyOuterCarriageReturnsGo)
{
    Write("a\n\n\nb\r\r\n\r x\ry \r\n");
    EXPECT_EQ(ReadAll(m_doc), L"a\r\n\r\n\r\nb\r\n x\ry \r\n");
}

TEST_F(FollowedFile, ZeroByteEndsALineAndIsConsumed)
{
    Write(std::string("ab\0cd\n\0", 7));
    EXPECT_EQ(ReadAll(m_doc), L"ab\r\ncd\r\n\r\n");
    EXPECT_EQ(m_doc.GetReadPosition(), 7u);
}

TEST_F(FollowedFile, Utf8WithAndWithoutMarkShowTheSameCharacters)
{
    Write("\xEF\xBB\xBF" "로그 시작\n둘째 줄\n");
    EXPECT_EQ(ReadAll(m_doc), L"\uFEFF로그 시작\r\n둘째 줄\r\n");
    EXPECT_EQ(m_doc.GetEncoding(), CKelFile::UTF8_BOM);

    TempDir other;
    kel::test::WriteBytes(other / "nomark.log", "로그 시작\n둘째 줄\n");
    CKelWatchDoc plain;
    plain.OnOpenDocument(CStringW((other.path() / "nomark.log").wstring()));
    EXPECT_EQ(ReadAll(plain), L"로그 시작\r\n둘째 줄\r\n");
    EXPECT_EQ(plain.GetEncoding(), CKelFile::UTF8_NOBOM);
}

std::string Utf16Le(const std::u16string& text)
{
    std::string bytes;
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

TEST_F(FollowedFile, Utf16LittleEndianMixingAsciiAndHangul)
{
    Write(Utf16Le(u"\uFEFFstart 가나다 end\r\n"));
    Write(Utf16Le(u"둘 two \U0001F600\n")); // a pair of surrogates stays one character
    EXPECT_EQ(ReadAll(m_doc), L"\uFEFFstart 가나다 end\r\n둘 two \U0001F600\r\n");
    EXPECT_EQ(m_doc.GetEncoding(), CKelFile::UTF16_LE);
    // Half a unit waits for its other half.
    Write(std::string("A", 1));
    EXPECT_EQ(ReadAll(m_doc), L"");
    Write(std::string("\0B\0\n\0", 5));
    EXPECT_EQ(ReadAll(m_doc), L"AB\r\n");
}

TEST_F(FollowedFile, EucKrAndCp949TextIsDecodedAsCp949)
{
    Write("\xC7\xD1\xB1\xDB log\n"); // "한글" in EUC-KR
    EXPECT_EQ(ReadAll(m_doc), L"한글 log\r\n");
    EXPECT_EQ(m_doc.GetEncoding(), CKelFile::EUCKR);

    TempDir other;
    kel::test::WriteBytes(other / "cp949.log", "\x8C\x63 \xC7\xD1\n"); // "똠 한": 똠 exists only in CP949
    CKelWatchDoc cp949;
    cp949.OnOpenDocument(CStringW((other.path() / "cp949.log").wstring()));
    EXPECT_EQ(ReadAll(cp949), L"똠 한\r\n");
    EXPECT_EQ(cp949.GetEncoding(), CKelFile::CP949);
}

std::wstring Marker(std::wstring_view marker) { return std::wstring(marker) + L"\r\n"; }

TEST_F(FollowedFile, TruncatedFileIsFollowedFromItsFirstByte)
{
    Write("0123456789\n0123456789\n"); // 22 bytes
    EXPECT_EQ(ReadAll(m_doc), L"0123456789\r\n0123456789\r\n");
    ASSERT_TRUE(m_writer.Truncate());
    Write("short\n");
    EXPECT_EQ(ReadAll(m_doc), Marker(CKelWatchDoc::kTruncatedMarker) + L"short\r\n");
    Write("again\n");
    EXPECT_EQ(ReadAll(m_doc), L"again\r\n");
    EXPECT_EQ(m_doc.GetReadPosition(), 12u);
    ASSERT_TRUE(m_writer.Truncate()); // truncated to nothing: the marker alone
    EXPECT_EQ(ReadAll(m_doc), Marker(CKelWatchDoc::kTruncatedMarker));
    EXPECT_EQ(ReadAll(m_doc), L"");
}

TEST_F(FollowedFile, DeletedFileKeepsItsTextAndARecreatedOneStartsAtItsFirstByte)
{
    Write("kept\n");
    EXPECT_EQ(ReadAll(m_doc), L"kept\r\n");
    ASSERT_TRUE(m_writer.Remove(m_path));
    EXPECT_EQ(ReadAll(m_doc), Marker(CKelWatchDoc::kDeletedMarker));
    Write("still written to the deleted file\n"); // the writer keeps it open
    EXPECT_EQ(ReadAll(m_doc), L"still written to the deleted file\r\n");
    ASSERT_TRUE(m_writer.Open(m_path)); // created again
    Write("abc\n");
    EXPECT_EQ(ReadAll(m_doc), Marker(CKelWatchDoc::kRecreatedMarker) + L"abc\r\n");
    EXPECT_EQ(m_doc.GetReadPosition(), 4u);
}

TEST_F(FollowedFile, ReplacedFileIsReadToItsEndThenTheNewOneFromItsStartInItsOwnEncoding)
{
    Write("\xED\x95\x9C old\n");
    EXPECT_EQ(ReadAll(m_doc), L"한 old\r\n");
    EXPECT_EQ(m_doc.GetEncoding(), CKelFile::UTF8_NOBOM);
    std::filesystem::rename(m_path, m_path + ".1");
    kel::test::WriteBytes(m_path, Utf16Le(u"\uFEFF\uD55C new\n"));
    Write("late to the old file\n"); // written before the writer reopens the path
    EXPECT_EQ(ReadAll(m_doc),
              L"late to the old file\r\n" + Marker(CKelWatchDoc::kReplacedMarker) + L"\uFEFF한 new\r\n");
    EXPECT_EQ(m_doc.GetEncoding(), CKelFile::UTF16_LE);
}

TEST_F(FollowedFile, ALineOfTheFileIsOneLineHoweverLong)
{
    Write(std::string(20000, 'x') + "\nafter\n");
    EXPECT_EQ(ReadAll(m_doc), std::wstring(20000, L'x') + L"\r\nafter\r\n");
    EXPECT_EQ(m_doc.GetReadPosition(), 20007u);
    // Longer than a read block, and arriving in two parts: the first part
    // is shown at the end of the file, the rest as the next line.
    Write(std::string(3 << 20, 'y') + "\n" + std::string(5, 'z'));
    EXPECT_EQ(ReadAll(m_doc), std::wstring(3 << 20, L'y') + L"\r\nzzzzz\r\n");
    CLineStore store;
    Write("\n" + std::string(1 << 20, 'w') + "\nend\n");
    while (m_doc.ReadCycle(store) > 0 || m_doc.HasMore()) {
    }
    ASSERT_EQ(store.LineCount(), 3u);
    EXPECT_EQ(store.Line(LineNumber(0)), "");
    EXPECT_EQ(store.Line(LineNumber(1)).size(), 1u << 20);
    EXPECT_EQ(store.Line(LineNumber(2)), "end");
}

TEST_F(FollowedFile, LongLinesAreNeverCutInsideACharacter)
{
    std::string line = "x"; // 3-byte characters across every 8 KiB edge
    std::wstring expected = L"x";
    for (int i = 0; i < 6000; ++i) {
        line += "가";
        expected += L"가";
    }
    Write(line + "\n");
    std::wstring shown = ReadAll(m_doc);
    EXPECT_EQ(shown.find(L'\uFFFD'), std::wstring::npos);
    size_t pieces = 0;
    for (size_t at; (at = shown.find(L"\r\n")) != std::wstring::npos; ++pieces)
        shown.erase(at, 2);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(pieces, 1u);
}

TEST_F(FollowedFile, TwoViewsOfOneDocumentShareTheLines)
{
    Write("1\n2\n");
    const std::wstring firstView = ReadAll(m_doc);
    Write("3\n");
    const std::wstring secondView = ReadAll(m_doc);
    EXPECT_EQ(firstView, L"1\r\n2\r\n");
    EXPECT_EQ(secondView, L"3\r\n");
}

TEST_F(FollowedFile, AnEmptyOrSevenBitStartLeavesTheEncodingOpenUntilOtherBytesArrive)
{
    EXPECT_EQ(ReadAll(m_doc), L"");
    EXPECT_EQ(m_doc.GetEncoding(), CKelFile::ASCII);
    EXPECT_TRUE(m_doc.IsEncodingOpen());
    Write("plain start\n");
    EXPECT_EQ(ReadAll(m_doc), L"plain start\r\n");
    EXPECT_TRUE(m_doc.IsEncodingOpen());
    // UTF-8 written later reads as UTF-8 whatever the system code page.
    Write("INFO 사용자 로그\nnext\n");
    EXPECT_EQ(ReadAll(m_doc), L"INFO 사용자 로그\r\nnext\r\n");
    EXPECT_EQ(m_doc.GetEncoding(), CKelFile::UTF8_NOBOM);
    EXPECT_FALSE(m_doc.IsEncodingOpen());
    EXPECT_EQ(m_doc.GetReadPosition(), std::string("plain start\nINFO 사용자 로그\nnext\n").size());
}

TEST_F(FollowedFile, ASevenBitStartThenEucKrTextReadsAsEucKr)
{
    Write("2026-12-08 start\n");
    EXPECT_EQ(ReadAll(m_doc), L"2026-12-08 start\r\n");
    Write("\xC7\xD1\xB1\xDB \xB7\xCE\xB1\xD7\n"); // 한글 로그
    EXPECT_EQ(ReadAll(m_doc), L"한글 로그\r\n");
    EXPECT_EQ(m_doc.GetEncoding(), CKelFile::EUCKR);
}

TEST_F(FollowedFile, UnsupportedEncodingStopsFollowingWithANote)
{
    Write(std::string("\0\0\xFE\xFF\0\0\0a\0\0\0\n", 12)); // UTF-32 big-endian mark
    EXPECT_EQ(ReadAll(m_doc), L"지원하지 않는 Format UTF32_BE 입니다.\r\n");
    EXPECT_FALSE(m_doc.IsFollowing());
    Write("more\n");
    EXPECT_EQ(ReadAll(m_doc), L"");
    EXPECT_EQ(m_doc.GetReadPosition(), 0u);
}

TEST_F(FollowedFile, BytesThatFitNoEncodingAreShownAsUtf8AndFollowed)
{
    Write("\x7F" "ELF\x80\x80\x01\x02\nnext \xEA\xB0\x80\n");
    const std::wstring text = ReadAll(m_doc);
    EXPECT_EQ(text.substr(0, 4), L"\x7F" L"ELF");
    EXPECT_NE(text.find(L"next \uAC00\r\n"), std::wstring::npos) << "the UTF-8 in it reads as UTF-8";
    EXPECT_TRUE(m_doc.IsFollowing());
    EXPECT_TRUE(m_doc.IsUtf8Fallback());
    EXPECT_EQ(m_doc.GetEncoding(), CKelFile::UTF8_NOBOM);
    Write("more\n");
    EXPECT_EQ(ReadAll(m_doc), L"more\r\n");
}

TEST_F(FollowedFile, ACompressedFileSaysWhatItIs)
{
    Write(std::string("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03\xCB\x48\xCD\xC9\xC9\x07\x00", 17));
    EXPECT_EQ(ReadAll(m_doc), L"gzip 압축 파일입니다.\r\n");
    EXPECT_FALSE(m_doc.IsFollowing());
    EXPECT_STREQ(m_doc.CompressionName(), L"gzip");
}

// What a writer that keeps its own offset does after a copytruncate: its
// next write lands at that offset, after a hole of zero bytes.
void WriteAtOffset(const std::string& path, const std::string& bytes, off_t offset, bool truncateFirst)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    if (truncateFirst) {
        EXPECT_EQ(::ftruncate(fd, 0), 0);
    }
    if (!bytes.empty()) {
        EXPECT_EQ(::pwrite(fd, bytes.data(), bytes.size(), offset), static_cast<ssize_t>(bytes.size()));
    }
    ::close(fd);
}

TEST_F(FollowedFile, AFileCutAndWrittenPastItsOldSizeBetweenTwoCyclesIsSeenAsCut)
{
    Write("user=lee action=login\n");
    EXPECT_EQ(ReadAll(m_doc), L"user=lee action=login\r\n");
    ASSERT_TRUE(m_writer.Truncate());
    Write("first after cut\nuser=kim action=logout\n");
    EXPECT_EQ(ReadAll(m_doc), std::wstring(CKelWatchDoc::kTruncatedMarker)
                                  + L"\r\nfirst after cut\r\nuser=kim action=logout\r\n");
    Write("then\n");
    EXPECT_EQ(ReadAll(m_doc), L"then\r\n");
}

TEST_F(FollowedFile, ZeroBytesThatAWriterLeavesAfterACutBelongToTheCut)
{
    Write("one\ntwo\n");
    EXPECT_EQ(ReadAll(m_doc), L"one\r\ntwo\r\n");
    // Cut and written at the old offset before the next cycle.
    WriteAtOffset(m_path, "three\n", 8, true);
    const std::wstring marker(CKelWatchDoc::kTruncatedMarker);
    EXPECT_EQ(ReadAll(m_doc), marker + L"\r\nthree\r\n");

    // Cut, seen while empty, then written at the old offset.
    WriteAtOffset(m_path, "", 0, true);
    EXPECT_EQ(ReadAll(m_doc), marker + L"\r\n");
    WriteAtOffset(m_path, "four\n", 14, false);
    EXPECT_EQ(ReadAll(m_doc), L"four\r\n");
    // Zero bytes later in a file that was not cut stay what they are.
    Write(std::string("a\0b\n", 4));
    EXPECT_EQ(ReadAll(m_doc), L"a\r\nb\r\n");
}

TEST_F(FollowedFile, CycleBudgetSplitsTheWorkAtLineBoundaries)
{
    m_doc.SetCycleBudget(10);
    Write("line one\nline two\nline three\n");
    EXPECT_EQ(m_doc.ReadCycle(), L"line one\r\nline two\r\n"); // 18 bytes reach the budget
    EXPECT_TRUE(m_doc.HasMore());
    EXPECT_EQ(m_doc.ReadCycle(), L"line three\r\n");
    EXPECT_FALSE(m_doc.HasMore());
}

TEST(WatchDocument, DetectionLooksAtTheWholeFileUpToItsLimit)
{
    TempDir dir;
    kel::test::WriteBytes(dir / "late.log", std::string(5000, 'a') + "\n\xC7\xD1\n");
    CKelWatchDoc whole;
    whole.OnOpenDocument(CStringW((dir.path() / "late.log").wstring()));
    whole.ReadCycle();
    EXPECT_EQ(whole.GetEncoding(), CKelFile::EUCKR);

    // A limit that sees only the 7-bit start leaves the encoding open; the
    // rest is detected when the cycle reaches it.
    CKelWatchDoc limited;
    limited.SetDetectionLimit(100);
    limited.OnOpenDocument(CStringW((dir.path() / "late.log").wstring()));
    const std::wstring first = limited.ReadCycle().str();
    EXPECT_EQ(first, std::wstring(5000, L'a') + L"\r\n");
    EXPECT_EQ(ReadAll(limited), L"한\r\n");
    EXPECT_EQ(limited.GetEncoding(), CKelFile::EUCKR);
}

// A big file is detected on a worker thread: the cycles show nothing until
// it is done, then every line comes once, decoded as detected.
TEST(WatchDocument, BigFileIsDetectedBesideTheCycles)
{
    TempDir dir;
    std::string bytes;
    size_t lines = 0;
    for (; bytes.size() <= CKelWatchDoc::kInlineDetectionSize; ++lines)
        bytes += "\xC7\xD1\xB1\xDB line " + std::to_string(lines) + "\n"; // EUC-KR
    const std::string path = dir / "big.log";
    kel::test::WriteBytes(path, bytes);
    CKelWatchDoc doc;
    doc.OnOpenDocument(CStringW(std::wstring(path.begin(), path.end())));
    CLineStore store;
    EXPECT_EQ(doc.ReadCycle(store), 0u); // megabytes to read: not done at once
    for (int cycle = 0; cycle < 1000 && doc.GetEncoding() == CKelFile::UNDETECTED; ++cycle) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        doc.ReadCycle(store);
    }
    EXPECT_EQ(doc.GetEncoding(), CKelFile::EUCKR);
    while (doc.HasMore())
        doc.ReadCycle(store);
    ASSERT_EQ(store.LineCount(), lines);
    EXPECT_EQ(store.Line(LineNumber(0)), "한글 line 0");
    EXPECT_EQ(store.Line(LineNumber(lines - 1)), "한글 line " + std::to_string(lines - 1));
}

// Random logs written in random pieces: the block reader must show exactly
// what the literal line-by-line cycle shows, cycle by cycle.
struct RandomLog {
    std::mt19937 random;
    int encoding;

    std::string Piece()
    {
        std::string bytes;
        const int tokens = std::uniform_int_distribution<int>(0, 60)(random);
        for (int i = 0; i < tokens; ++i)
            bytes += Token();
        return bytes;
    }

    std::string Token()
    {
        const int pick = std::uniform_int_distribution<int>(0, 99)(random);
        const bool utf16 = encoding == CKelFile::UTF16_LE || encoding == CKelFile::UTF16_BE;
        auto unit = [&](char16_t u) {
            const char low = static_cast<char>(u & 0xFF);
            const char high = static_cast<char>(u >> 8);
            if (!utf16)
                return std::string(1, low);
            return encoding == CKelFile::UTF16_BE ? std::string{high, low} : std::string{low, high};
        };
        if (pick < 8) return unit(u'\n');
        if (pick < 11) return unit(u'\r');
        if (pick < 12) return unit(0);
        if (pick < 13) // a long run of 7-bit bytes (whole units in UTF-16)
            return std::string(2 * std::uniform_int_distribution<size_t>(4000, 10000)(random), 'L');
        if (pick < 30) {
            if (utf16) return unit(u'\uD55C');
            return encoding == CKelFile::EUCKR ? std::string("\xC7\xD1") : std::string("\xED\x95\x9C");
        }
        return unit(static_cast<char16_t>(u'a' + pick % 26));
    }
};

void CompareWithReference(int encoding, const std::string& start, unsigned seed)
{
    TempDir dir;
    const std::string path = dir / "random.log";
    RandomLog log{std::mt19937(seed), encoding};
    kel::test::WriteBytes(path, start);
    CKelWatchDoc doc;
    doc.OnOpenDocument(CStringW(std::wstring(path.begin(), path.end())));
    doc.SetCycleBudget(1 + seed % 5000);
    // A second document hands the same cycles to a line store, as the view's.
    CKelWatchDoc storing;
    storing.OnOpenDocument(doc.GetPathName());
    storing.SetCycleBudget(1 + seed % 5000);
    CLineStore store;
    std::wstring shown;
    kel::test::ReferenceDoc reference{path};
    for (int round = 0; round < 40; ++round) {
        std::ofstream(path, std::ios::binary | std::ios::app) << log.Piece();
        const std::wstring expected = kel::test::ReferenceCycle(reference);
        ASSERT_EQ(ReadAll(doc), expected) << "seed " << seed << " round " << round;
        ASSERT_EQ(doc.GetReadPosition(), reference.position);
        ASSERT_EQ(doc.GetEncoding(), reference.encoding);
        do
            storing.ReadCycle(store);
        while (storing.HasMore());
        shown += expected;
    }
    std::string stored;
    store.VisitText({}, store.End(), "\r\n", [&stored](std::string_view piece) { stored.append(piece); });
    EXPECT_EQ(stored, kel::platform::WideToUtf8(shown)) << "seed " << seed;
}

TEST(WatchDocumentAgainstReference, Utf8Logs)
{
    for (unsigned seed = 1; seed <= 6; ++seed)
        CompareWithReference(CKelFile::UTF8_NOBOM, "\xED\x95\x9C\n", seed);
}

TEST(WatchDocumentAgainstReference, Utf16Logs)
{
    for (unsigned seed = 11; seed <= 16; ++seed)
        CompareWithReference(CKelFile::UTF16_LE, "\xFF\xFE", seed);
}

TEST(WatchDocumentAgainstReference, Utf16BigEndianLogs)
{
    for (unsigned seed = 31; seed <= 36; ++seed)
        CompareWithReference(CKelFile::UTF16_BE, "\xFE\xFF", seed);
}

TEST(WatchDocumentAgainstReference, EucKrLogs)
{
    for (unsigned seed = 21; seed <= 26; ++seed)
        CompareWithReference(CKelFile::EUCKR, "\xC7\xD1\n", seed);
}

} // namespace
