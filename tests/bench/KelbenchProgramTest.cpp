// The Kelbench program itself, started as a user would on the offscreen
// platform in a working folder of its own: it keeps running until it is
// ended, and its settings file decides whether the start-up is logged.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
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

// Waits up to 30 s (the machine may be loaded) for `done`.
template <typename Condition>
bool WaitFor(Condition done)
{
    for (int i = 0; i < 300; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

bool HasLogLine(const TempDir& folder)
{
    const std::filesystem::path logs = folder.path() / "state/Kelbench/Logs";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(logs, error))
        if (ReadBytes(entry.path().string()).find("Kelbench started") != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(KelbenchProgram, LevelDevLogsTheStartAndLevelErrorLeavesItOut)
{
    TempDir dev;
    WriteBytes(dev / "Kelbench.ini", "[LOG]\nLEVEL=DEV\n");
    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration startUp {};
    {
        RunningKelbench program(dev);
        ASSERT_TRUE(WaitFor([&] { return HasLogLine(dev); }));
        startUp = std::chrono::steady_clock::now() - start;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(program.IsRunning()); // a resident program: it ends only when told
    }

    // The same start-up at level ERROR, given twice the time the first one
    // took, writes no information line.
    TempDir error;
    WriteBytes(error / "Kelbench.ini", "[LOG]\nLEVEL=ERROR\n");
    RunningKelbench program(error);
    std::this_thread::sleep_for(2 * startUp + std::chrono::seconds(1));
    EXPECT_TRUE(program.IsRunning());
    EXPECT_FALSE(HasLogLine(error));
}
