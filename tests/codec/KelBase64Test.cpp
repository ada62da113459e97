#include "CodecTestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace kel::test;

TEST(Base64Encode, Rfc4648Vectors)
{
    EXPECT_EQ(Base64Of(Bytes("")), L"");
    EXPECT_EQ(Base64Of(Bytes("f")), L"Zg==");
    EXPECT_EQ(Base64Of(Bytes("fo")), L"Zm8=");
    EXPECT_EQ(Base64Of(Bytes("foo")), L"Zm9v");
    EXPECT_EQ(Base64Of(Bytes("foob")), L"Zm9vYg==");
    EXPECT_EQ(Base64Of(Bytes("fooba")), L"Zm9vYmE=");
    EXPECT_EQ(Base64Of(Bytes("foobar")), L"Zm9vYmFy");
}

TEST(Base64Encode, CountMatchesWrittenTextAndTerminates)
{
    for (size_t n = 0; n < 10; ++n) {
        std::vector<BYTE> data(n, 0xFF);
        const size_t count = CKelBase64::EncodeCount(data.data(), n);
        std::wstring text(count + 1, L'x');
        CKelBase64::Encode(text.data(), data.data(), n);
        EXPECT_EQ(text[count], L'\0') << n;
        EXPECT_EQ(std::wcslen(text.c_str()), count) << n;
    }
}

TEST(Base64Encode, UsesTheWholeAlphabet)
{
    // Bytes 0x00 0x10 0x83 0x10 0x51 0x87 ... run through every sextet value.
    std::vector<BYTE> data;
    for (int i = 0; i < 64; i += 4) {
        const unsigned value = (i << 18) | ((i + 1) << 12) | ((i + 2) << 6) | (i + 3);
        data.push_back(static_cast<BYTE>(value >> 16));
        data.push_back(static_cast<BYTE>(value >> 8));
        data.push_back(static_cast<BYTE>(value));
    }
    EXPECT_EQ(Base64Of(data), L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
}

TEST(Base64Decode, Rfc4648Vectors)
{
    EXPECT_EQ(FromBase64(L""), Bytes(""));
    EXPECT_EQ(FromBase64(L"Zg=="), Bytes("f"));
    EXPECT_EQ(FromBase64(L"Zm8="), Bytes("fo"));
    EXPECT_EQ(FromBase64(L"Zm9v"), Bytes("foo"));
    EXPECT_EQ(FromBase64(L"Zm9vYg=="), Bytes("foob"));
    EXPECT_EQ(FromBase64(L"Zm9vYmE="), Bytes("fooba"));
    EXPECT_EQ(FromBase64(L"Zm9vYmFy"), Bytes("foobar"));
}

TEST(Base64Decode, CountIsExactSoCallerTakesThatMany)
{
    for (const wchar_t* text : { L"Zg==", L"Zm8=", L"Zm9v", L"Zm9vYg", L"Zm9vYmE", L"" }) {
        const size_t length = std::wcslen(text);
        const size_t count = CKelBase64::DecodeCount(text, length);
        std::vector<BYTE> data(count + 1, 0xEE);
        EXPECT_EQ(CKelBase64::Decode(data.data(), text, length), count) << text;
        EXPECT_EQ(data[count], 0xEE) << "wrote past the count for " << text;
    }
}

TEST(Base64Decode, PassesOverLineBreaksAndBlanksAndMissingPadding)
{
    EXPECT_EQ(FromBase64(L"Zm9v\r\nYmFy\n"), Bytes("foobar"));
    EXPECT_EQ(FromBase64(L" Zm 9v\tYg = = "), Bytes("foob"));
    EXPECT_EQ(FromBase64(L"Zm9vYg"), Bytes("foob"));
    EXPECT_EQ(FromBase64(L"Zm9vYmE"), Bytes("fooba"));
}

TEST(Base64Decode, NarrowTextDecodesLikeWideText)
{
    const std::string text = "Zm9v\nYmE=";
    std::vector<BYTE> data(CKelBase64::DecodeCount(text.c_str(), text.size()));
    EXPECT_EQ(CKelBase64::Decode(data.data(), text.c_str(), text.size()), 5u);
    EXPECT_EQ(data, Bytes("fooba"));
}

TEST(Base64Decode, RejectsTextThatIsNotBase64)
{
    struct Case { const wchar_t* text; const wchar_t* expected; };
    const Case cases[] = {
        { L"Zm9v!mFy", L"위치 4" },          // outside the alphabet
        { L"Zm9v-_Fy", L"U+002D" },          // the URL-safe alphabet is another encoding
        { L"Zm9vY", L"끝이 잘못" },           // one character cannot carry a byte
        { L"Zg==Zg==", L"위치 4" },           // data after the padding
        { L"Z===", L"위치 1" },               // padding after a single character
        { L"Zm9v=", L"위치 4" },              // padding after a full quantum
        { L"Zg=", L"끝이 잘못" },             // incomplete padding
        { L"Zm8==", L"위치 4" },              // too much padding
        { L"한글", L"U+D55C" },               // characters beyond Latin-1
        { L"Zm9v\u0141mFy", L"U+0141" },      // its low byte is 'A', yet it is no Base64 character
    };
    for (const Case& c : cases) {
        const std::wstring message = ExceptionMessage([&] {
            CKelBase64::DecodeCount(c.text, std::wcslen(c.text));
        });
        EXPECT_NE(message.find(L"KelException : Base64 텍스트가 아닙니다"), std::wstring::npos) << c.text;
        EXPECT_NE(message.find(c.expected), std::wstring::npos) << c.text << " -> " << message;
        // Decode itself checks too: a caller that skips DecodeCount never gets garbage.
        std::vector<BYTE> data(64);
        EXPECT_FALSE(ExceptionMessage([&] {
            CKelBase64::Decode(data.data(), c.text, std::wcslen(c.text));
        }).empty()) << c.text;
    }
}

TEST(Base64Decode, RoundTripsRandomBuffersOfEveryTailLength)
{
    std::mt19937 random(7);
    for (size_t n = 0; n < 200; ++n) {
        std::vector<BYTE> data(n);
        for (BYTE& b : data)
            b = static_cast<BYTE>(random());
        EXPECT_EQ(FromBase64(Base64Of(data)), data) << n;
    }
}
