#include "KelLog.h"

#include "KelException.h"
#include "KelFile.h"
#include "platform/FileHandle.h"
#include "platform/NamedMutex.h"
#include "platform/Unicode.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <ctime>
#include <cwchar>
#include <fcntl.h>
#include <string>
#include <string_view>

using kel::platform::CFileHandle;

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
    LocalTimeTexts clock;
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
        const CStringW& date = clock.Date(now);
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

// Appends one entry to the day's file; false when the file cannot be opened
// (or made, with `create`). A file this call makes starts with the
// byte-order mark. With `repair`, the file's end is looked at first: a writer
// killed in the middle of its write leaves the file without its last line
// end, and the next entry must then begin with one, so that it starts on a
// line of its own instead of being glued onto the cut one.
bool AppendEntry(const std::string& path, const wchar_t* text, bool repair, bool create)
{
    const int access = (repair ? O_RDWR : O_WRONLY) | O_APPEND;
    CFileHandle file;
    bool created = false;
    if (!file.Open(path, access)) {
        if (!create)
            return false;
        created = file.Open(path, access | O_CREAT | O_EXCL, 0666);
        if (!created && !file.Open(path, access))
            return false;
    }
    std::string bytes;
    char last = 0;
    bool empty = false;
    if (created)
        bytes = kUtf8Mark;
    else if (repair && file.LastByte(last, empty))
        bytes = empty ? kUtf8Mark : last != '\n' ? "\r\n" : "";
    // One write for the whole entry, so that a writer outside the lock never
    // lands inside it.
    kel::platform::AppendWideAsUtf8(text, bytes);
    if (!file.WriteAll(bytes) || !file.Close())
        throw new CKelException(static_cast<DWORD>(errno));
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
    EntryCache& cache = Cache();
    m_strPrefix = cache.clock.Stamp(std::time(nullptr));
    if (function)
        m_strFunc = cache.FunctionLabel(function);
    m_strFile = cache.SourceName(sourceFile ? sourceFile : "");
    m_nLine = line;
}

void CKelLog::Log(int level, const wchar_t* format, ...)
{
    if (!s_mutexLog.HeldByCaller()) {
        // Log without LogPreFix: the entry starts here, with the last source.
        s_mutexLog.Lock();
        m_strPrefix = Cache().clock.Stamp(std::time(nullptr));
    }
    EntryRelease release;
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

CStringW CKelLog::CurrentFile()
{
    CNamedMutexLock lock(s_mutexLog);
    return s_strLogFolder + Cache().clock.Date(std::time(nullptr)) + L".log";
}

void CKelLog::_writefile(const wchar_t* text)
{
    const std::string& path = Cache().DayFile(s_strLogFolder, std::time(nullptr));
    // Only a holder that died, or a write that failed, can have left the end
    // of the file cut: the lock knows, so a sound file costs no look.
    const bool repair = s_mutexLog.IsInconsistent();
    try {
        // Every missing level of the folder is created, so an entry is lost
        // only when the folder truly cannot be made. The folder is looked at
        // only when the day's file cannot be opened.
        bool written = AppendEntry(path, text, repair, false);
        if (!written) {
            CKelFile::CreateFolder(s_strLogFolder);
            written = AppendEntry(path, text, repair, true);
        }
        if (written)
            s_mutexLog.SetInconsistent(false);
    } catch (CKelException* e) {
        s_mutexLog.SetInconsistent(true); // part of the entry may be in the file
        const CStringW message = e->GetMessage();
        e->Delete();
        throw new CKelException(L"%ls", message.GetString());
    }
}
