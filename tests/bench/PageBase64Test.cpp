#include "BenchTestSupport.h"
#include "TestSupport.h"

#include <ByteViews.h>
#include <KelBase64.h>
#include <PageBase64Decoding.h>
#include <PageBase64Encoding.h>
#include <PageSupport.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace kel::test;

namespace {

std::string Utf16LE(const std::string& ascii)
{
    std::string bytes;
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

} // namespace

TEST(PageBase64Encoding, TypedHexWithBlanksEncodesTheBytes)
{
    CPageBase64Encoding page;
    page.m_nView = kel::bench::kViewRawData;
    page.m_strInput = L"41 42 43";
    page.InputChanged();
    page.Encode();
    EXPECT_EQ(page.m_strOutput, L"QUJD");
}

TEST(PageBase64Encoding, OddHexLeavesTheBufferEmptySoEncodeGivesEmptyText)
{
    CPageBase64Encoding page;
    page.m_strInput = L"hello";
    page.InputChanged();
    page.m_nView = kel::bench::kViewRawData;
    page.m_strInput = L"414";
    page.InputChanged();
    page.Encode();
    EXPECT_TRUE(page.Buffer().IsEmpty());
    EXPECT_EQ(page.m_strOutput, L"");
}

TEST(PageBase64Encoding, ViewsDecideTheBufferAndEmptyInputKeepsIt)
{
    CPageBase64Encoding page;
    page.m_strPath = L"/somewhere/file";
    page.m_strInput = L"AB";
    page.InputChanged();
    EXPECT_EQ(page.Buffer().Count(), 4u);
    EXPECT_EQ(page.m_strPath, L"");
    page.m_nView = kel::bench::kViewMBCS;
    page.InputChanged();
    EXPECT_EQ(page.Buffer().Count(), 2u);
    page.m_strInput.Empty();
    page.InputChanged();
    EXPECT_EQ(page.Buffer().View(), "AB");
    // A view change shows the kept buffer only while there is input text.
    page.m_nView = kel::bench::kViewRawData;
    page.ViewChanged();
    EXPECT_EQ(page.m_strInput, L"");
    page.m_strInput = L"x";
    page.ViewChanged();
    EXPECT_EQ(page.m_strInput, L"41 42");
}

TEST(PageBase64Encoding, InvalidHexShowsTheLibraryMessage)
{
    MessageRecorder messages;
    CPageBase64Encoding page;
    page.m_nView = kel::bench::kViewRawData;
    page.m_strInput = L"4g";
    page.InputChanged();
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_NE(messages.Messages()[0].find(L"KelException : "), std::wstring::npos);
    EXPECT_TRUE(page.Buffer().IsEmpty());
}

TEST(PageBase64Encoding, LargeFileShowsMessagesYetEncodesAndSavesWholly)
{
    TempDir dir;
    std::string bytes(60000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + 1);
    const std::string file = dir / "big.bin";
    WriteBytes(file, bytes);

    CPageBase64Encoding page;
    page.m_strPath = Wide(file);
    page.LoadPath();
    EXPECT_EQ(page.m_nView, kel::bench::kViewRawData);
    EXPECT_EQ(page.Buffer().Count(), bytes.size());
    EXPECT_EQ(page.m_strInput, kel::bench::kMessageTooLong); // 179999 hex characters
    page.Encode();
    std::string decoded(CKelBase64::DecodeCount(page.m_strOutput.GetString(), 80000), '\0');
    CKelBase64::Decode(reinterpret_cast<BYTE*>(decoded.data()), page.m_strOutput.GetString(), 80000);
    EXPECT_TRUE(decoded == bytes);
    EXPECT_EQ(page.m_strOutput.GetLength(), 80000); // 80000 characters fit the limit
    const CStringW saveName = page.SaveFileName();
    EXPECT_EQ(saveName, Wide(file + ".base64.enc"));
    page.Save(saveName);
    const std::string saved = ReadBytes(file + ".base64.enc");
    EXPECT_EQ(saved.substr(0, 2), "\xFF\xFE");
    std::string expected;
    for (wchar_t ch : page.m_strOutput.str())
        expected += static_cast<char>(ch);
    EXPECT_TRUE(saved.substr(2) == Utf16LE(expected));

    // Saving again replaces the file: it holds one Base64 text, not two.
    page.Save(saveName);
    EXPECT_EQ(ReadBytes(file + ".base64.enc").size(), saved.size());
    EXPECT_FALSE(std::filesystem::exists(file + ".base64.enc.part"));
}

TEST(PageBase64Encoding, EncodingOverTheLimitShowsMessageB)
{
    TempDir dir;
    const std::string file = dir / "big.bin";
    WriteBytes(file, std::string(115201, 'z')); // 153604 Base64 characters
    CPageBase64Encoding page;
    page.m_strPath = Wide(file);
    page.LoadPath();
    page.Encode();
    EXPECT_EQ(page.m_strOutput, kel::bench::kMessageTooLongDownload);
}

TEST(PageBase64Encoding, FileThatCannotBeOpenedChangesNothingAndUnwritableSaveIsReported)
{
    MessageRecorder messages;
    CPageBase64Encoding page;
    page.m_strInput = L"AB";
    page.InputChanged();
    page.m_strPath = L"/no/such/file";
    page.LoadPath();
    EXPECT_EQ(page.m_strInput, L"AB");
    EXPECT_EQ(page.Buffer().Count(), 4u);
    EXPECT_TRUE(messages.Messages().empty());
    page.Save(L"/no/such/folder/out.base64.enc");
    EXPECT_EQ(messages.Messages().size(), 1u);
}

TEST(PageBase64Decoding, DecodesToRawDataAndSavesBesideTheLoadedFile)
{
    TempDir dir;
    const std::string file = dir / "a.b64";
    WriteBytes(file, "QUJD\n");
    CPageBase64Decoding page;
    page.m_strPath = Wide(file);
    page.LoadPath();
    EXPECT_EQ(page.m_strInput, L"QUJD\n");
    page.Decode();
    EXPECT_EQ(page.m_nView, kel::bench::kViewRawData);
    EXPECT_EQ(page.m_strOutput, L"41 42 43");
    page.m_nView = kel::bench::kViewMBCS;
    page.ViewChanged();
    EXPECT_EQ(page.m_strOutput, L"ABC");
    page.Save(page.SaveFileName());
    EXPECT_EQ(ReadBytes(file + ".base64.dec"), "ABC");
}

TEST(PageBase64Decoding, FileTextEndsAtItsFirstZeroAsTheTextReadingHasIt)
{
    TempDir dir;
    const std::string file = dir / "padded.b64";
    CPageBase64Decoding page;
    page.m_strPath = Wide(file);
    WriteBytes(file, std::string("QUJD\n\0\0\0junk", 12));
    page.LoadPath();
    EXPECT_EQ(page.m_strInput, L"QUJD\n");
    page.Decode();
    EXPECT_EQ(page.Buffer().View(), "ABC");
    WriteBytes(file, std::string("\xFF\xFEQ\0U\0J\0D\0\0\0\xAC\xD5", 14));
    page.LoadPath();
    EXPECT_EQ(page.m_strInput, L"QUJD");
    WriteBytes(file, std::string("\xEF\xBB\xBFQUI=\0\xED\x95\x9C", 11));
    page.LoadPath();
    EXPECT_EQ(page.m_strInput, L"QUI=");
}

TEST(PageBase64Decoding, ReadsTheUtf16FilesTheEncodingPageWrites)
{
    TempDir dir;
    const std::string source = dir / "s.bin";
    WriteBytes(source, std::string("\x00\x01\xFE\xFF", 4));
    CPageBase64Encoding encoder;
    encoder.m_strPath = Wide(source);
    encoder.LoadPath();
    encoder.Save(encoder.SaveFileName());

    CPageBase64Decoding page;
    page.m_strPath = Wide(source + ".base64.enc");
    page.LoadPath();
    EXPECT_EQ(page.m_strInput, L"AAH+/w==");
    page.Decode();
    EXPECT_EQ(page.Buffer().View(), std::string("\x00\x01\xFE\xFF", 4));
}

TEST(PageBase64Decoding, AFileWithOneCharacterBeyondAsciiIsReadAsTextWhereverItStands)
{
    // One "é" (UTF-8) in plain Base64 text, at several places: the text is
    // read as text, so the fault is told as the character, not as a byte.
    TempDir dir;
    for (size_t at : { 0, 7, 9, 4096, 2 * 1024 * 1024 + 3 }) {
        std::string text(2 * 1024 * 1024 + 8, 'A');
        text.insert(at, "\xC3\xA9");
        WriteBytes(dir / "text.b64", text);
        MessageRecorder messages;
        CPageBase64Decoding page;
        page.m_strPath = Wide(dir / "text.b64");
        page.LoadPath();
        page.Decode();
        ASSERT_EQ(messages.Messages().size(), 1u) << at;
        EXPECT_NE(messages.Messages()[0].find(L"U+00E9"), std::wstring::npos) << at;
    }
}

TEST(PageBase64Decoding, RejectedTextShowsTheMessageAndKeepsTheOldOutput)
{
    MessageRecorder messages;
    CPageBase64Decoding page;
    page.m_strPath = L"/was/here";
    page.m_strInput = L"QUJD";
    page.InputChanged();
    EXPECT_EQ(page.m_strPath, L"");
    page.Decode();
    EXPECT_EQ(page.m_strOutput, L"41 42 43");
    page.m_strInput = L"QU!D";
    page.InputChanged();
    page.Decode();
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_NE(messages.Messages()[0].find(L"Base64"), std::wstring::npos);
    EXPECT_EQ(page.m_strOutput, L"41 42 43");
    EXPECT_EQ(page.Buffer().View(), "ABC");
}

TEST(PageBase64Decoding, LongTextShowsMessageAButDecodesWhole)
{
    TempDir dir;
    const std::string file = dir / "long.b64";
    WriteBytes(file, std::string(160000, 'A'));
    CPageBase64Decoding page;
    page.m_strPath = Wide(file);
    page.LoadPath();
    EXPECT_EQ(page.m_strInput, kel::bench::kMessageTooLong);
    page.Decode();
    EXPECT_EQ(page.Buffer().Count(), 120000u);
    EXPECT_EQ(page.m_strOutput, kel::bench::kMessageTooLongDownload);
    page.m_nView = kel::bench::kViewUnicode;
    page.ViewChanged(); // all zero bytes: an empty Unicode text
    EXPECT_EQ(page.m_strOutput, L"");
}

TEST(PageBase64Decoding, MissingFileClearsTheTexts)
{
    CPageBase64Decoding page;
    page.m_strInput = L"QUJD";
    page.InputChanged();
    page.m_strPath = L"/no/such/file.b64";
    page.LoadPath();
    EXPECT_EQ(page.m_strInput, L"");
    EXPECT_TRUE(page.Base64Text().IsEmpty());
}

namespace {

std::string RandomBytes(size_t count)
{
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>((i * 2654435761u) >> 11);
    return bytes;
}

} // namespace

TEST(PageBase64Files, LargeFilesRoundTripInPiecesAndEachSaveIsReported)
{
    // Several blocks of every step, and a length that leaves padding.
    TempDir dir;
    const std::string source = RandomBytes(3 * 8 * 1024 * 1024 + 7);
    WriteBytes(dir / "data.bin", source);
    CPageBase64Encoding encoding;
    CountingProgress progress;
    encoding.m_pProgress = &progress;
    encoding.m_strPath = Wide(dir / "data.bin");
    encoding.LoadPath();
    encoding.Encode();
    ASSERT_TRUE(encoding.Save(encoding.SaveFileName()));
    EXPECT_GE(progress.Steps(), 8);
    EXPECT_EQ(encoding.m_strStatus, L"저장했습니다: " + Wide(dir / "data.bin.base64.enc").str());

    // What base64 makes of the same bytes, as UTF-16 with its mark.
    WriteBytes(dir / "expected", "");
    ASSERT_EQ(std::system(("base64 -w0 '" + (dir / "data.bin") + "' > '" + (dir / "expected") + "'").c_str()), 0);
    EXPECT_TRUE(ReadBytes(dir / "data.bin.base64.enc") == "\xFF\xFE" + Utf16LE(ReadBytes(dir / "expected")));

    CPageBase64Decoding decoding;
    decoding.m_pProgress = &progress;
    decoding.m_strPath = Wide(dir / "data.bin.base64.enc");
    decoding.LoadPath();
    decoding.Decode();
    ASSERT_TRUE(decoding.Save(decoding.SaveFileName()));
    EXPECT_TRUE(ReadBytes(dir / "data.bin.base64.enc.base64.dec") == source);
    EXPECT_EQ(decoding.m_strStatus, L"저장했습니다: " + Wide(dir / "data.bin.base64.enc.base64.dec").str());
}

TEST(PageBase64Files, ACancelledLoadOrSaveLeavesThePageAndTheFilesAsTheyWere)
{
    TempDir dir;
    WriteBytes(dir / "data.bin", RandomBytes(20 * 1024 * 1024));
    WriteBytes(dir / "data.bin.base64.enc", "old");
    CPageBase64Encoding page;
    page.m_nView = kel::bench::kViewMBCS;
    page.m_strInput = L"AB";
    page.InputChanged();
    CountingProgress stopAtSecond(2);
    page.m_pProgress = &stopAtSecond;
    page.m_strPath = Wide(dir / "data.bin");
    page.LoadPath();
    EXPECT_EQ(page.Buffer().View(), "AB");
    EXPECT_EQ(page.m_strInput, L"AB");

    page.m_pProgress = nullptr;
    page.LoadPath();
    ASSERT_EQ(page.Buffer().Count(), 20u * 1024 * 1024);
    CountingProgress stopLater(2);
    page.m_pProgress = &stopLater;
    EXPECT_FALSE(page.Save(page.SaveFileName()));
    EXPECT_EQ(ReadBytes(dir / "data.bin.base64.enc"), "old");
    EXPECT_TRUE(page.m_strStatus.IsEmpty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 2);

    CPageBase64Decoding decoding;
    decoding.m_strInput = L"QUI=";
    decoding.InputChanged();
    decoding.Decode();
    CountingProgress stopAtFirst(1);
    decoding.m_pProgress = &stopAtFirst;
    decoding.m_strPath = Wide(dir / "data.bin");
    decoding.LoadPath(); // not Base64, but the cancel comes first
    EXPECT_EQ(decoding.m_strInput, L"QUI=");
    EXPECT_EQ(decoding.Base64Text().Wide(), L"QUI=");
    EXPECT_FALSE(decoding.Save(Wide(dir / "data.bin.base64.enc")));
    EXPECT_EQ(ReadBytes(dir / "data.bin.base64.enc"), "old");
}

TEST(PageBase64Files, ReplacingAnExistingSaveFileIsAskedFirst)
{
    TempDir dir;
    WriteBytes(dir / "a.bin", "xyz");
    WriteBytes(dir / "a.bin.base64.enc", "old");
    {
        MessageRecorder refuse(kel::platform::kIdCancel);
        EXPECT_FALSE(kel::bench::ConfirmReplace(Wide(dir / "a.bin.base64.enc")));
        ASSERT_EQ(refuse.Messages().size(), 1u);
        EXPECT_NE(refuse.Messages()[0].find(Wide(dir / "a.bin.base64.enc").str()), std::wstring::npos);
    }
    MessageRecorder agree;
    EXPECT_TRUE(kel::bench::ConfirmReplace(Wide(dir / "a.bin.base64.enc")));
    EXPECT_TRUE(kel::bench::ConfirmReplace(Wide(dir / "a.bin.base64.dec"))); // no such file: nothing asked
    EXPECT_EQ(agree.Messages().size(), 1u);
}

TEST(PageBase64Files, ALargeTextWithAFaultPastTheFirstPieceIsToldWhereItIs)
{
    // Plain Base64 over several pieces, one bad character near the end.
    TempDir dir;
    std::string text(20 * 1024 * 1024, 'A');
    text[text.size() - 5] = '*';
    WriteBytes(dir / "bad.b64", text);
    CPageBase64Decoding page;
    page.m_strPath = Wide(dir / "bad.b64");
    page.LoadPath();
    MessageRecorder messages;
    page.Decode();
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_NE(messages.Messages()[0].find(std::to_wstring(text.size() - 5)), std::wstring::npos) << messages.Messages()[0];
    EXPECT_TRUE(page.Buffer().IsEmpty());

    // Wrapped text (line breaks) is decoded whole, to the same bytes.
    std::string wrapped;
    for (size_t at = 0; at < text.size(); at += 76)
        wrapped += std::string(std::min<size_t>(76, text.size() - at), 'Q') + "\r\n";
    WriteBytes(dir / "wrapped.b64", wrapped);
    page.m_strPath = Wide(dir / "wrapped.b64");
    page.LoadPath();
    page.Decode();
    EXPECT_EQ(page.Buffer().Count(), text.size() / 4 * 3);
}
