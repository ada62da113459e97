#include "CodecTestSupport.h"

#include <gtest/gtest.h>

using namespace kel::test;

TEST(HexEncode, PairsSeparatedByOneBlank)
{
    EXPECT_EQ(HexOf({}), L"");
    EXPECT_EQ(HexOf({ 0x00 }), L"00");
    EXPECT_EQ(HexOf({ 0x41, 0x42, 0x43 }), L"41 42 43");
    EXPECT_EQ(HexOf({ 0xAB, 0xCD, 0xEF, 0x09 }), L"ab cd ef 09");
}

TEST(HexEncode, CountAndResultAgree)
{
    for (size_t n = 0; n < 6; ++n) {
        std::vector<BYTE> data(n, 0x5A);
        std::wstring text(CKelHex::EncodeCount(data.data(), n) + 1, L'x');
        EXPECT_EQ(CKelHex::Encode(text.data(), data.data(), n), CKelHex::EncodeCount(data.data(), n));
        EXPECT_EQ(text.back(), L'\0');
    }
}

TEST(HexDecode, ReadsBackWhatEncodeWrites)
{
    std::vector<BYTE> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<BYTE>(i);
    const std::wstring text = HexOf(all);
    std::vector<BYTE> back(CKelHex::DecodeCount(text.c_str(), text.size()));
    EXPECT_EQ(CKelHex::Decode(back.data(), text.c_str(), text.size()), 256u);
    EXPECT_EQ(back, all);
}

TEST(HexDecode, AcceptsEitherCaseAndBlanksOrNone)
{
    for (const wchar_t* text : { L"4142ab", L"41 42 AB", L"\t41\r\n42 aB\n" }) {
        std::vector<BYTE> data(CKelHex::DecodeCount(text, std::wcslen(text)));
        ASSERT_EQ(data.size(), 3u) << text;
        CKelHex::Decode(data.data(), text, std::wcslen(text));
        EXPECT_EQ(data, (std::vector<BYTE> { 0x41, 0x42, 0xAB })) << text;
    }
}

TEST(HexDecode, RejectsOddDigitCountsAndOtherCharacters)
{
    EXPECT_NE(ExceptionMessage([] { CKelHex::DecodeCount(L"414", 3); }).find(L"홀수"), std::wstring::npos);
    EXPECT_NE(ExceptionMessage([] { CKelHex::DecodeCount(L"41 4g", 5); }).find(L"U+0067"), std::wstring::npos);
    EXPECT_NE(ExceptionMessage([] { CKelHex::DecodeCount(L"0x41", 4); }).find(L"위치 1"), std::wstring::npos);
    BYTE data[4] = {};
    EXPECT_FALSE(ExceptionMessage([&] { CKelHex::Decode(data, L"41,42", 5); }).empty());
}
