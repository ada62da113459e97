#include "KelLog.h"

#include "KelException.h"
#include "KelFile.h"
#include "platform/FileHandle.h"
#include "platform/NamedMutex.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <ctime>
#include <cwchar>
#include <mutex>
#include <thread>

namespace {

// Texts of the local time, made again only when the second (time stamp) or
// the day (file name) has changed: formatting local time is the larger part
// of the cost of an entry otherwise.
class LocalTimeTexts {
public:
    const CStringW& Stamp(std::time_t now)
    {
        if (now != m_stampSecond) {
            m_stamp = Format(now, L"[%Y-%m-%d %X] ");
            m_stampSecond = now;
        }
        return m_stamp;
    }

    const CStringW& Date(std::time_t now)
    {
        if (now < m_dayStart || now >= m_dayEnd) {
            std::tm local {};
            localtime_r(&now, &local);
            m_date = Format(now, L"%Y-%m-%d");
            local.tm_hour = local.tm_min = local.tm_sec = 0;
            local.tm_isdst = -1;
            m_dayStart = std::mktime(&local);
            ++local.tm_mday;
            local.tm_isdst = -1;
            m_dayEnd = std::mktime(&local);
        }
        return m_date;
    }

private:
    static CStringW Format(std::time_t now, const wchar_t* format)
    {
        std::tm local {};
        localtime_r(&now, &local);
        wchar_t buffer[128];
        const size_t length = std::wcsftime(buffer, std::size(buffer), format, &local);
        return CStringW(buffer, static_cast<int>(length));
    }

    std::time_t m_stampSecond = -1;
    CStringW m_stamp;
    std::time_t m_dayStart = 0, m_dayEnd = 0;
    CStringW m_date;
};

// The entry lock: re-entrant for its owner, and it knows its owner, so that a
// Log called without its LogPreFix takes the lock rather than releasing one
// the thread does not hold.
class EntryLock {
public:
    void lock()
    {
        m_mutex.lock();
        if (m_depth++ == 0)
            m_owner = std::this_thread::get_id();
    }
    void unlock()
    {
        if (--m_depth == 0)
            m_owner = std::thread::id();
        m_mutex.unlock();
    }
    bool HeldByCaller() const { return m_owner.load() == std::this_thread::get_id(); }

private:
    std::recursive_mutex m_mutex;
    std::atomic<std::thread::id> m_owner {};
    int m_depth = 0; // guarded by m_mutex
};

// Library-wide settings. `entry` is held from LogPreFix to the end of Log and
// guards the settings and the entry being built; `files` is the per-user
// cross-process lock "MutexKelLog", held while an entry is appended, so that
// entries of all processes reach the day's file whole and one at a time.
struct LogSettings {
    int level = 0;
    CStringW folder = L"./Log/";
    EntryLock entry;
    CNamedMutex files {"MutexKelLog"};
    LocalTimeTexts clock; // guarded by `entry`
};

LogSettings& Settings()
{
    static LogSettings settings;
    return settings;
}

const wchar_t* LevelWord(int level)
{
    switch (level) {
    case 0: return L"DEBUG ";
    case 1: return L"INFO  ";
    case 2: return L"ERROR ";
    default: return L"";
    }
}

// The file name and extension of a path, whichever separator it uses.
CStringW FileNameOf(const CStringW& path)
{
    const int slash = std::max(path.ReverseFind(L'/'), path.ReverseFind(L'\\'));
    return path.Mid(slash + 1);
}

// Line breaks inside the message become "\r\n\t" continuation lines; a
// message that spans lines starts on a line of its own.
void AppendMessage(CStringW& entry, CStringW message)
{
    message.TrimRight(L"\r\n");
    if (message.Find(L"\r\n") > 0)
        entry += L"\r\n\t";
    message += L"\r\n";
    message.Replace(L"\r\n", L"\r\n\t");
    message.TrimRight(L'\t');
    entry += message;
}

// Releases the entry lock taken by LogPreFix on every way out of Log.
class EntryRelease {
public:
    explicit EntryRelease(EntryLock& mutex) : m_mutex(mutex) {}
    ~EntryRelease() { m_mutex.unlock(); }
    EntryRelease(const EntryRelease&) = delete;
    EntryRelease& operator=(const EntryRelease&) = delete;

private:
    EntryLock& m_mutex;
};

} // namespace

CKelLog _kelLog;

void CKelLog::Init(const int& level, const wchar_t* folder)
{
    LogSettings& settings = Settings();
    std::lock_guard lock(settings.entry);
    settings.folder = folder;
    settings.level = level;
}

void CKelLog::LogPreFix(const char* sourceFile, const int& line, const char* function)
{
    LogSettings& settings = Settings();
    settings.entry.lock();
    const CStringW stamp = settings.clock.Stamp(std::time(nullptr));
    if (function)
        m_strFunc = CStringW(function);
    m_strFile = FileNameOf(CStringW(sourceFile));
    m_nLine = line;
    m_strPrefix = stamp;
}

void CKelLog::Log(int level, const wchar_t* format, ...)
{
    LogSettings& settings = Settings();
    if (!settings.entry.HeldByCaller()) {
        // Log without LogPreFix: the entry starts here, with the last source.
        settings.entry.lock();
        m_strPrefix = settings.clock.Stamp(std::time(nullptr));
    }
    EntryRelease release(settings.entry);
    if (level < settings.level)
        return;

    m_strPrefix += LevelWord(level);
    if (settings.level == 0)
        m_strPrefix.AppendFormat(L"%-22ls %-44ls (%5d) - ", m_strFile.GetString(), m_strFunc.GetString(), m_nLine);

    // The message is kept whole, however long.
    CStringW message;
    va_list args;
    va_start(args, format);
    message.FormatV(format, args);
    va_end(args);
    AppendMessage(m_strPrefix, message);
    _writefile(m_strPrefix);
}

CStringW CKelLog::CurrentFile()
{
    LogSettings& settings = Settings();
    std::lock_guard lock(settings.entry);
    return settings.folder + settings.clock.Date(std::time(nullptr)) + L".log";
}

void CKelLog::_writefile(const wchar_t* text)
{
    LogSettings& settings = Settings();
    CKelFile file;
    file.SetFilename(CurrentFile());
    CNamedMutexLock lock(settings.files);
    try {
        // Every missing level of the folder is created, so an entry is lost
        // only when the folder truly cannot be made. The folder is looked at
        // only when the day's file cannot be opened.
        if (!file.AppendIfExists(text)) {
            CKelFile::CreateFolder(settings.folder);
            file.WriteUTF8(text);
        }
    } catch (CKelException* e) {
        const CStringW message = e->GetMessage();
        e->Delete();
        throw new CKelException(L"%ls", message.GetString());
    }
}
