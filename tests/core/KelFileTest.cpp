#include "KelException.h"
#include "KelFile.h"
#include "KoreanText.h"
#include "RaisedMessage.h"
#include "TestSupport.h"
#include "Unprivileged.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using kel::test::IconvBytes;
using kel::test::RaisedMessage;
using kel::test::ReadBytes;
using kel::test::TempDir;
using kel::test::WriteBytes;

namespace {

const bool kLocaleSet = [] {
    setenv("LC_ALL", "C.UTF-8", 1);
    return true;
}();

int Detect(const std::string& bytes)
{
    return CKelFile::EncodingCheck(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
}

std::wstring Read(const std::string& bytes)
{
    CKelFile file;
    return file.ReadText(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size())).str();
}

} // namespace

TEST(EncodingCheck, MarksAreTriedInIdOrder)
{
    ASSERT_TRUE(kLocaleSet);
    EXPECT_EQ(Detect("\xEF\xBB\xBFx"), CKelFile::UTF8_BOM);
    EXPECT_EQ(Detect("\xFE\xFF"), CKelFile::UTF16_BE);
    EXPECT_EQ(Detect(std::string("\xFF\xFE\x00\x00", 4)), CKelFile::UTF16_LE); // never 4
    EXPECT_EQ(Detect(std::string("\x00\x00\xFE\xFF", 4)), CKelFile::UTF32_BE);
    EXPECT_EQ(Detect("\x0E\xFE\xFF"), CKelFile::SCSU);
    EXPECT_EQ(Detect("+/v8-"), CKelFile::UTF7_0); // never 10
    EXPECT_EQ(Detect("+/v9"), CKelFile::UTF7_1);
    EXPECT_EQ(Detect("+/v+"), CKelFile::UTF7_2);
    EXPECT_EQ(Detect("+/v/"), CKelFile::UTF7_3);
    EXPECT_EQ(Detect("\xDD\x73\x66\x73"), CKelFile::UTF_EBCDIC);
    EXPECT_EQ(Detect("\xFB\xEE\x28"), CKelFile::BOCU_1);
}

TEST(EncodingCheck, DataShorterThanAMarkNeverMatchesIt)
{
    EXPECT_EQ(Detect("\xEF"), CKelFile::UTF8_NOBOM); // inside a sequence, but alive
    EXPECT_EQ(Detect("\xEF\xBB"), CKelFile::UTF8_NOBOM);
    EXPECT_EQ(Detect("+/v"), CKelFile::ASCII);
}

TEST(EncodingCheck, Recognisers)
{
    EXPECT_EQ(Detect(""), CKelFile::ASCII);
    EXPECT_EQ(Detect("plain 7-bit text\r\n"), CKelFile::ASCII);
    EXPECT_EQ(Detect("\xB0\xA1"), CKelFile::EUCKR);
    EXPECT_EQ(Detect("\xED\x95\x9C"), CKelFile::UTF8_NOBOM);
    EXPECT_EQ(Detect("\x8C\x63"), CKelFile::CP949); // lead byte 81-A0
    EXPECT_EQ(Detect("\x80"), CKelFile::UNDETECTED);
    EXPECT_EQ(Detect("abc\x80" "def"), CKelFile::UNDETECTED);
    EXPECT_EQ(Detect("\xFF\xFF"), CKelFile::UNDETECTED);
}

TEST(EncodingCheck, RealKoreanTextInEveryByteForm)
{
    using kel::test::kKoreanCp949;
    using kel::test::kKoreanEucKr;
    EXPECT_EQ(Detect(IconvBytes(kKoreanEucKr, "UTF-8")), CKelFile::UTF8_NOBOM);
    EXPECT_EQ(Detect(IconvBytes(kKoreanEucKr, "EUC-KR")), CKelFile::EUCKR);
    EXPECT_EQ(Detect(IconvBytes(kKoreanCp949, "CP949")), CKelFile::CP949);
    // Long inputs go through the block paths: the answer must not change.
    std::string log;
    for (int i = 0; i < 5000; ++i)
        log += "2026-12-07 12:00:00 INFO  request served in 12 ms\n";
    EXPECT_EQ(Detect(log), CKelFile::ASCII);
    EXPECT_EQ(Detect(log + IconvBytes(kKoreanEucKr, "UTF-8") + log), CKelFile::UTF8_NOBOM);
    EXPECT_EQ(Detect(log + IconvBytes(kKoreanEucKr, "EUC-KR") + log), CKelFile::EUCKR);
    EXPECT_EQ(Detect(log + IconvBytes(kKoreanCp949, "CP949") + log), CKelFile::CP949);
    EXPECT_EQ(Detect(log + IconvBytes(kKoreanEucKr, "UTF-8") + log + "\xFF"), CKelFile::UNDETECTED);
    EXPECT_EQ(Detect(log + IconvBytes(kKoreanEucKr, "EUC-KR") + "\x80"), CKelFile::UNDETECTED);
    // A UTF-8 sequence cut off by the end still counts.
    EXPECT_EQ(Detect(log + "\xED\x95"), CKelFile::UTF8_NOBOM);
}

