#include "TestSupport.h"
#include "platform/NamedMutex.h"

#include <atomic>
#include <gtest/gtest.h>
#include <signal.h>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// A name of its own per test run, so that runs never share a lock.
std::string UniqueName(const char* what)
{
    return std::string("KelTest") + what + std::to_string(getpid());
}

class LockFileRemover {
public:
    explicit LockFileRemover(const CNamedMutex& mutex) : m_path(mutex.Path()) {}
    ~LockFileRemover()
    {
        if (!m_path.empty())
            unlink(m_path.c_str());
    }

private:
    std::string m_path;
};

} // namespace

TEST(NamedMutex, IsSharedThroughAPrivateLockFile)
{
    CNamedMutex mutex(UniqueName("Shared").c_str());
    LockFileRemover remover(mutex);
    ASSERT_TRUE(mutex.IsShared());
    EXPECT_NE(mutex.Path().find(UniqueName("Shared") + ".lock"), std::string::npos);
}

TEST(NamedMutex, ReentrantForItsOwnerExclusiveForOthers)
{
    CNamedMutex mutex(UniqueName("Reentrant").c_str());
    LockFileRemover remover(mutex);
    std::atomic<bool> otherHasIt {false};
    mutex.Lock();
    mutex.Lock(); // the owner may take it again
    std::thread other([&] {
        mutex.Lock();
        otherHasIt = true;
        mutex.Unlock();
    });
    mutex.Unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(otherHasIt); // still held once
    mutex.Unlock();
    other.join();
    EXPECT_TRUE(otherHasIt);
}

TEST(NamedMutex, ExcludesOtherProcesses)
{
    const std::string name = UniqueName("Process");
    CNamedMutex mutex(name.c_str());
    LockFileRemover remover(mutex);
    // The child marks, in memory both processes see, that it is about to let
    // go; the parent can only get the lock after that mark.
    auto* released = static_cast<std::atomic<int>*>(
        mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(released, MAP_FAILED);
    released->store(0);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CNamedMutex own(name.c_str());
        own.Lock();
        char byte = 1;
        (void)!write(ready[1], &byte, 1);
        usleep(200 * 1000);
        released->store(1);
        own.Unlock();
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    mutex.Lock();
    EXPECT_EQ(released->load(), 1);
    mutex.Unlock();
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    close(ready[1]);
    munmap(released, sizeof(std::atomic<int>));
}

TEST(NamedMutex, AHolderThatDiesReleasesIt)
{
    const std::string name = UniqueName("Crash");
    CNamedMutex mutex(name.c_str());
    LockFileRemover remover(mutex);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CNamedMutex own(name.c_str());
        own.Lock();
        raise(SIGKILL); // dies holding the lock
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    mutex.Lock(); // must not hang
    mutex.Unlock();
    mutex.Lock(); // and stays usable
    mutex.Unlock();
    SUCCEED();
}
