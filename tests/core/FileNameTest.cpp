// File names between wide text and file system bytes: every byte sequence
// (no NUL: no name holds one) comes back whole.
#include "platform/CodePage.h"
#include "platform/FileName.h"
#include "platform/Unicode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using kel::platform::CodePage;
using kel::platform::NarrowPath;
using kel::platform::Undecodable;
using kel::platform::WidePath;

TEST(FileName, WellFormedTextIsDecodedAsText)
{
    EXPECT_EQ(WidePath("plain.txt"), L"plain.txt");
    EXPECT_EQ(WidePath("\xed\x95\x9c\xea\xb8\x80 \xef\xbf\xbd \xf0\x9f\x98\x80"), L"\xD55C\xAE00 \xFFFD \x1F600");
    EXPECT_EQ(NarrowPath(L"\xD55C\xAE00 \xFFFD \x1F600"), "\xed\x95\x9c\xea\xb8\x80 \xef\xbf\xbd \xf0\x9f\x98\x80");
}

TEST(FileName, BytesThatAreNotTextAreCarriedOneByOne)
{
    // A lone lead byte, a cut sequence, an encoded surrogate, an overlong
    // form, bytes that never occur, and a sequence beyond U+10FFFF.
    EXPECT_EQ(WidePath("a\xff"), std::wstring(L"a\xDCFF"));
    EXPECT_EQ(WidePath("\xe2\x82"), std::wstring(L"\xDCE2\xDC82"));
    EXPECT_EQ(WidePath("\xed\xa0\x80"), std::wstring(L"\xDCED\xDCA0\xDC80"));
    EXPECT_EQ(WidePath("\xc0\xaf"), std::wstring(L"\xDCC0\xDCAF"));
    EXPECT_EQ(WidePath("\xf4\x90\x80\x80"), std::wstring(L"\xDCF4\xDC90\xDC80\xDC80"));
    // What follows a bad byte is decoded again from the next byte.
    EXPECT_EQ(WidePath("\xc3\xc3\xa9"), std::wstring(L"\xDCC3\xE9"));
}

TEST(FileName, EveryByteSequenceComesBackWhole)
{
    std::mt19937 random(15);
    std::uniform_int_distribution<int> byte(1, 255), length(0, 24);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(static_cast<size_t>(length(random)), '\0');
        for (char& b : bytes)
            b = static_cast<char>(byte(random) | (round % 2 ? 0x80 : 0)); // half of them all high bytes
        ASSERT_EQ(NarrowPath(WidePath(bytes).c_str()), bytes) << round;
    }
}

TEST(FileName, MultiByteCodePagesCarryUndecodableBytesToo)
{
    // CP949: a Hangul pair, then bytes it cannot decode.
    const std::string bytes = "\xc7\xd1 \xff\x80 \xc7";
    const std::wstring wide = kel::platform::MultiByteToWide(bytes, CodePage::Cp949, Undecodable::Escape);
    EXPECT_EQ(wide, std::wstring(L"\xD55C \xDCFF\xDC80 \xDCC7"));
    EXPECT_EQ(kel::platform::WideToMultiByte(wide, CodePage::Cp949, Undecodable::Escape), bytes);
    // Text keeps its replacement character and default character.
    EXPECT_EQ(kel::platform::MultiByteToWide("\xff", CodePage::Cp949), L"\xFFFD");
    EXPECT_EQ(kel::platform::WideToMultiByte(std::wstring(L"\xDCFF"), CodePage::Cp949), "?");
}

// Text (not names): each ill-formed part becomes one U+FFFD, at the edges of
// the three-byte range too.
TEST(FileName, TextDecodingTellsWellFormedThreeByteFormsFromIllFormedOnes)
{
    using kel::platform::Utf8ToWide;
    EXPECT_EQ(Utf8ToWide("\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xef\xbf\xbf"), std::wstring(L"\x0800\xD7FF\xE000\xFFFF"));
    EXPECT_EQ(Utf8ToWide("\xe0\x9f\xbf"), std::wstring(L"\xFFFD\xFFFD\xFFFD")); // over-long
    EXPECT_EQ(Utf8ToWide("\xed\xa0\x80"), std::wstring(L"\xFFFD\xFFFD\xFFFD")); // a surrogate
    EXPECT_EQ(Utf8ToWide("\xea\xb0"), std::wstring(L"\xFFFD"));                  // cut short
    EXPECT_EQ(Utf8ToWide("\xea\xb0\x41"), std::wstring(L"\xFFFD" L"A"));
}
