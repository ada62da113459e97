#include "BenchTestSupport.h"

#include <ByteViews.h>
#include <KelException.h>

#include <gtest/gtest.h>

using namespace kel::bench;
using namespace kel::test;

namespace {

std::string Bytes(const CByteBuffer& buffer)
{
    return std::string(buffer.View());
}

CStringW Show(const std::string& bytes, int view)
{
    return BufferToText(CByteBuffer::Copy(bytes), view, L"TOO LONG");
}

} // namespace

TEST(ByteViewsTextToBuffer, UnicodeIsUtf16LEWithoutTerminatorAndMbcsIsTheCodePage)
{
    EXPECT_EQ(Bytes(TextToBuffer(L"AB", kViewUnicode)), std::string("A\0B\0", 4));
    EXPECT_EQ(Bytes(TextToBuffer(L"AB", kViewMBCS)), "AB");
    // A character beyond the BMP is a surrogate pair, as in the UTF-16 original.
    EXPECT_EQ(Bytes(TextToBuffer(L"\U0001F600", kViewUnicode)), std::string("\x3D\xD8\x00\xDE", 4));
}

TEST(ByteViewsTextToBuffer, RawDataDropsBlanksAndLeavesOddDigitsEmpty)
{
    EXPECT_EQ(Bytes(TextToBuffer(L" 41 42 43\r\n", kViewRawData)), "ABC");
    EXPECT_EQ(Bytes(TextToBuffer(L"414", kViewRawData)), "");
    EXPECT_EQ(Bytes(TextToBuffer(L"4 1 4", kViewRawData)), "");
    try {
        TextToBuffer(L"4g", kViewRawData);
        ADD_FAILURE() << "a letter outside hex was accepted";
    } catch (CKelException* e) {
        e->Delete();
    }
}

TEST(ByteViewsBufferToText, UnicodeStopsAtTheFirstZeroAndKeepsAnOddLastByte)
{
    EXPECT_EQ(Show(std::string("A\0B\0", 4), kViewUnicode), L"AB");
    EXPECT_EQ(Show(std::string("A\0\0\0B\0", 6), kViewUnicode), L"A");
    EXPECT_EQ(Show(std::string("A\0B", 3), kViewUnicode), L"AB");
    EXPECT_EQ(Show(std::string("\x3D\xD8\x00\xDE", 4), kViewUnicode), L"\U0001F600");
}

TEST(ByteViewsBufferToText, MbcsStopsAtTheFirstZeroByteAndRawDataIsHex)
{
    EXPECT_EQ(Show(std::string("ab\0cd", 5), kViewMBCS), L"ab");
    EXPECT_EQ(Show("ABC", kViewRawData), L"41 42 43");
    EXPECT_EQ(Show("", kViewRawData), L"");
}

TEST(ByteViewsDisplayLimit, TextsOverHalfTheLimitBecomeTheMessage)
{
    // 153600 characters are 307200 bytes of UTF-16: exactly at the limit.
    EXPECT_EQ(Show(std::string(153600, 'a'), kViewMBCS).GetLength(), 153600);
    EXPECT_EQ(Show(std::string(153601, 'a'), kViewMBCS), L"TOO LONG");
    EXPECT_EQ(Show(std::string(2 * 153600, 'a'), kViewUnicode).GetLength(), 153600);
    EXPECT_EQ(Show(std::string(2 * 153601, 'a'), kViewUnicode), L"TOO LONG");
    // Hex is 3 characters a byte less one: 51200 bytes give 153599 characters.
    EXPECT_EQ(Show(std::string(51200, 'a'), kViewRawData).GetLength(), 153599);
    EXPECT_EQ(Show(std::string(51201, 'a'), kViewRawData), L"TOO LONG");
    // A zero byte ends the MBCS text, so a long buffer may still show.
    EXPECT_EQ(Show("xy" + std::string(400000, '\0'), kViewMBCS), L"xy");
}

TEST(ByteViewsDisplayLimit, CountsUtf16CodeUnits)
{
    EXPECT_EQ(Utf16Length(L"a\U0001F600"), 3u);
    const CStringW pairs(std::wstring(76800, L'\U0001F600'));
    EXPECT_EQ(FitForDisplay(pairs, L"M").GetLength(), 76800);
    EXPECT_EQ(FitForDisplay(pairs + L"x", L"M"), L"M");
}

TEST(ByteViews, APastedHexDumpReadsThroughItsLineBreaks)
{
    EXPECT_EQ(kel::bench::TextToBuffer(L"41 42\r\n43\n44\t45\r\n", kel::bench::kViewRawData).View(), "ABCDE");
    EXPECT_EQ(kel::bench::TextToBuffer(L"4\n1", kel::bench::kViewRawData).View(), "A");
}
