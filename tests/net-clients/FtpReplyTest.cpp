// The reply grammar of the FTP control connection.
#include "platform/FtpReply.h"

#include <gtest/gtest.h>

using kel::platform::FtpReply;
using kel::platform::FtpReplyStatus;
using kel::platform::ParseFtpReply;

namespace {

FtpReplyStatus Parse(std::string_view input, FtpReply& reply, size_t& used)
{
    return ParseFtpReply(input, reply, used);
}

} // namespace

TEST(FtpReply, SingleLineGivesCodeTextAndLength)
{
    FtpReply reply;
    size_t used = 0;
    ASSERT_EQ(Parse("220 ready\r\n331 next", reply, used), FtpReplyStatus::Complete);
    EXPECT_EQ(reply.code, 220);
    EXPECT_EQ(reply.text, "220 ready");
    EXPECT_EQ(used, 11u);
}

TEST(FtpReply, MultiLineRunsToTheLineWithTheSameCodeAndABlank)
{
    const std::string input = "211-Features:\r\n EPSV\r\n211-not yet\r\n210 other code\r\n211 End\r\nrest";
    FtpReply reply;
    size_t used = 0;
    ASSERT_EQ(Parse(input, reply, used), FtpReplyStatus::Complete);
    EXPECT_EQ(reply.code, 211);
    EXPECT_EQ(reply.text, "211-Features:\r\n EPSV\r\n211-not yet\r\n210 other code\r\n211 End");
    EXPECT_EQ(input.substr(used), "rest");
}

TEST(FtpReply, BareLineFeedsAndACodeAloneAreAccepted)
{
    FtpReply reply;
    size_t used = 0;
    ASSERT_EQ(Parse("226\n", reply, used), FtpReplyStatus::Complete);
    EXPECT_EQ(reply.code, 226);
    EXPECT_EQ(used, 4u);
}

TEST(FtpReply, UnfinishedRepliesAskForMoreBytes)
{
    FtpReply reply;
    size_t used = 0;
    EXPECT_EQ(Parse("", reply, used), FtpReplyStatus::Incomplete);
    EXPECT_EQ(Parse("220 rea", reply, used), FtpReplyStatus::Incomplete);
    EXPECT_EQ(Parse("220-first\r\n more\r\n", reply, used), FtpReplyStatus::Incomplete);
    EXPECT_EQ(Parse("220-first\r\n220 end", reply, used), FtpReplyStatus::Incomplete);
}

TEST(FtpReply, LinesThatCannotOpenAReplyAreMalformed)
{
    FtpReply reply;
    size_t used = 0;
    for (const char* input : {"hello\r\n", "22 short\r\n", "620 out of range\r\n", "020 zero\r\n", "2a0 x\r\n",
                              "220x text\r\n", "\r\n"})
        EXPECT_EQ(Parse(input, reply, used), FtpReplyStatus::Malformed) << input;
}

TEST(FtpReply, EndlessRepliesAreCutOffAtTheLimit)
{
    FtpReply reply;
    size_t used = 0;
    EXPECT_EQ(Parse(std::string(kel::platform::kFtpReplyLimit + 1, 'x'), reply, used), FtpReplyStatus::Malformed);
    std::string endless = "220-start\r\n";
    while (endless.size() <= kel::platform::kFtpReplyLimit)
        endless += "still going\r\n";
    EXPECT_EQ(Parse(endless, reply, used), FtpReplyStatus::Malformed);
}
