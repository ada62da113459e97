#pragma once

// CCriticalSection: the framework's re-entrant in-process lock.
// Thread safe; a thread may lock it again and must unlock as often.
#include "KelExport.h"

#include <mutex>

class KELCORE_API CCriticalSection {
public:
    CCriticalSection() = default;
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    bool Lock()
    {
        m_mutex.lock();
        return true;
    }
    bool Unlock()
    {
        m_mutex.unlock();
        return true;
    }

private:
    std::recursive_mutex m_mutex;
};
