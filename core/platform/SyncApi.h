#pragma once

// CRITICAL_SECTION: the platform's re-entrant in-process lock with its
// functions. The owning thread may enter again (entries nest) and must leave
// as often as it entered. Initialize and Delete are kept for code written
// against the platform; construction and destruction do their work.
#include <mutex>

struct CRITICAL_SECTION {
    std::recursive_mutex mutex;
};

inline void InitializeCriticalSection(CRITICAL_SECTION*) {}
inline void DeleteCriticalSection(CRITICAL_SECTION*) {}
inline void EnterCriticalSection(CRITICAL_SECTION* section) { section->mutex.lock(); }
inline bool TryEnterCriticalSection(CRITICAL_SECTION* section) { return section->mutex.try_lock(); }
inline void LeaveCriticalSection(CRITICAL_SECTION* section) { section->mutex.unlock(); }