TEST(EncodingCheck, Utf16WithoutMarkIsAsciiUpToItsFirstZero)
{
    const std::string bytes("a\0b\0c\0", 6);
    EXPECT_EQ(Detect(bytes), CKelFile::ASCII);
    EXPECT_EQ(Read(bytes), L"a");
}

TEST(EncodingNames, TableAndOutsideIds)
{
    EXPECT_EQ(CKelFile::GetEncodingName(0).str(), L"UTF8_BOM");
    EXPECT_EQ(CKelFile::GetEncodingName(14).str(), L"UTF8_NOBOM");
    EXPECT_EQ(CKelFile::GetEncodingName(16).str(), L"CP949");
    EXPECT_EQ(CKelFile::GetEncodingName(17).str(), L"CANNOTFOUND");
    EXPECT_EQ(CKelFile::GetEncodingName(18).str(), L"UNDETECTED");
    EXPECT_EQ(CKelFile::GetEncodingName(-1).str(), L"UNKNOWN");
}

TEST(ReadText, DecodesByTheDetectedEncoding)
{
    using kel::test::kKoreanCp949;
    using kel::test::kKoreanEucKr;
    EXPECT_EQ(Read("\xEF\xBB\xBF" + IconvBytes(kKoreanEucKr, "UTF-8")), L"\uFEFF" + kKoreanEucKr); // mark kept
    EXPECT_EQ(Read(IconvBytes(kKoreanEucKr, "UTF-8")), kKoreanEucKr);
    EXPECT_EQ(Read(IconvBytes(kKoreanEucKr, "EUC-KR")), kKoreanEucKr);
    EXPECT_EQ(Read(IconvBytes(kKoreanCp949, "CP949")), kKoreanCp949);
    EXPECT_EQ(Read("\xFF\xFE" + IconvBytes(L"A한\U0001F600", "UTF-16LE")), L"\uFEFFA한\U0001F600");
    EXPECT_EQ(Read(""), L"");
    CKelFile file; // no bytes at all, as an empty vector's data() gives them
    EXPECT_EQ(file.ReadText(nullptr, 0), L"");
    for (int id : {CKelFile::UTF8_NOBOM, CKelFile::ASCII, CKelFile::CP949, CKelFile::UTF16_LE})
        EXPECT_EQ(CKelFile::DecodeAs(id, nullptr, 0), L"") << id;
}

TEST(ReadText, UndecodableKoreanPairsBecomeOneReplacementEach)
{
    // A2 E8 is a pair of the Korean byte form that code page 949 leaves
    // unassigned; C9 FE lies in its user-defined area. Neither may swallow
    // the byte after it or read past the end of the data.
    EXPECT_EQ(Read("\xB0\xA1\xA2\xE8" "A"), L"\uAC00\uFFFDA");
    EXPECT_EQ(Read("\xB0\xA1\xA2\xE8"), L"\uAC00\uFFFD");
    EXPECT_EQ(Read("\xA2\xE8\xA2\xE8"), L"\uFFFD\uFFFD");
    EXPECT_EQ(Read("A\xC9\xFE"), L"A\uFFFD\uFFFD"); // one per byte, as before
}

TEST(ReadText, Utf16StopsAtTheFirstZeroUnitAndKeepsAnOddByte)
{
    EXPECT_EQ(Read(std::string("\xFF\xFE\x00\x00x\x00", 6)), L"\uFEFF");
    EXPECT_EQ(Read(std::string("\xFF\xFE" "A\x00" "B", 5)), L"\uFEFFAB");
}

TEST(ReadText, UnsupportedEncodingsRaiseWithTheirName)
{
    EXPECT_EQ(RaisedMessage([] { Read("+/v8-"); }), L"KelException : 지원하지 않는 Format UTF7_0 입니다.");
    EXPECT_EQ(RaisedMessage([] { Read("\xFE\xFF\x00" "A"); }), L"KelException : 지원하지 않는 Format UTF16_BE 입니다.");
    EXPECT_EQ(RaisedMessage([] { Read("\x80"); }), L"KelException : 지원하지 않는 Format UNDETECTED 입니다.");
}

