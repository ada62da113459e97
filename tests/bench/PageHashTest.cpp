#include "BenchTestSupport.h"
#include "TestSupport.h"

#include <ByteViews.h>
#include <PageHash.h>

#include <gtest/gtest.h>

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
    page.m_nView = kelbench::kViewMBCS;
    page.m_strInput = L"abc";
    page.InputChanged();
    page.Compute();
    EXPECT_EQ(page.m_strOutput, L"900150983cd24fb0d6963f7d28e17f72");
    page.m_nView = kelbench::kViewUnicode;
    page.InputChanged();
    EXPECT_EQ(page.Buffer().View(), std::string("a\0b\0c\0", 6));
    page.Compute();
    EXPECT_EQ(page.m_strOutput, L"ce1473cf80c6b3fda8e3dfc006adc315");
}

TEST(PageHash, ChangingTheAlgorithmSetsTheLengthButDoesNotRecompute)
{
    CPageHash page;
    page.m_nView = kelbench::kViewMBCS;
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
    EXPECT_EQ(page.m_nView, kelbench::kViewRawData);
    EXPECT_EQ(page.m_strInput, L"61 62 63");
    EXPECT_EQ(page.m_strPath, Wide(small)); // typing keeps the path on this page
    page.m_strInput = L"61 62";
    page.InputChanged();
    EXPECT_EQ(page.m_strPath, Wide(small));

    const std::string big = dir / "big.bin";
    WriteBytes(big, std::string(51201, 'a'));
    page.m_strPath = Wide(big);
    page.LoadPath();
    EXPECT_EQ(page.m_strInput, kelbench::kMessageTooLongHash);
    page.Compute();
    EXPECT_EQ(page.m_nDigestLength, 16);
    EXPECT_EQ(page.m_strOutput.GetLength(), 32);
}
