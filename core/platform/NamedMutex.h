#pragma once

// CNamedMutex: a per-user lock shared by every process of the user, like a
// Windows named mutex in the user's session. It is a lock file in
// $XDG_RUNTIME_DIR (or a private folder under /tmp) held with a POSIX record
// lock, so a holder that crashes releases it. Re-entrant for the owning
// thread: each Lock needs an Unlock.
//
// Thread safe. Lock blocks without time limit.
#include "KelExport.h"

#include <mutex>
#include <string>

class KELCORE_API CNamedMutex {
public:
    explicit CNamedMutex(const char* name);
    ~CNamedMutex();
    CNamedMutex(const CNamedMutex&) = delete;
    CNamedMutex& operator=(const CNamedMutex&) = delete;

    void Lock();
    void Unlock();

    // The lock file; empty when none could be made (the lock then serialises
    // the threads of this process only).
    const std::string& Path() const { return m_path; }

private:
    void OpenLockFile();
    void LockFile(bool lock);

    std::recursive_mutex m_threads;
    int m_depth = 0;     // nesting of the owning thread, guarded by m_threads
    int m_fd = -1;
    int m_fdOwner = 0;   // process that opened m_fd; a forked child reopens
    std::string m_path;
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
