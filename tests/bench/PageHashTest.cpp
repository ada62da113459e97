#include "BenchTestSupport.h"
#include "TestSupport.h"

#include <ByteViews.h>
#include <PageHash.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

using namespace kel::test;

TEST(PageHash, StartsWithLength20UnderMD5AndShowsTheDigestSizeAfterComputing)
{
    CPageHash page;
    EXPECT_EQ(page.m_nAlgorithm, 0);
    EXPECT_EQ(page.m_nDigestLength, 20);
    page.Compute(); // the empty buffer: the digest of no bytes
    EXPECT_EQ(page.m_strOutput, L"d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(page.m_nDigestLength, 16);
}

TEST(PageHash, TypedTextIsHashedInTheChosenView)
{
    CPageHash page;
    page.m_nView = kel::bench::kViewMBCS;
    page.m_strInput = L"abc";
    page.InputChanged();
    page.Compute();
    EXPECT_EQ(page.m_strOutput, L"900150983cd24fb0d6963f7d28e17f72");
    page.m_nView = kel::bench::kViewUnicode;
    page.InputChanged();
    EXPECT_EQ(page.Buffer().View(), std::string("a\0b\0c\0", 6));
    page.Compute();
    EXPECT_EQ(page.m_strOutput, L"ce1473cf80c6b3fda8e3dfc006adc315");
}

TEST(PageHash, ChangingTheAlgorithmSetsTheLengthButDoesNotRecompute)
{
    CPageHash page;
    page.m_nView = kel::bench::kViewMBCS;
    page.m_strInput = L"abc";
    page.InputChanged();
    page.Compute();
    page.m_nAlgorithm = 1;
    page.AlgorithmChanged();
    EXPECT_EQ(page.m_nDigestLength, 20);
    EXPECT_EQ(page.m_strOutput, L"900150983cd24fb0d6963f7d28e17f72");
    page.Compute();
    EXPECT_EQ(page.m_strOutput, L"a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(PageHash, LengthTypedSmallerThanTheDigestIsRefusedWithAMessage)
{
    MessageRecorder messages;
    CPageHash page;
    page.m_nAlgorithm = 1;
    page.m_nDigestLength = 10;
    page.m_strOutput = L"before";
    page.Compute();
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_NE(messages.Messages()[0].find(L"20"), std::wstring::npos);
    EXPECT_EQ(page.m_strOutput, L"before");
    EXPECT_EQ(page.m_nDigestLength, 10);
    page.m_nDigestLength = -5;
    page.Compute();
    EXPECT_EQ(messages.Messages().size(), 2u);
}

TEST(PageHash, LoadedFileIsShownInRawDataOrAsThePageMessage)
{
    TempDir dir;
    const std::string small = dir / "small.bin";
    WriteBytes(small, "abc");
    CPageHash page;
    page.m_strPath = Wide(small);
    page.LoadPath();
    EXPECT_EQ(page.m_nView, kel::bench::kViewRawData);
    EXPECT_EQ(page.m_strInput, L"61 62 63");
    EXPECT_EQ(page.m_strPath, Wide(small)); // typing keeps the path on this page
    page.m_strInput = L"61 62";
    page.InputChanged();
    EXPECT_EQ(page.m_strPath, Wide(small));

    const std::string big = dir / "big.bin";
    WriteBytes(big, std::string(51201, 'a'));
    page.m_strPath = Wide(big);
    page.LoadPath();
    EXPECT_EQ(page.m_strInput, kel::bench::kMessageTooLongHash);
    page.Compute();
    EXPECT_EQ(page.m_nDigestLength, 16);
    EXPECT_EQ(page.m_strOutput.GetLength(), 32);
}

TEST(PageHash, Sha256IsTheThirdChoiceWithLength32)
{
    CPageHash page;
    page.m_nAlgorithm = CPageHash::kSHA256;
    page.AlgorithmChanged();
    EXPECT_EQ(page.m_nDigestLength, 32);
    page.m_nView = kel::bench::kViewMBCS;
    page.m_strInput = L"abc";
    page.InputChanged();
    page.Compute();
    EXPECT_EQ(page.m_strOutput, L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    page.m_nDigestLength = 20; // too little room: the library's message, the output kept
    MessageRecorder messages;
    page.Compute();
    EXPECT_EQ(messages.Messages().size(), 1u);
    EXPECT_EQ(page.m_strOutput, L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(PageHash, AFileHashedWhileReadGivesTheDigestOfEveryAlgorithmAgain)
{
    // Bigger than one read block, not a multiple of it.
    TempDir dir;
    std::string bytes(20 * 1024 * 1024 + 12345, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    WriteBytes(dir / "data.bin", bytes);
    const std::string md5 = "md5sum '" + (dir / "data.bin") + "'";
    CPageHash page;
    CountingProgress progress;
    page.m_pProgress = &progress;
    page.m_strPath = Wide(dir / "data.bin");
    page.LoadPath();
    EXPECT_EQ(page.Buffer().View(), bytes);
    EXPECT_GE(progress.Steps(), 3);

    // The digest made while reading, twice, then the others from the buffer.
    std::vector<std::wstring> digests;
    for (int algorithm : { 0, 0, 1, 2, 0 }) {
        page.m_nAlgorithm = algorithm;
        page.AlgorithmChanged();
        page.Compute();
        digests.push_back(page.m_strOutput.str());
    }
    EXPECT_EQ(digests[0], digests[1]);
    EXPECT_EQ(digests[0], digests[4]);
    const auto tool = [&](const char* name) {
        std::string command = std::string(name) + " '" + (dir / "data.bin") + "'";
        FILE* pipe = popen(command.c_str(), "r");
        char line[200] = {};
        const bool read = pipe && fgets(line, sizeof line, pipe);
        if (pipe)
            pclose(pipe);
        std::string text = read ? line : "";
        return std::wstring(text.begin(), text.begin() + static_cast<long>(text.find(' ')));
    };
    EXPECT_EQ(digests[0], tool("md5sum"));
    EXPECT_EQ(digests[2], tool("sha1sum"));
    EXPECT_EQ(digests[3], tool("sha256sum"));
}

TEST(PageHash, ACancelledLoadOrHashLeavesThePageAsItWas)
{
    TempDir dir;
    WriteBytes(dir / "big.bin", std::string(20 * 1024 * 1024, 'x'));
    CPageHash page;
    page.m_nView = kel::bench::kViewMBCS;
    page.m_strInput = L"abc";
    page.InputChanged();
    page.Compute();
    CountingProgress stopAtSecond(2);
    page.m_pProgress = &stopAtSecond;
    page.m_strPath = Wide(dir / "big.bin");
    page.LoadPath();
    EXPECT_EQ(page.Buffer().View(), "abc");
    EXPECT_EQ(page.m_strInput, L"abc");
    EXPECT_EQ(page.m_nView, kel::bench::kViewMBCS);

    page.m_pProgress = nullptr;
    page.LoadPath();
    ASSERT_EQ(page.Buffer().Count(), 20u * 1024 * 1024);
    page.m_nAlgorithm = 1; // not the one hashed while reading: hashed in blocks
    CountingProgress stopAtFirst(1);
    page.m_pProgress = &stopAtFirst;
    page.Compute();
    EXPECT_EQ(page.m_strOutput, L"900150983cd24fb0d6963f7d28e17f72");
}

TEST(PageHash, ABadHexCharacterIsToldOnceWhileTheTextStaysBad)
{
    MessageRecorder messages;
    CPageHash page;
    page.m_nView = kel::bench::kViewRawData;
    for (const wchar_t* typed : { L"4", L"4G", L"4G4", L"4G41", L"41", L"41 4", L"41 4Z" }) {
        page.m_strInput = typed;
        page.InputChanged();
    }
    EXPECT_EQ(messages.Messages().size(), 2u); // at "4G" and again at "41 4Z"
}

TEST(PageHash, OpeningAFileThatIsCancelledKeepsTheOldPathToo)
{
    TempDir dir;
    WriteBytes(dir / "small.bin", "abc");
    WriteBytes(dir / "big.bin", std::string(20 * 1024 * 1024, 'x'));
    CPageHash page;
    page.Open(Wide(dir / "small.bin"));
    ASSERT_EQ(page.Buffer().View(), "abc");
    CountingProgress stopAtSecond(2);
    page.m_pProgress = &stopAtSecond;
    page.Open(Wide(dir / "big.bin"));
    EXPECT_EQ(page.m_strPath, Wide(dir / "small.bin"));
    EXPECT_EQ(page.Buffer().View(), "abc");
    page.m_pProgress = nullptr;
    page.Open(Wide(dir / "missing.bin")); // not cancelled: the path is the chosen one
    EXPECT_EQ(page.m_strPath, Wide(dir / "missing.bin"));
    EXPECT_EQ(page.Buffer().View(), "abc");
}
