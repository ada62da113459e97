#include "KelMemPool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <regex>
#include <string>

using ::testing::MatchesRegex;

namespace {

// Exposes the protected steps.
class OpenPool : public CKelMemPool {
public:
    explicit OpenPool(long pages) : CKelMemPool(pages) {}
    using CKelMemPool::_Create;
    using CKelMemPool::_Dump;
};

template <typename Action>
std::string Printed(Action action)
{
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    action();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

const char* const kFigures = "\tWorking +[0-9]+ Kbytes, PageFileUsage +[0-9]+ Kbytes\n";

// Each figures line is exactly what the format gives for its own numbers
// (fields 7 and 10 wide).
void ExpectFormattedLines(const std::string& printed)
{
    size_t start = 0;
    int lines = 0;
    while ((start = printed.find('\t', start)) != std::string::npos) {
        const size_t end = printed.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = printed.substr(start, end + 1 - start);
        long working = -1, pageFile = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "\tWorking %ld Kbytes, PageFileUsage %ld Kbytes", &working, &pageFile), 2);
        char expected[128];
        std::snprintf(expected, sizeof expected, "\tWorking %7ld Kbytes, PageFileUsage %10ld Kbytes\n", working, pageFile);
        EXPECT_EQ(line, expected);
        start = end;
        ++lines;
    }
    EXPECT_GT(lines, 0);
}

long PageFileKbytes(const std::string& line)
{
    const size_t at = line.rfind("PageFileUsage");
    return at == std::string::npos ? -1 : std::stol(line.substr(at + 13));
}

} // namespace

TEST(KelMemPool, ReservesAWritableBlockAndPrintsBeforeAndAfter)
{
    OpenPool* pool = nullptr;
    const std::string made = Printed([&] { pool = new OpenPool(4096); }); // 16 MiB
    ASSERT_NE(pool->m_pBlock, nullptr);
    EXPECT_THAT(made, MatchesRegex(std::string("current mem ==> ") + kFigures + "reserved mem ==> " + kFigures));
    ExpectFormattedLines(made);
    const size_t split = made.find("reserved");
    EXPECT_GE(PageFileKbytes(made.substr(split)) - PageFileKbytes(made.substr(0, split)), 16 * 1024 - 64);

    std::memset(pool->m_pBlock, 0x5A, 4096u * 4096u);
    EXPECT_EQ(static_cast<unsigned char*>(pool->m_pBlock)[4096u * 4096u - 1], 0x5A);

    const std::string destroyed = Printed([&] { pool->Destroy(); });
    EXPECT_EQ(pool->m_pBlock, nullptr);
    EXPECT_THAT(destroyed, MatchesRegex(std::string("current mem ==> ") + kFigures));
    ExpectFormattedLines(destroyed);
    EXPECT_LT(PageFileKbytes(destroyed), PageFileKbytes(made.substr(split)));
    delete pool;
}

TEST(KelMemPool, RefusedReservationLeavesNullAndDestroyStillPrints)
{
    OpenPool* pool = nullptr;
    // More than the address space can hold.
    Printed([&] { pool = new OpenPool(0x7FFFFFFFFFFFFFFL); });
    EXPECT_EQ(pool->m_pBlock, nullptr);
    const std::string destroyed = Printed([&] { pool->Destroy(); });
    EXPECT_THAT(destroyed, MatchesRegex(std::string("current mem ==> ") + kFigures));
    delete pool;

    Printed([&] { pool = new OpenPool(-5); });
    EXPECT_EQ(pool->m_pBlock, nullptr);
    Printed([&] { pool->Destroy(); });
    delete pool;
}

TEST(KelMemPool, DumpPrintsTheLabelAsText)
{
    OpenPool* pool = nullptr;
    Printed([&] { pool = new OpenPool(1); });
    EXPECT_THAT(Printed([&] { pool->_Dump("100% label %s ==> "); }),
                MatchesRegex(std::string("100% label %s ==> ") + kFigures));
    EXPECT_TRUE(pool->_Create(2));
    EXPECT_NE(pool->m_pBlock, nullptr);
    Printed([&] { pool->Destroy(); });
    delete pool;
}
