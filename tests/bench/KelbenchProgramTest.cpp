// The Kelbench program itself, started as a user would on the offscreen
// platform in a working folder of its own: it keeps running until it is
// ended, whatever becomes of its log.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kel::test;

namespace {

// Kelbench running in `folder`; ended (SIGTERM) when the object goes.
class RunningKelbench {
public:
    explicit RunningKelbench(const TempDir& folder)
    {
        m_pid = fork();
        if (m_pid == 0) {
            if (chdir(folder.path().c_str()) != 0)
                _exit(126);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
            execl(KELBENCH_PROGRAM, "Kelbench", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~RunningKelbench()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    RunningKelbench(const RunningKelbench&) = delete;
    RunningKelbench& operator=(const RunningKelbench&) = delete;

    // True while the program has not ended by itself.
    bool IsRunning() const { return m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0; }

private:
    pid_t m_pid = -1;
};

std::string TodaysLogName()
{
    char name[32] = {};
    const time_t now = time(nullptr);
    tm local {};
    localtime_r(&now, &local);
    strftime(name, sizeof name, "%Y-%m-%d.log", &local);
    return name;
}

} // namespace

TEST(KelbenchProgram, RunsUntilEndedAndWritesNoEntryOfItsOwnAtStartUp)
{
    TempDir folder;
    WriteBytes(folder / "Kelbench.ini", "[LOG]\nLEVEL=DEV\n");
    RunningKelbench program(folder);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_TRUE(program.IsRunning()); // a resident program: it ends only when told
    const std::filesystem::path logs = folder.path() / "state/Kelbench/Logs";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(logs, error))
        EXPECT_EQ(std::filesystem::file_size(entry.path()), 0u) << entry.path();
}

TEST(KelbenchProgram, ALogThatCannotBeWrittenDoesNotEndTheProgram)
{
    // Today's log file is a full disk.
    TempDir folder;
    WriteBytes(folder / "Kelbench.ini", "[LOG]\nLEVEL=DEV\n");
    const std::filesystem::path logs = folder.path() / "state/Kelbench/Logs";
    std::filesystem::create_directories(logs);
    std::filesystem::create_symlink("/dev/full", logs / TodaysLogName());
    RunningKelbench program(folder);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_TRUE(program.IsRunning());
}
