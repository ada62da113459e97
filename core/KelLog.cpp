#include "KelLog.h"

#include "KelException.h"
#include "KelFile.h"
#include "platform/FileHandle.h"
#include "platform/NamedMutex.h"

#include <algorithm>
#include <cstdarg>
#include <ctime>
#include <cwchar>
#include <filesystem>
#include <system_error>

namespace {

// Library-wide settings, read and written under the log lock.
struct LogSettings {
    int level = 0;
    CStringW folder = L"./Log/";
    CNamedMutex mutex {"MutexKelLog"};
};

LogSettings& Settings()
{
    static LogSettings settings;
    return settings;
}

CStringW FormatLocalTime(const wchar_t* format)
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    wchar_t buffer[128];
    const size_t length = std::wcsftime(buffer, std::size(buffer), format, &local);
    return CStringW(buffer, static_cast<int>(length));
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

class LockRelease {
public:
    explicit LockRelease(CNamedMutex& mutex) : m_mutex(mutex) {}
    ~LockRelease() { m_mutex.Unlock(); }
    LockRelease(const LockRelease&) = delete;
    LockRelease& operator=(const LockRelease&) = delete;

private:
    CNamedMutex& m_mutex;
};

} // namespace

CKelLog _kelLog;

void CKelLog::Init(const int& level, const wchar_t* folder)
{
    LogSettings& settings = Settings();
    CNamedMutexLock lock(settings.mutex);
    settings.folder = folder;
    settings.level = level;
}

void CKelLog::LogPreFix(const char* sourceFile, const int& line, const char* function)
{
    Settings().mutex.Lock();
    const CStringW stamp = FormatLocalTime(L"[%Y-%m-%d %X] ");
    if (function)
        m_strFunc = CStringW(function);
    m_strFile = FileNameOf(CStringW(sourceFile));
    m_nLine = line;
    m_strPrefix = stamp;
}

void CKelLog::Log(int level, const wchar_t* format, ...)
{
    LogSettings& settings = Settings();
    LockRelease release(settings.mutex);
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
    return Settings().folder + FormatLocalTime(L"%Y-%m-%d") + L".log";
}

void CKelLog::_writefile(const wchar_t* text)
{
    CKelFile file;
    file.SetFilename(CurrentFile());
    try {
        // Every missing level of the folder is created, so an entry is lost
        // only when the folder truly cannot be made.
        std::error_code error;
        if (!std::filesystem::is_directory(kel::platform::NarrowPath(Settings().folder), error))
            CKelFile::CreateFolder(Settings().folder);
        file.WriteUTF8(text);
    } catch (CKelException* e) {
        const CStringW message = e->GetMessage();
        e->Delete();
        throw new CKelException(L"%ls", message.GetString());
    }
}
