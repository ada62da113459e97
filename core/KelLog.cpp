#include "KelLog.h"

#include "KelException.h"
#include "platform/FileHandle.h"
#include "platform/Folder.h"
#include "platform/NamedMutex.h"
#include "platform/Unicode.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <exception>
#include <string>
#include <string_view>

using kel::platform::CFileHandle;
using kel::platform::EOpen;

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

std::time_t SystemTime()
{
    return std::time(nullptr);
}

std::atomic<CKelLog::Clock> g_clock {&SystemTime};

// The one place where the log reads the time.
std::time_t Now()
{
    return g_clock.load()();
}

// The file name and extension of a path, whichever separator it uses.
CStringW FileNameOf(const CStringW& path)
{
    const int slash = std::max(path.ReverseFind(L'/'), path.ReverseFind(L'\\'));
    return path.Mid(slash + 1);
}

// What the entries of this process share beside the exported settings: the
// time texts and the day's file path, made again only when they change.
// Guarded by the log lock.
struct EntryCache {
    LocalTimeTexts timeTexts;
    CStringW pathFolder, pathDate;
    std::string path;
    // The last source file and function given, as given and as logged: a
    // program logs from a few places over and over.
    std::string source, function;
    CStringW sourceName, functionLabel;

    const CStringW& SourceName(const char* file)
    {
        if (source != file || sourceName.IsEmpty()) {
            source = file;
            sourceName = FileNameOf(CStringW(file));
        }
        return sourceName;
    }

    const CStringW& FunctionLabel(const char* name)
    {
        if (function != name || functionLabel.IsEmpty()) {
            function = name;
            functionLabel = CStringW(name);
        }
        return functionLabel;
    }

    const std::string& DayFile(const CStringW& folder, std::time_t now)
    {
        const CStringW& date = timeTexts.Date(now);
        if (path.empty() || folder != pathFolder || date != pathDate) {
            pathFolder = folder;
            pathDate = date;
            path = kel::platform::NarrowPath(folder + date + L".log");
        }
        return path;
    }
};

