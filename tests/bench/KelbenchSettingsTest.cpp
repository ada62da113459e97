#include "BenchTestSupport.h"
#include "TestSupport.h"

#include <KelLog.h>
#include <KelbenchSettings.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace kel::test;
using namespace kel::bench;

TEST(KelbenchSettings, FileIsNamedAfterTheTitleInTheWorkingFolder)
{
    EXPECT_EQ(SettingsFileName(L"Kelbench"), L"./Kelbench.ini");
}

TEST(KelbenchSettings, LevelValuesCompareExactly)
{
    EXPECT_EQ(LogLevelOf(L"ERROR"), 2);
    EXPECT_EQ(LogLevelOf(L"INFO"), 1);
    EXPECT_EQ(LogLevelOf(L"DEV"), 0);
    EXPECT_EQ(LogLevelOf(L"info"), -1);
    EXPECT_EQ(LogLevelOf(L" INFO"), -1);
    EXPECT_EQ(LogLevelOf(L"INFO "), -1);
    EXPECT_EQ(LogLevelOf(L""), -1);
}

TEST(KelbenchSettings, ProfileReadFindsTheKeyOfItsSectionOnly)
{
    TempDir dir;
    const std::string file = dir / "Kelbench.ini";
    WriteBytes(file, "[OTHER]\r\nLEVEL=DEV\r\n[log]\r\n level =ERROR\r\nLEVEL2=INFO\r\n");
    EXPECT_EQ(ReadProfileString(Wide(file), L"LOG", L"LEVEL", L"INFO"), L"ERROR");
    EXPECT_EQ(ReadProfileString(Wide(file), L"LOG", L"MISSING", L"INFO"), L"INFO");
    EXPECT_EQ(ReadProfileString(Wide(file), L"NONE", L"LEVEL", L"INFO"), L"INFO");
    EXPECT_EQ(ReadProfileString(Wide(dir / "missing.ini"), L"LOG", L"LEVEL", L"INFO"), L"INFO");
    WriteBytes(file, "[LOG]\nLEVEL= INFO\n");
    EXPECT_EQ(ReadProfileString(Wide(file), L"LOG", L"LEVEL", L"INFO"), L"INFO");
    WriteBytes(file, "[LOG]\nLEVEL=" + std::string(600, 'x') + "\n");
    EXPECT_EQ(ReadProfileString(Wide(file), L"LOG", L"LEVEL", L"INFO").GetLength(), 509);
}

TEST(KelbenchSettings, ValuesAreTrimmedAndLoseOnePairOfSurroundingQuotes)
{
    TempDir dir;
    const std::string file = dir / "Kelbench.ini";
    const auto valueOf = [&](const std::string& line) {
        WriteBytes(file, "[LOG]\r\n" + line + "\r\n");
        return ReadProfileString(Wide(file), L"LOG", L"LEVEL", L"INFO");
    };
    EXPECT_EQ(valueOf("LEVEL = INFO"), L"INFO");
    EXPECT_EQ(valueOf("LEVEL=\tDEV \t"), L"DEV");
    EXPECT_EQ(valueOf("LEVEL=\"DEV\""), L"DEV");
    EXPECT_EQ(valueOf("LEVEL = 'ERROR' "), L"ERROR");
    EXPECT_EQ(valueOf("LEVEL=\"\"DEV\"\""), L"\"DEV\""); // one pair only
    EXPECT_EQ(valueOf("LEVEL=\"DEV'"), L"\"DEV'");       // not a pair
    EXPECT_EQ(valueOf("LEVEL=\""), L"\"");
    EXPECT_EQ(valueOf("LEVEL= \" DEV \""), L" DEV ");     // quotes keep what they hold
    EXPECT_EQ(valueOf("LEVEL="), L"");
}

TEST(KelbenchSettings, MarkedFilesAreReadAndUnreadableOnesCountAsMissing)
{
    TempDir dir;
    const std::string file = dir / "Kelbench.ini";
    WriteBytes(file, "\xEF\xBB\xBF[LOG]\r\nLEVEL=ERROR\r\n");
    EXPECT_EQ(ReadProfileString(Wide(file), L"LOG", L"LEVEL", L"INFO"), L"ERROR");
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[LOG]\r\nLEVEL=DEV\r\n"))
        utf16 += std::string { c, '\0' };
    WriteBytes(file, utf16);
    EXPECT_EQ(ReadProfileString(Wide(file), L"LOG", L"LEVEL", L"INFO"), L"DEV");
    // A Latin-1 comment is of no encoding the text reading knows.
    WriteBytes(file, "; r\xE9glages\n[LOG]\nLEVEL=ERROR\n");
    EXPECT_EQ(ReadProfileString(Wide(file), L"LOG", L"LEVEL", L"INFO"), L"INFO");
}

// The start-up reads ./Kelbench.ini of the working folder and logs into the
// state folder; both are pointed into a temporary folder here.
class KelbenchStartup : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_dir.path());
        setenv("XDG_STATE_HOME", (m_dir / "state").c_str(), 1);
    }
    void TearDown() override { std::filesystem::current_path(m_previous); }

    int StartWith(const std::string& ini)
    {
        if (!ini.empty())
            WriteBytes(m_dir / "Kelbench.ini", ini);
        return InitLogFromSettings(L"Kelbench");
    }

    TempDir m_dir;
    std::filesystem::path m_previous;
};

TEST_F(KelbenchStartup, LevelsSelectTheThresholdAndTheLogFolder)
{
    EXPECT_EQ(LogFolder(), Wide(m_dir / "state/Kelbench/Logs/"));
    EXPECT_EQ(StartWith(""), 1); // no file: "INFO"
    EXPECT_EQ(StartWith("[LOG]\nLEVEL=DEV\n"), 0);
    EXPECT_EQ(StartWith("[LOG]\nLEVEL=ERROR\n"), 2);
    EXPECT_EQ(StartWith("[LOG]\nLEVEL=info\n"), -1);
    EXPECT_EQ(StartWith("[LOG]\nLEVEL = INFO\n"), 1);
    EXPECT_EQ(StartWith("[LOG]\nLEVEL=\"DEV\"\n"), 0);
    EXPECT_EQ(StartWith("[LOG]\nLEVEL=\x80\n"), 1); // unreadable: as if missing
}

TEST_F(KelbenchStartup, EntriesGoToTheDaysFileInTheStateFolder)
{
    ASSERT_EQ(StartWith("[LOG]\nLEVEL=DEV\n"), 0);
    _kelLog.LogPreFix(__FILE__, __LINE__, __func__);
    _kelLog.Log(0, L"started");
    const std::string file = m_dir / "state/Kelbench/Logs";
    ASSERT_TRUE(std::filesystem::exists(file));
    ASSERT_EQ(std::distance(std::filesystem::directory_iterator(file), std::filesystem::directory_iterator()), 1);
    const auto entry = *std::filesystem::directory_iterator(file);
    EXPECT_NE(ReadBytes(entry.path().string()).find("started"), std::string::npos);
}

TEST(KelbenchStartupFolder, DefaultsToTheLocalStateFolderOfHome)
{
    const char* saved = std::getenv("XDG_STATE_HOME");
    const std::string previous = saved ? saved : "";
    unsetenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    if (home && *home) {
        EXPECT_EQ(LogFolder(), Wide(std::string(home) + "/.local/state/Kelbench/Logs/"));
    }
    if (saved)
        setenv("XDG_STATE_HOME", previous.c_str(), 1);
}
