// CExecGrep in-process: its options, and the hook that prints found files.
#include "ExecGrep.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

namespace {

CExecGrep Parse(std::vector<const wchar_t*> options)
{
    options.insert(options.begin(), {L"KelShell", L"kelgrep"});
    return CExecGrep(static_cast<int>(options.size()), options.data());
}

} // namespace

TEST(ExecGrep, ReadsExpressionAndFileLaterOnesWinning)
{
    const CExecGrep grep = Parse({L"-e", L"needle", L"-f", L"a.txt", L"-e", L"-f"});
    EXPECT_EQ(grep.Expression().str(), L"-f");
    EXPECT_EQ(grep.FileArgument().str(), L"a.txt");
}

TEST(ExecGrep, AnOptionWithoutItsValueTakesTheEmptyString)
{
    const CExecGrep grep = Parse({L"-f", L"x", L"-e"});
    EXPECT_EQ(grep.Expression().str(), L"");
    EXPECT_EQ(grep.FileArgument().str(), L"x");
}

TEST(ExecGrep, FoundFilesArePrintedOnePerLineAndFoldersNot)
{
    kel::test::TempDir dir;
    std::filesystem::create_directories(dir.path() / "sub");
    kel::test::WriteBytes(dir / "a.txt", "x");
    kel::test::WriteBytes(dir / "b.log", "x");

    CExecGrep grep = Parse({L"-e", L"x"});
    std::wostringstream captured;
    std::wstreambuf* original = std::wcout.rdbuf(captured.rdbuf());
    const std::wstring folder(dir.path().wstring());
    grep.FindFoldersFiles(folder.c_str(), L".txt", 1, 0);
    std::wcout.rdbuf(original);
    EXPECT_EQ(captured.str(), folder + L"/a.txt\n");
}

TEST(ExecGrepDeathTest, ABareCommandOrAnUnknownOptionEndsWithStatusOne)
{
    EXPECT_EXIT(Parse({}), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(Parse({L"-x", L"y"}), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(Parse({L"-E", L"y"}), testing::ExitedWithCode(1), "");
}
