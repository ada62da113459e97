#include "KelTime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD millisecond)
{
    return SYSTEMTIME{year, month, 0, day, hour, minute, second, millisecond};
}

CStringW Span(const SYSTEMTIME& before, const SYSTEMTIME& after)
{
    CKelTime time;
    time.m_stBefore = before;
    time.m_stAfter = after;
    return time.GetTimeString();
}

} // namespace

TEST(KelTime, SpansFormatWithFourDecimals)
{
    EXPECT_EQ(Span(At(2024, 3, 1, 10, 0, 0, 0), At(2024, 3, 1, 10, 0, 1, 500)), L"1.5000");
    EXPECT_EQ(Span(At(2024, 3, 1, 10, 0, 0, 0), At(2024, 3, 1, 10, 10, 0, 0)), L"600.0000");
    EXPECT_EQ(Span(At(2024, 3, 1, 10, 0, 0, 0), At(2024, 3, 1, 10, 0, 0, 0)), L"0.0000");
    EXPECT_EQ(Span(At(2024, 3, 1, 10, 0, 0, 1), At(2024, 3, 1, 10, 0, 0, 124)), L"0.1230");
}

TEST(KelTime, SpansCrossDayMonthYearAndLeapDay)
{
    EXPECT_EQ(Span(At(2023, 12, 31, 23, 59, 59, 500), At(2024, 1, 1, 0, 0, 1, 0)), L"1.5000");
    EXPECT_EQ(Span(At(2024, 2, 28, 12, 0, 0, 0), At(2024, 3, 1, 12, 0, 0, 0)), L"172800.0000");
    EXPECT_EQ(Span(At(2023, 2, 28, 12, 0, 0, 0), At(2023, 3, 1, 12, 0, 0, 0)), L"86400.0000");
}

TEST(KelTime, AfterBeforeBeforeIsNegative)
{
    EXPECT_EQ(Span(At(2024, 3, 1, 10, 0, 1, 500), At(2024, 3, 1, 10, 0, 0, 0)), L"-1.5000");
}

TEST(KelTime, StopwatchMeasuresRealTime)
{
    CKelTime time;
    time.Before();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    time.After();
    const double seconds = std::wcstod(time.GetTimeString(), nullptr);
    EXPECT_GE(seconds, 0.029);
    EXPECT_LT(seconds, 5.0);
    EXPECT_GE(time.m_stAfter.wYear, 2024);
    EXPECT_LE(time.m_stAfter.wDayOfWeek, 6);
}
