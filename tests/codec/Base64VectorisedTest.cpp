// The vectorised Base64 code against the portable code: the same text for
// every buffer length up to 4096, the same bytes or the same failure for
// every text, whichever character stands wherever in a block.
#include "CodecTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace kel::test;

namespace {

// Switches the vectorised code on or off while it lives; on again after.
class VectorisedCode {
public:
    explicit VectorisedCode(bool use) : m_bRuns(CKelBase64::UseVectorised(use)) {}
    ~VectorisedCode() { CKelBase64::UseVectorised(true); }
    VectorisedCode(const VectorisedCode&) = delete;
    VectorisedCode& operator=(const VectorisedCode&) = delete;
    bool Runs() const { return m_bRuns; }

private:
    bool m_bRuns;
};

bool VectorisedCodeRunsHere()
{
    return VectorisedCode(true).Runs();
}

std::vector<BYTE> RandomData(std::mt19937& random, size_t count)
{
    std::vector<BYTE> data(count);
    for (BYTE& b : data)
        b = static_cast<BYTE>(random());
    return data;
}

template <typename Ch>
std::basic_string<Ch> Encoded(const std::vector<BYTE>& data, bool vectorised)
{
    VectorisedCode code(vectorised);
    std::basic_string<Ch> text(CKelBase64::EncodeCount(data.data(), data.size()) + 1, Ch('?'));
    CKelBase64::Encode(text.data(), data.data(), data.size());
    EXPECT_EQ(text.back(), Ch(0));
    text.pop_back();
    return text;
}

// What counting and decoding `text` give: the bytes, or the failure's
// message (also when the two disagree). The buffer has room to spare, so a
// write past the count shows.
template <typename Ch>
std::string Decoded(const std::basic_string<Ch>& text, bool vectorised)
{
    VectorisedCode code(vectorised);
    std::vector<BYTE> data(text.size() + 8, 0xA5);
    std::string outcome;
    const std::wstring message = ExceptionMessage([&] {
        const size_t counted = CKelBase64::DecodeCount(text.c_str(), text.size());
        const size_t count = CKelBase64::Decode(data.data(), text.c_str(), text.size());
        if (count != counted)
            throw new CKelException(L"counted %zu, decoded %zu", counted, count);
        outcome.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(count));
        for (size_t i = count; i < data.size(); ++i)
            if (data[i] != 0xA5)
                outcome = "wrote past the count";
    });
    return message.empty() ? outcome : "failed: " + std::string(message.begin(), message.end());
}

} // namespace

TEST(Base64Vectorised, EncodesEveryLengthUpTo4096AsThePortableCodeDoes)
{
    if (!VectorisedCodeRunsHere())
        GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 random(11);
    for (size_t n = 0; n <= 4096; ++n) {
        const std::vector<BYTE> data = RandomData(random, n);
        const std::string narrow = Encoded<char>(data, false);
        ASSERT_EQ(Encoded<char>(data, true), narrow) << n;
        ASSERT_EQ(Encoded<char16_t>(data, true), std::u16string(narrow.begin(), narrow.end())) << n;
        ASSERT_EQ(Encoded<wchar_t>(data, true), std::wstring(narrow.begin(), narrow.end())) << n;
        ASSERT_EQ(Encoded<wchar_t>(data, false), std::wstring(narrow.begin(), narrow.end())) << n;
    }
}

TEST(Base64Vectorised, DecodesEveryLengthUpTo4096AsThePortableCodeDoes)
{
    if (!VectorisedCodeRunsHere())
        GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 random(12);
    for (size_t n = 0; n <= 4096; ++n) {
        const std::vector<BYTE> data = RandomData(random, n);
        const std::string expected(data.begin(), data.end());
        const std::string narrow = Encoded<char>(data, false);
        const std::wstring wide(narrow.begin(), narrow.end());
        ASSERT_EQ(Decoded(narrow, true), expected) << n;
        ASSERT_EQ(Decoded(narrow, false), expected) << n;
        ASSERT_EQ(Decoded(wide, true), expected) << n;
        ASSERT_EQ(Decoded(wide, false), expected) << n;
    }
}

TEST(Base64Vectorised, EveryCharacterAnywhereInABlockGivesThePortableOutcome)
{
    if (!VectorisedCodeRunsHere())
        GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 random(13);
    const std::string valid = Encoded<char>(RandomData(random, 96), false); // 128 characters
    for (size_t at : { 0, 5, 31, 32, 63, 64, 100, 127 }) {
        for (int code = 0; code < 256; ++code) {
            std::string narrow = valid;
            narrow[at] = static_cast<char>(code);
            ASSERT_EQ(Decoded(narrow, true), Decoded(narrow, false)) << at << " " << code;
            std::wstring wide(narrow.begin(), narrow.end());
            for (auto& ch : wide)
                ch = static_cast<wchar_t>(static_cast<unsigned char>(ch));
            ASSERT_EQ(Decoded(wide, true), Decoded(wide, false)) << at << " " << code;
        }
        // Wide characters whose low byte is an alphabet character.
        for (std::uint32_t code : { 0x141u, 0x2B00u, 0x10041u, 0x7FFFFF41u, 0xFFFFFF41u }) {
            std::wstring wide(valid.begin(), valid.end());
            wide[at] = static_cast<wchar_t>(code);
            const std::string outcome = Decoded(wide, true);
            EXPECT_EQ(outcome, Decoded(wide, false)) << at << " " << code;
            EXPECT_EQ(outcome.rfind("failed", 0), 0u) << at << " " << code;
        }
    }
}

TEST(Base64Vectorised, RandomTextsWithBlanksPaddingAndFaultsGiveThePortableOutcome)
{
    if (!VectorisedCodeRunsHere())
        GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 random(14);
    const char extras[] = { ' ', '\n', '\r', '\t', '=', '-', '_', '\0', '\x80', '\xFF' };
    for (int round = 0; round < 3000; ++round) {
        std::string text = Encoded<char>(RandomData(random, random() % 400), false);
        // Most texts get a few stray characters; some stay plain.
        const int strays = static_cast<int>(random() % 4);
        for (int i = 0; i < strays && !text.empty(); ++i)
            text.insert(text.begin() + static_cast<std::ptrdiff_t>(random() % text.size()),
                extras[random() % sizeof extras]);
        ASSERT_EQ(Decoded(text, true), Decoded(text, false)) << text;
        const std::wstring wide(text.begin(), text.end());
        ASSERT_EQ(Decoded(wide, true), Decoded(wide, false)) << text;
    }
}
