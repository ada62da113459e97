#pragma once

// CNamedMutex: a per-user lock shared by every process of the user, like a
// Windows named mutex in the user's session. It is a robust process-shared
// mutex in a small lock file of $XDG_RUNTIME_DIR (or of a private folder
// under /tmp), mapped into each process: taking it costs no system call when
// nobody else holds it, and a holder that dies releases it to the next
// process. Re-entrant for the owning thread: each Lock needs an Unlock.
//
// Thread safe. Lock blocks without time limit.
#include "KelExport.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

class KELCORE_API CNamedMutex {
public:
    explicit CNamedMutex(const char* name);
    ~CNamedMutex();
    CNamedMutex(const CNamedMutex&) = delete;
    CNamedMutex& operator=(const CNamedMutex&) = delete;

    void Lock();
    void Unlock();
    // True when the calling thread holds the lock.
    bool HeldByCaller() const { return m_owner.load() == std::this_thread::get_id(); }

    // A few bytes beside the lock, shared by every process that uses it, in
    // which its users keep what they know of what the lock guards. Zero in a
    // new lock file. Read and write them only while holding the lock.
    // Without a lock file they are this process's own.
    static constexpr size_t kSharedDataSize = 32;
    void* SharedData();

    // The lock file; empty when none could be made (the lock then serialises
    // the threads of this process only).
    const std::string& Path() const { return m_path; }
    bool IsShared() const { return m_shared != nullptr; }

private:
    struct Shared;

    std::recursive_mutex m_threads;
    int m_depth = 0; // nesting of the owning thread, guarded by m_threads
    std::atomic<std::thread::id> m_owner {};
    Shared* m_shared = nullptr;
    std::string m_path;
    alignas(8) unsigned char m_ownData[kSharedDataSize] = {};
};

// Locks a CNamedMutex for one scope.
class CNamedMutexLock {
public:
    explicit CNamedMutexLock(CNamedMutex& mutex) : m_mutex(mutex) { m_mutex.Lock(); }
    ~CNamedMutexLock() { m_mutex.Unlock(); }
    CNamedMutexLock(const CNamedMutexLock&) = delete;
    CNamedMutexLock& operator=(const CNamedMutexLock&) = delete;

private:
    CNamedMutex& m_mutex;
};