EntryCache& Cache()
{
    static EntryCache cache;
    return cache;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Where the last whole entry left its file, kept beside the lock so that
// every process knows it.
struct FileEnd {
    ULONGLONG device = 0, inode = 0, size = 0;

    bool operator==(const FileEnd&) const = default;
};
static_assert(sizeof(FileEnd) <= CNamedMutex::kSharedDataSize);

FileEnd LastEnd()
{
    FileEnd end;
    std::memcpy(&end, CKelLog::s_mutexLog.SharedData(), sizeof end);
    return end;
}

void SetLastEnd(const FileEnd& end)
{
    std::memcpy(CKelLog::s_mutexLog.SharedData(), &end, sizeof end);
}

// Opens the day's file for appending: only a regular file, never through a
// symbolic link and never waiting, since the folder may be shared (a link
// planted there would take the entries elsewhere, and a FIFO would hold
// every writer of the user while the lock is held). A new file is the
// user's alone: entries carry server replies and paths. `created` says
// whether this call made the file.
bool OpenDayFile(CFileHandle& file, const std::string& path, bool create, bool& created)
{
    constexpr EOpen kAppend = EOpen::Read | EOpen::Append | EOpen::NoFollow | EOpen::NonBlocking;
    created = false;
    if (!file.Open(path, kAppend)) {
        if (errno != ENOENT || !create)
            return false;
        created = file.Open(path, kAppend | EOpen::Exclusive, 0600);
        // Made by another writer meanwhile: appended to as it is.
        if (!created && !(errno == EEXIST && file.Open(path, kAppend)))
            return false;
    }
    return file.IsRegularFile();
}

// Appends one entry to the day's file; false when the file cannot be opened
// (or made, with `create`). Only a file made here gets the byte-order mark;
// an existing file, empty or not, is appended to as it is.
// A writer killed in the middle of its write leaves the file without its
// last line end: the next entry then begins with one, so that it starts on
// a line of its own instead of being glued onto the cut one. The end is read
// only when the file is not as the last whole entry left it.
bool AppendEntry(const std::string& path, const wchar_t* text, bool create)
{
    CFileHandle file;
    bool created = false;
    if (!OpenDayFile(file, path, create, created))
        return false;
    std::string bytes;
    if (created)
        bytes = kUtf8Mark;
    FileEnd end;
    if (file.Identity(end.device, end.inode, end.size)) {
        char last = '\n';
        size_t read = 0;
        if (end.size > 0 && !(end == LastEnd()) && file.ReadAt(&last, 1, end.size - 1, read) && read == 1
            && last != '\n')
            bytes = "\r\n";
    }
    // One write for the whole entry, so that a writer outside the lock never
    // lands inside it.
    kel::platform::AppendWideAsUtf8(text, bytes);
    const bool written = file.WriteAll(bytes);
    const int error = errno;
    SetLastEnd(written ? FileEnd {end.device, end.inode, end.size + bytes.size()} : FileEnd {});
    if (!written || !file.Close())
        throw new CKelException(static_cast<DWORD>(written ? errno : error));
    return true;
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

// Releases the lock taken by LogPreFix on every way out of Log.
class EntryRelease {
public:
    EntryRelease() = default;
    ~EntryRelease() { CKelLog::s_mutexLog.Unlock(); }
    EntryRelease(const EntryRelease&) = delete;
    EntryRelease& operator=(const EntryRelease&) = delete;
};

// Releases the lock taken by LogPreFix when the entry cannot be started (an
// allocation fails): the Log that would release it does not come.
class ReleaseOnThrow {
public:
    ReleaseOnThrow() = default;
    ~ReleaseOnThrow()
    {
        if (std::uncaught_exceptions() > m_pending)
            CKelLog::s_mutexLog.Unlock();
    }
    ReleaseOnThrow(const ReleaseOnThrow&) = delete;
    ReleaseOnThrow& operator=(const ReleaseOnThrow&) = delete;

private:
    const int m_pending = std::uncaught_exceptions();
};

} // namespace

int CKelLog::s_nLogLevel = 0;
CStringW CKelLog::s_strLogFolder = L"./Log/";
CNamedMutex CKelLog::s_mutexLog("MutexKelLog");
CKelLog _kelLog;

void CKelLog::Init(const int& level, const wchar_t* folder)
{
    CNamedMutexLock lock(s_mutexLog);
    s_strLogFolder = folder;
    s_nLogLevel = level;
}

void CKelLog::LogPreFix(const char* sourceFile, const int& line, const char* function)
{
    s_mutexLog.Lock();
    ReleaseOnThrow release;
    EntryCache& cache = Cache();
    m_strPrefix = cache.timeTexts.Stamp(Now());
    if (function)
        m_strFunc = cache.FunctionLabel(function);
    m_strFile = cache.SourceName(sourceFile ? sourceFile : "");
    m_nLine = line;
}

void CKelLog::Log(int level, const wchar_t* format, ...)
{
    // Log without LogPreFix: the entry starts here, with the last source.
    const bool begun = s_mutexLog.HeldByCaller();
    if (!begun)
        s_mutexLog.Lock();
    EntryRelease release;
    if (!begun)
        m_strPrefix = Cache().timeTexts.Stamp(Now());
    if (level < s_nLogLevel)
        return;

    m_strPrefix += LevelWord(level);
    if (s_nLogLevel == 0)
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

CKelLog::Clock CKelLog::SetClock(Clock clock)
{
    return g_clock.exchange(clock ? clock : &SystemTime);
}

CStringW CKelLog::CurrentFile()
{
    CNamedMutexLock lock(s_mutexLog);
    return s_strLogFolder + Cache().timeTexts.Date(Now()) + L".log";
}

void CKelLog::_writefile(const wchar_t* text)
{
    const std::string& path = Cache().DayFile(s_strLogFolder, Now());
    try {
        // Every missing level of the folder is created, so an entry is lost
        // only when the folder truly cannot be made. The folder is looked at
        // only when the day's file cannot be opened.
        if (!AppendEntry(path, text, false)) {
            kel::platform::CreateFolderLevels(kel::platform::NarrowPath(s_strLogFolder), 0700);
            AppendEntry(path, text, true);
        }
    } catch (CKelException* e) {
        const CStringW message = e->GetMessage();
        e->Delete();
        throw new CKelException(L"%ls", message.GetString());
    }
}
