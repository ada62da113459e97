// Byte-for-byte agreement with coreutils base64, md5sum, sha1sum and sha256sum on real
// files of 0 bytes, 1 byte, 1 MB and 100 MB.
#include "CodecTestSupport.h"
#include "TestSupport.h"

#include <KelHash.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

using namespace kel::test;

namespace {

// Standard output of a shell command; fails the test when it does not succeed.
std::string RunCommand(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return output;
    }
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << command;
    return output;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end()); // Base64 and hex are ASCII
}

std::string DigestHex(DWORD algorithm, const std::vector<BYTE>& data)
{
    BYTE digest[2048] = {};
    DWORD length = sizeof digest;
    CKelHash::GetValue(algorithm, data.data(), data.size(), length, digest);
    std::wstring hex = HexOf(std::vector<BYTE>(digest, digest + length));
    std::erase(hex, L' ');
    return Narrow(hex);
}

class CoreutilsAgreement : public ::testing::TestWithParam<size_t> {
protected:
    void SetUp() override
    {
        m_data.resize(GetParam());
        std::mt19937_64 random(GetParam());
        for (size_t i = 0; i < m_data.size(); i += 8) {
            const auto value = random();
            for (size_t k = 0; k < 8 && i + k < m_data.size(); ++k)
                m_data[i + k] = static_cast<BYTE>(value >> (8 * k));
        }
        m_file = m_dir / "data.bin";
        WriteBytes(m_file, std::string(m_data.begin(), m_data.end()));
    }

    TempDir m_dir;
    std::string m_file;
    std::vector<BYTE> m_data;
};

} // namespace

TEST_P(CoreutilsAgreement, Base64EncodingIsTheSameText)
{
    const std::string expected = RunCommand("base64 -w 0 '" + m_file + "'");
    EXPECT_TRUE(Narrow(Base64Of(m_data)) == expected);
    // The UTF-16 form is the same text, unit for unit.
    std::u16string units(CKelBase64::EncodeCount(m_data.data(), m_data.size()) + 1, u'x');
    CKelBase64::Encode(units.data(), m_data.data(), m_data.size());
    EXPECT_EQ(units.back(), u'\0');
    units.pop_back();
    EXPECT_TRUE(std::equal(units.begin(), units.end(), expected.begin(), expected.end()));
}

TEST_P(CoreutilsAgreement, DecodesWhatBase64WritesAndBase64DecodesWhatWeWrite)
{
    // coreutils wraps at 76 columns by default: the line breaks are passed over.
    const std::string wrapped = RunCommand("base64 '" + m_file + "'");
    std::vector<BYTE> back(CKelBase64::DecodeCount(wrapped.c_str(), wrapped.size()));
    CKelBase64::Decode(back.data(), wrapped.c_str(), wrapped.size());
    EXPECT_TRUE(back == m_data);

    const std::string ours = m_dir / "ours.b64";
    WriteBytes(ours, Narrow(Base64Of(m_data)));
    const std::string decoded = RunCommand("base64 -d '" + ours + "'");
    EXPECT_TRUE(decoded == std::string(m_data.begin(), m_data.end()));
}

TEST_P(CoreutilsAgreement, DigestsMatchMd5sumAndSha1sum)
{
    EXPECT_EQ(DigestHex(CKelHash::kMD5, m_data), RunCommand("md5sum '" + m_file + "'").substr(0, 32));
    EXPECT_EQ(DigestHex(CKelHash::kSHA1, m_data), RunCommand("sha1sum '" + m_file + "'").substr(0, 40));
}

TEST_P(CoreutilsAgreement, Sha256MatchesSha256sumWholeAndFedInPieces)
{
    const std::string expected = RunCommand("sha256sum '" + m_file + "'").substr(0, 64);
    EXPECT_EQ(DigestHex(CKelHash::kSHA256, m_data), expected);

    // Fed in uneven pieces, as a file read block by block.
    CKelHashStream stream(CKelHash::kSHA256);
    for (size_t at = 0; at < m_data.size();) {
        const size_t piece = std::min<size_t>(m_data.size() - at, 1 + (at % 7919) * 131);
        stream.Update(m_data.data() + at, piece);
        at += piece;
    }
    BYTE digest[32] = {};
    DWORD length = sizeof digest;
    stream.Finish(length, digest);
    ASSERT_EQ(length, 32u);
    std::wstring hex = HexOf(std::vector<BYTE>(digest, digest + length));
    std::erase(hex, L' ');
    EXPECT_EQ(Narrow(hex), expected);
}

INSTANTIATE_TEST_SUITE_P(Files, CoreutilsAgreement, ::testing::Values(0, 1, 1u << 20, 100u << 20),
    [](const auto& info) { return std::to_string(info.param) + "bytes"; });
