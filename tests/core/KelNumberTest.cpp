#include "KelNumber.h"

#include <gtest/gtest.h>

TEST(KelNumber, BigEndianFourBytes)
{
    const BYTE small[] = {0x00, 0x00, 0x01, 0x02, 0xFF};
    EXPECT_EQ(CKelNumber::BYTE2UINT(small), 258u);
    const BYTE large[] = {0xFF, 0xFE, 0x00, 0x01};
    EXPECT_EQ(CKelNumber::BYTE2UINT(large), 0xFFFE0001u);
}

TEST(KelNumber, BigEndianEightBytes)
{
    const BYTE bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    EXPECT_EQ(CKelNumber::BYTE2ULONGLONG(bytes), 0x0102030405060708ull);
    const BYTE top[] = {0xFF, 0, 0, 0, 0, 0, 0, 0x80};
    EXPECT_EQ(CKelNumber::BYTE2ULONGLONG(top), 0xFF00000000000080ull);
}
