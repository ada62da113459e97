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

TEST(FtpReply, PassiveRepliesGiveTheirDataPort)
{
    WORD port = 0;
    EXPECT_TRUE(kel::platform::ParseEpsvPort("229 Entering Extended Passive Mode (|||6446|)", port));
    EXPECT_EQ(port, 6446);
    EXPECT_TRUE(kel::platform::ParsePasvPort("227 Entering Passive Mode (127,0,0,1,200,7).", port));
    EXPECT_EQ(port, 200 * 256 + 7);
    EXPECT_TRUE(kel::platform::ParsePasvPort("227 =127,0,0,1,0,21", port));
    EXPECT_EQ(port, 21);
}

TEST(FtpReply, BrokenPassiveRepliesAreRefused)
{
    WORD port = 0;
    for (const char* text : {"229 (|||0|)", "229 (|||65536|)", "229 (|||12", "229 (||12|)", "229 no port", "229 ("})
        EXPECT_FALSE(kel::platform::ParseEpsvPort(text, port)) << text;
    for (const char* text : {"227 (127,0,0,1,300,7)", "227 (127,0,0,1,0,0)", "227 (127,0,0,1,5)", "227 nothing", "227 ("})
        EXPECT_FALSE(kel::platform::ParsePasvPort(text, port)) << text;
}
