#include "CodecTestSupport.h"

#include <KelHash.h>

#include <gtest/gtest.h>

using namespace kel::test;

namespace {

std::wstring Digest(DWORD algorithm, const std::string& text, DWORD room = 2048)
{
    std::vector<BYTE> digest(2048, 0);
    DWORD length = room;
    CKelHash::GetValue(algorithm, reinterpret_cast<const BYTE*>(text.data()), text.size(), length, digest.data());
    digest.resize(length);
    std::wstring hex = HexOf(digest);
    std::erase(hex, L' ');
    return hex;
}

} // namespace

TEST(HashMD5, Rfc1321TestSuite)
{
    EXPECT_EQ(Digest(CKelHash::kMD5, ""), L"d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Digest(CKelHash::kMD5, "a"), L"0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Digest(CKelHash::kMD5, "abc"), L"900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Digest(CKelHash::kMD5, "message digest"), L"f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Digest(CKelHash::kMD5, "abcdefghijklmnopqrstuvwxyz"), L"c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Digest(CKelHash::kMD5, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
        L"d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Digest(CKelHash::kMD5,
                  "12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
        L"57edf4a22be3c955ac49da2e2107b67a");
}

TEST(HashSHA1, Fips180Examples)
{
    EXPECT_EQ(Digest(CKelHash::kSHA1, "abc"), L"a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Digest(CKelHash::kSHA1, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
        L"84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(Digest(CKelHash::kSHA1, std::string(1000000, 'a')), L"34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(Digest(CKelHash::kSHA1, ""), L"da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(HashGetValue, SetsTheLengthToTheDigestSize)
{
    std::vector<BYTE> digest(2048, 0);
    DWORD length = 20;
    CKelHash::GetValue(CKelHash::kMD5, nullptr, 0, length, digest.data());
    EXPECT_EQ(length, 16u);
    length = 16;
    EXPECT_FALSE(ExceptionMessage([&] {
        CKelHash::GetValue(CKelHash::kSHA1, nullptr, 0, length, digest.data());
    }).empty());
    length = 2048;
    CKelHash::GetValue(CKelHash::kSHA1, nullptr, 0, length, digest.data());
    EXPECT_EQ(length, 20u);
}

TEST(HashGetValue, RoomSmallerThanTheDigestIsRefusedWithoutWriting)
{
    std::vector<BYTE> digest(32, 0xEE);
    DWORD length = 10;
    const std::wstring message = ExceptionMessage([&] {
        CKelHash::GetValue(CKelHash::kSHA1, reinterpret_cast<const BYTE*>("abc"), 3, length, digest.data());
    });
    EXPECT_NE(message.find(L"20"), std::wstring::npos) << message;
    EXPECT_EQ(length, 10u);
    EXPECT_EQ(digest, std::vector<BYTE>(32, 0xEE));
}

TEST(HashGetValue, UnknownAlgorithmIsRefused)
{
    BYTE digest[64] = {};
    DWORD length = sizeof digest;
    EXPECT_NE(ExceptionMessage([&] { CKelHash::GetValue(0x800E, digest, 1, length, digest); }).find(L"0x800E"),
        std::wstring::npos);
}

TEST(HashSHA256, Fips180Examples)
{
    EXPECT_EQ(Digest(CKelHash::kSHA256, ""), L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Digest(CKelHash::kSHA256, "abc"), L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Digest(CKelHash::kSHA256, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
        L"248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    std::vector<BYTE> digest(2048, 0);
    DWORD length = 20; // room for SHA-1, not for SHA-256
    EXPECT_FALSE(ExceptionMessage([&] {
        CKelHash::GetValue(CKelHash::kSHA256, nullptr, 0, length, digest.data());
    }).empty());
    EXPECT_EQ(length, 20u);
}

TEST(HashStream, ACopyFinishesWhatWasFedSoFarAndTheOriginalGoesOn)
{
    CKelHashStream stream(CKelHash::kMD5);
    stream.Update(reinterpret_cast<const BYTE*>("ab"), 2);
    CKelHashStream copy(stream);
    stream.Update(reinterpret_cast<const BYTE*>("c"), 1);
    std::vector<BYTE> digest(16, 0);
    DWORD length = 16;
    copy.Finish(length, digest.data());
    std::wstring ab = HexOf(digest);
    std::erase(ab, L' ');
    EXPECT_EQ(ab, L"187ef4436122d1cc2f40dc2b92f0eba0");
    length = 16;
    stream.Finish(length, digest.data());
    std::wstring abc = HexOf(digest);
    std::erase(abc, L' ');
    EXPECT_EQ(abc, L"900150983cd24fb0d6963f7d28e17f72");
    // Spent: a second finish is refused, not garbage.
    EXPECT_FALSE(ExceptionMessage([&] { stream.Finish(length, digest.data()); }).empty());
    EXPECT_FALSE(ExceptionMessage([&] { CKelHashStream unknown(0x1234); }).empty());
}
