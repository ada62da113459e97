#pragma once

// CKelLog: time-stamped entries in one UTF-8 file per day, named by the log
// folder, the local date "%Y-%m-%d" and ".log". One entry is two calls on the
// same thread:
//
//     _kelLog.LogPreFix(__FILE__, __LINE__, __func__);  // takes the lock
//     _kelLog.Log(1, L"copied %ls", name);               // writes, releases
//
// The lock is the per-user cross-process mutex "MutexKelLog", held from
// LogPreFix to the end of Log: no other thread or process starts an entry in
// between, so entries never interleave and stay in the order they were begun.
// Levels: 0 DEBUG, 1 INFO, 2 ERROR; an entry is written when its level is at
// least the threshold.
//
// The day's file is appended to only when it is a regular file reached
// without a symbolic link; anything else there (a link, a FIFO) loses the
// entry, as a folder that cannot be made does. Files the log makes are the
// user's alone (0600, folders 0700) and only they start with the UTF-8
// byte-order mark.
#include "platform/KelExport.h"
#include "platform/StringW.h"

#include <ctime>

class CNamedMutex;

class KELCORE_API CKelLog {
public:
    CKelLog() = default;
    CKelLog(const CKelLog&) = delete;
    CKelLog& operator=(const CKelLog&) = delete;

    // Sets the threshold and the folder (which must end with '/') for every
    // later entry of the process. Thread safe.
    static void Init(const int& level, const wchar_t* folder);

    // Starts an entry and leaves the log lock held by the calling thread.
    // A null `function` keeps the previous label. When it raises (an
    // allocation fails) the lock is not kept.
    void LogPreFix(const char* sourceFile, const int& line, const char* function);
    // Finishes the entry begun by LogPreFix on this thread, appends it to the
    // day's file and releases the lock, also when the write raises
    // CKelException. Without a LogPreFix the entry gets a fresh time stamp
    // and the last source given.
    void Log(int level, const wchar_t* format, ...);

    // The file that an entry written now goes to.
    static CStringW CurrentFile();

    // Where the log reads the time: once when an entry starts (its time
    // stamp) and once when it is written (the day's file). The system clock
    // unless replaced, so that a test can cross midnight without waiting for
    // one. Returns the clock replaced; null puts the system clock back.
    // Thread safe.
    using Clock = std::time_t (*)();
    static Clock SetClock(Clock clock);

    // Library-wide settings, shared by every CKelLog of the process. Read
    // them; change them only through Init, which holds the lock.
    static int s_nLogLevel;
    static CStringW s_strLogFolder;
    static CNamedMutex s_mutexLog;

private:
    void _writefile(const wchar_t* text);

    CStringW m_strPrefix;
    CStringW m_strFile;
    CStringW m_strFunc;
    int m_nLine = 0;
};

// The log object of the library, used by every program by name.
extern KELCORE_API CKelLog _kelLog;
