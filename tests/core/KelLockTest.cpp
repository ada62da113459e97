#include "KelLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// True when another thread can take the section right now.
bool FreeForOthers(CRITICAL_SECTION& section)
{
    bool taken = false;
    std::thread other([&] {
        taken = TryEnterCriticalSection(&section);
        if (taken)
            LeaveCriticalSection(&section);
    });
    other.join();
    return taken;
}

} // namespace

TEST(KelLock, HeldForTheScopeAndReleasedAtItsEnd)
{
    CRITICAL_SECTION section;
    {
        CKelLock guard(section);
        EXPECT_FALSE(FreeForOthers(section));
    }
    EXPECT_TRUE(FreeForOthers(section));
}

TEST(KelLock, ReleasedWhenAnExceptionLeavesTheScope)
{
    CRITICAL_SECTION section;
    try {
        CKelLock guard(section);
        throw std::runtime_error("leave");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(FreeForOthers(section));
}

TEST(KelLock, UnlockThenLockLeavesItHeldOnceAtTheEnd)
{
    CRITICAL_SECTION section;
    {
        CKelLock guard(section);
        guard.Unlock();
        EXPECT_TRUE(FreeForOthers(section));
        guard.Lock();
        EXPECT_FALSE(FreeForOthers(section));
    }
    EXPECT_TRUE(FreeForOthers(section));
}

TEST(KelLock, NestedGuardsOnTheOwningThread)
{
    CRITICAL_SECTION section;
    {
        CKelLock outer(section);
        {
            CKelLock inner(section);
            EXPECT_FALSE(FreeForOthers(section));
        }
        EXPECT_FALSE(FreeForOthers(section));
    }
    EXPECT_TRUE(FreeForOthers(section));
}

TEST(KelLock, GuardsSerialiseThreads)
{
    CRITICAL_SECTION section;
    long counter = 0;
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 5000; ++i) {
                CKelLock guard(section);
                if (inside.fetch_add(1) != 0)
                    overlap = true;
                ++counter;
                inside.fetch_sub(1);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(counter, 20000);
    EXPECT_FALSE(overlap);
}
