#include "KelInfoModule.h"

#include "platform/Resources.h"
#include "platform/WinApp.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using kel::test::ScopedEnv;

namespace fs = std::filesystem;
using kel::platform::ResourceModule;
using kel::platform::ToInstance;

namespace {

ResourceModule KoreanModule()
{
    ResourceModule module;
    module.hasVersion = true;
    module.translations = {0x04B00412}; // Korean, Unicode
    module.versionStrings = {{L"041204B0", L"FileVersion", L"  1, 0, 0, 3 "},
                             {L"041204b0", L"ProductName", L"Kel 도구"},
                             {L"040904B0", L"FileVersion", L"9, 9, 9, 9"}};
    return module;
}

} // namespace

TEST(InfoModuleVersion, OneTranslationPicksItsBlockAndCleansTheText)
{
    const ResourceModule module = KoreanModule();
    EXPECT_EQ(CKelInfoModule::GetVersionInfo(ToInstance(module), L"FileVersion"), L"1.0.0.3");
    EXPECT_EQ(CKelInfoModule::GetVersionInfo(ToInstance(module), L"ProductName"), L"Kel도구");
    EXPECT_EQ(CKelInfoModule::GetVersionInfo(ToInstance(module), L"Comments"), L"");
}

TEST(InfoModuleVersion, TwoTranslationsUseTheUserLanguageWithUnicodeCodePage)
{
    ResourceModule module = KoreanModule();
    module.translations = {0x04B00412, 0x04E40409};
    {
        ScopedEnv all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr), lang("LANG", "en_US.UTF-8");
        EXPECT_EQ(CKelInfoModule::GetVersionInfo(ToInstance(module), L"FileVersion"), L"9.9.9.9");
    }
    {
        ScopedEnv all("LC_ALL", "ko_KR.UTF-8");
        EXPECT_EQ(CKelInfoModule::GetVersionInfo(ToInstance(module), L"FileVersion"), L"1.0.0.3");
    }
    module.translations.clear();
    ScopedEnv all("LC_ALL", "ja_JP.UTF-8");
    EXPECT_EQ(CKelInfoModule::GetVersionInfo(ToInstance(module), L"FileVersion"), L"");
}

TEST(InfoModuleVersion, ModuleWithoutVersionGivesNothing)
{
    const ResourceModule empty;
    EXPECT_EQ(CKelInfoModule::GetVersionInfo(ToInstance(empty), L"FileVersion"), L"");
}

TEST(InfoModuleVersion, NullModuleIsTheApplicationsOrTheProjectVersion)
{
    const CStringW project = CKelInfoModule::GetVersionInfo(nullptr, L"FileVersion");
    ASSERT_FALSE(project.IsEmpty());
    EXPECT_EQ(project.Find(L' '), -1);
    EXPECT_EQ(project.Find(L','), -1);
    EXPECT_EQ(project.Left(CKelInfoModule::GetVersionInfo(nullptr, L"ProductVersion").GetLength()),
              CKelInfoModule::GetVersionInfo(nullptr, L"ProductVersion"));

    const ResourceModule module = KoreanModule();
    CWinApp app(L"VersionTest");
    app.m_hInstance = ToInstance(module);
    EXPECT_EQ(CKelInfoModule::GetVersionInfo(nullptr, L"FileVersion"), L"1.0.0.3");
}

TEST(InfoModuleProcesses, CountsRunningProgramsByExactName)
{
    kel::test::TempDir dir;
    const std::string name = "kelsleeper-" + std::to_string(getpid());
    const std::string program = dir / name;
    fs::copy_file("/bin/sleep", program);
    const std::wstring wideName(name.begin(), name.end());
    EXPECT_EQ(CKelInfoModule::Process32Count(wideName.c_str()), 0);

    std::vector<pid_t> children;
    for (int i = 0; i < 2; ++i) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            execl(program.c_str(), name.c_str(), "30", static_cast<char*>(nullptr));
            _exit(127);
        }
        children.push_back(child);
    }
    // Wait until both have become the copied program.
    int count = 0;
    for (int attempt = 0; attempt < 200 && count != 2; ++attempt) {
        usleep(10000);
        count = CKelInfoModule::Process32Count(wideName.c_str());
    }
    EXPECT_EQ(count, 2);
    std::wstring upper = wideName;
    upper[0] = L'K';
    EXPECT_EQ(CKelInfoModule::Process32Count(upper.c_str()), 0);
    EXPECT_EQ(CKelInfoModule::Process32Count(wideName.substr(0, 5).c_str()), 0);
    for (pid_t child : children) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    EXPECT_EQ(CKelInfoModule::Process32Count(wideName.c_str()), 0);
    EXPECT_EQ(CKelInfoModule::Process32Count(nullptr), 0);
}

TEST(InfoModule, CurrentPathIsTheFolderOfThisProgram)
{
    const CStringW folder = CKelInfoModule::GetCurrentPath();
    ASSERT_FALSE(folder.IsEmpty());
    EXPECT_EQ(folder.Right(1), L"/");
    const std::wstring wide = folder.str() + L"core_KelInfoModuleTest";
    EXPECT_TRUE(fs::exists(std::string(wide.begin(), wide.end())));
}

TEST(InfoModule, MemoryFiguresFollowTouchedMemory)
{
    ULONGLONG workingSet = 0, pageFile = 0;
    CKelInfoModule::GetVMemoryUsage(&workingSet, &pageFile);
    EXPECT_GT(workingSet, 0u);
    EXPECT_GT(pageFile, 0u);

    constexpr size_t kBlock = 64u << 20;
    std::vector<char> block(kBlock, 1);
    ULONGLONG workingSetAfter = 0, pageFileAfter = 0;
    CKelInfoModule::GetVMemoryUsage(&workingSetAfter, &pageFileAfter);
    EXPECT_GE(workingSetAfter, workingSet + kBlock / 2);
    EXPECT_GE(pageFileAfter, pageFile + kBlock / 2);
    EXPECT_EQ(block[kBlock - 1], 1);
    CKelInfoModule::GetVMemoryUsage(nullptr, nullptr); // either output may be left out
}

TEST(InfoModule, ApplicationNameComesFromTheApplicationObject)
{
    EXPECT_EQ(CKelInfoModule::GetAppName(), L"");
    {
        CWinApp app(L"Kelbench");
        EXPECT_EQ(CKelInfoModule::GetAppName(), L"Kelbench");
    }
    CWinApp unnamed;
    EXPECT_EQ(CKelInfoModule::GetAppName(), L"core_KelInfoModuleTest");
}