TEST(ReadTextFile, ReadsWholeFilesAndIgnoresWhatCannotBeOpened)
{
    TempDir dir;
    CKelFile file;
    file.SetFilename(CStringW((dir / "missing.txt").c_str()));
    EXPECT_TRUE(file.ReadTextFile().IsEmpty());
    file.SetFilename(CStringW(dir.path().c_str()));
    EXPECT_TRUE(file.ReadTextFile().IsEmpty()); // a folder

    const std::string path = dir / "korean.txt";
    WriteBytes(path, IconvBytes(kel::test::kKoreanEucKr, "EUC-KR"));
    file.SetFilename(CStringW(path.c_str()));
    EXPECT_EQ(file.ReadTextFile().str(), kel::test::kKoreanEucKr);

    WriteBytes(path, "\x80\x81");
    EXPECT_EQ(RaisedMessage([&] { file.ReadTextFile(); }), L"KelException : 지원하지 않는 Format UNDETECTED 입니다.");
}

TEST(ReadTextFile, UnreadableFileIsNotAnError)
{
    kel::test::SharedTempDir dir;
    const std::string path = dir / "secret.txt";
    WriteBytes(path, "abc");
    chmod(path.c_str(), 0);
    // Root reads every file: an ordinary user reads it.
    EXPECT_TRUE(kel::test::RunUnprivileged(dir.path(), [&] {
        CKelFile file;
        file.SetFilename(CStringW(path.c_str()));
        EXPECT_TRUE(file.ReadTextFile().IsEmpty());
        chmod(path.c_str(), 0400);
        EXPECT_EQ(file.ReadTextFile().str(), L"abc");
    }));
}

TEST(WriteUTF8, NewFileGetsOneMarkThenAppends)
{
    TempDir dir;
    const std::string path = dir / "out.txt";
    CKelFile file;
    file.SetFilename(CStringW(path.c_str()));
    file.WriteUTF8(L"첫 줄\r\n");
    file.WriteUTF8(L"second\r\n");
    EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBF" + IconvBytes(L"첫 줄\r\nsecond\r\n", "UTF-8"));
    EXPECT_EQ(file.ReadTextFile().str(), L"\uFEFF첫 줄\r\nsecond\r\n");
}

TEST(WriteUTF8, ExistingEmptyFileGetsNoMark)
{
    TempDir dir;
    const std::string path = dir / "empty.txt";
    WriteBytes(path, "");
    CKelFile file;
    file.SetFilename(CStringW(path.c_str()));
    file.WriteUTF8(L"x");
    EXPECT_EQ(ReadBytes(path), "x");
}

TEST(WriteUTF8, LongTextIsWrittenWhole)
{
    TempDir dir;
    const std::string path = dir / "long.txt";
    std::wstring text;
    while (text.size() < 30000)
        text += kel::test::kKoreanEucKr;
    CKelFile file;
    file.SetFilename(CStringW(path.c_str()));
    file.WriteUTF8(text.c_str());
    EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBF" + IconvBytes(text, "UTF-8"));
}

TEST(WriteUTF8, NullTextCreatesTheFileThenRaises)
{
    TempDir dir;
    const std::string path = dir / "null.txt";
    CKelFile file;
    file.SetFilename(CStringW(path.c_str()));
    EXPECT_EQ(RaisedMessage([&] { file.WriteUTF8(nullptr); }), L"KelException : No Unicode Value");
    EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBF");
}

TEST(WriteUTF8, FileThatCannotBeMadeIsSilentlySkipped)
{
    TempDir dir;
    CKelFile file;
    file.SetFilename(CStringW((dir / "no/such/folder/out.txt").c_str()));
    file.WriteUTF8(L"lost");
    EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

TEST(WriteUTF8, FullDiskRaisesTheWriteError)
{
    CKelFile file;
    file.SetFilename(L"/dev/full");
    EXPECT_EQ(RaisedMessage([&] { file.WriteUTF8(L"data"); }), L"KelException : No space left on device\r\n");
    EXPECT_EQ(RaisedMessage([&] { file.WriteUnicode(L"data"); }), L"KelException : No space left on device\r\n");
}

TEST(WriteUnicode, Utf16LeWithMarkSurrogatePairsIncluded)
{
    TempDir dir;
    const std::string path = dir / "wide.txt";
    CKelFile file;
    file.SetFilename(CStringW(path.c_str()));
    file.WriteUnicode(L"A한");
    file.WriteUnicode(L"\U0001F600");
    EXPECT_EQ(ReadBytes(path), "\xFF\xFE" + IconvBytes(L"A한\U0001F600", "UTF-16LE"));
    EXPECT_EQ(file.ReadTextFile().str(), L"\uFEFFA한\U0001F600");
}

TEST(CreateFolder, CreatesEveryLevel)
{
    TempDir dir;
    const std::string deep = dir / "a/b/c/";
    CKelFile::CreateFolder(CStringW(deep.c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "a/b/c"));
    CKelFile::CreateFolder(CStringW(deep.c_str())); // existing levels are fine
    const std::string backslashed = dir / "x\\y";
    CKelFile::CreateFolder(CStringW(backslashed.c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(backslashed)); // one folder named "x\y"
    CKelFile::CreateFolder(nullptr);
}
