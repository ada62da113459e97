// KelWatch's command line, read without a display.
#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {

using EAction = SWatchCommandLine::EAction;

SWatchCommandLine Parse(std::vector<std::string> arguments)
{
    return ParseWatchCommandLine(arguments);
}

TEST(WatchCommandLine, FilesAndOptionsMayComeInAnyOrder)
{
    const SWatchCommandLine asked = Parse({"a.log", "--no-follow", "+42", "b.log"});
    EXPECT_EQ(asked.action, EAction::Open);
    EXPECT_EQ(asked.files, (std::vector<std::string>{"a.log", "b.log"}));
    EXPECT_EQ(asked.line, 42u);
    EXPECT_FALSE(asked.follow);
    EXPECT_TRUE(Parse({}).files.empty());
    EXPECT_TRUE(Parse({}).follow);
    EXPECT_EQ(Parse({"--line", "7"}).line, 7u);
    EXPECT_EQ(Parse({"--line=8", "x"}).line, 8u);
}

TEST(WatchCommandLine, HelpAndVersionAnswerWithoutOpeningAnything)
{
    EXPECT_EQ(Parse({"--help"}).action, EAction::Help);
    EXPECT_EQ(Parse({"a.log", "-h"}).action, EAction::Help);
    EXPECT_EQ(Parse({"--version"}).action, EAction::Version);
    EXPECT_EQ(Parse({"--version", "--help"}).action, EAction::Help);
    EXPECT_NE(WatchUsage().find("--no-follow"), std::string::npos);
}

TEST(WatchCommandLine, AfterTwoDashesEverythingIsAFile)
{
    const SWatchCommandLine asked = Parse({"--", "--help", "+3", "-"});
    EXPECT_EQ(asked.action, EAction::Open);
    EXPECT_EQ(asked.files, (std::vector<std::string>{"--help", "+3", "-"}));
    EXPECT_EQ(asked.line, 0u);
}

TEST(WatchCommandLine, WhatIsNotUnderstoodIsNamedAndNothingOpens)
{
    const SWatchCommandLine unknown = Parse({"a.log", "--follow-please"});
    EXPECT_EQ(unknown.action, EAction::Error);
    EXPECT_EQ(unknown.error, "unknown option: --follow-please");
    EXPECT_TRUE(unknown.files.empty());
    EXPECT_EQ(Parse({"+0"}).action, EAction::Error);
    EXPECT_EQ(Parse({"+12x"}).error, "not a line number: +12x");
    EXPECT_EQ(Parse({"--line"}).error, "--line needs a line number");
    EXPECT_EQ(Parse({"--line", "-5"}).action, EAction::Error);
    EXPECT_EQ(Parse({"+99999999999999999999999"}).action, EAction::Error);
}

} // namespace
