// CExecGrep in-process: its options, and the hook that prints found files.
#include "ExecGrep.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
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

namespace {

// The help goes to standard output; the child sends that to standard error,
// where the death test reads it, as a fresh stream that takes wide text.
void ParseShowingTheHelp(std::vector<const wchar_t*> options)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    if (!std::freopen("/dev/stderr", "w", stdout))
        std::_Exit(3);
    Parse(std::move(options));
}

constexpr const char* kHelp = "^\nkelgrep 가능한 하위 명령 목록\t\n  -f\t\t\\[파일\\]\t\t\t\t\n$";

} // namespace

TEST(ExecGrepDeathTest, ABareCommandOrAnUnknownOptionPrintsTheHelpAndEndsWithStatusOne)
{
    EXPECT_EXIT(ParseShowingTheHelp({}), testing::ExitedWithCode(1), kHelp);
    EXPECT_EXIT(ParseShowingTheHelp({L"-x", L"y"}), testing::ExitedWithCode(1), kHelp);
    EXPECT_EXIT(ParseShowingTheHelp({L"-e", L"x", L"-E", L"y"}), testing::ExitedWithCode(1), kHelp);
}
