// FindNetrcLogin: which entry of a .netrc text gives the login and password
// for a server, by the rules of curl's --netrc.
#include "Netrc.h"

#include <gtest/gtest.h>

namespace {

std::string Found(std::string_view text, std::string_view host, std::string_view user = {})
{
    const NetrcLogin login = FindNetrcLogin(text, host, user);
    return login.found ? login.login + ":" + login.password : "(none)";
}

} // namespace

TEST(Netrc, TheFirstEntryForTheServerGivesLoginAndPassword)
{
    const std::string text = "machine a.example login anna password one\n"
                             "machine b.example login bert password two\n"
                             "machine b.example login carl password three\n"
                             "default login guest password four\n";
    EXPECT_EQ(Found(text, "b.example"), "bert:two");
    EXPECT_EQ(Found(text, "B.Example"), "bert:two"); // names without regard to case
    EXPECT_EQ(Found(text, "c.example"), "guest:four");
    EXPECT_EQ(Found("machine a login x password y", "b"), "(none)");
    EXPECT_EQ(Found("", "a"), "(none)");
}

TEST(Netrc, AGivenUserNameChoosesTheEntryWithThatLogin)
{
    const std::string text = "machine b.example login bert password two\n"
                             "machine b.example password nologin\n"
                             "machine b.example login carl password three\n";
    EXPECT_EQ(Found(text, "b.example", "carl"), "carl:three");
    EXPECT_EQ(Found(text, "b.example", "bert"), "bert:two");
    EXPECT_EQ(Found(text, "b.example", "dora"), "(none)");
}

TEST(Netrc, EntriesSpanLinesAndTakeQuotedValuesCommentsAccountsAndMacros)
{
    EXPECT_EQ(Found("machine h\n\tlogin u\n\n   password p\n", "h"), "u:p");
    EXPECT_EQ(Found("machine h login \"u s\" password \"a \\\"b\\\" \\\\ \\t\"", "h"), "u s:a \"b\" \\ \t");
    EXPECT_EQ(Found("# machine h login no password no\nmachine h login u password p#1\n", "h"), "u:p#1");
    EXPECT_EQ(Found("machine h account acct login u password p", "h"), "u:p");
    // A macro runs to the first empty line; its words are not entries.
    EXPECT_EQ(Found("macdef init\nmachine h login no password no\n  \nmachine h login u password p\n", "h"), "u:p");
    EXPECT_EQ(Found("machine h login u password p\r\n", "h"), "u:p");
    // A keyword at the end without its value.
    EXPECT_EQ(Found("machine h login u password", "h"), "u:");
    EXPECT_EQ(Found("machine", "h"), "(none)");
}
