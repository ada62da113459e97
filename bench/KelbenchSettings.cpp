#include "KelbenchSettings.h"

#include <KelException.h>
#include <KelFile.h>
#include <KelLog.h>

#include <cstdlib>
#include <string>

namespace kel::bench {

namespace {

constexpr int kProfileValueRoom = 510; // characters, terminator included

CStringW Trimmed(CStringW text)
{
    text.Trim();
    return text;
}

// The value as the platform's profile read gives it: blanks around it
// trimmed, then one pair of matching surrounding quotes removed.
CStringW ProfileValue(CStringW value)
{
    value.Trim();
    const int length = value.GetLength();
    if (length >= 2) {
        const wchar_t first = value.GetAt(0);
        if ((first == L'"' || first == L'\'') && value.GetAt(length - 1) == first)
            value = value.Mid(1, length - 2);
    }
    return value;
}

} // namespace

CStringW SettingsFileName(const wchar_t* title)
{
    CStringW name;
    name.Format(L"./%ls.ini", title);
    return name;
}

CStringW ReadProfileString(const CStringW& file, const wchar_t* section, const wchar_t* key,
    const wchar_t* defaultValue)
{
    // As with the platform's profile read, a file that cannot be read (bytes
    // of no known encoding, say) is a missing one: start-up must not fail on it.
    CStringW text;
    try {
        CKelFile reader;
        reader.SetFilename(file);
        text = reader.ReadTextFile();
    } catch (CKelException* e) {
        e->Delete();
        return defaultValue;
    }
    // The reading keeps a byte-order mark; it is no part of the first line.
    if (!text.IsEmpty() && text.GetAt(0) == L'\xFEFF')
        text = text.Mid(1);
    bool inSection = false;
    int start = 0;
    while (start >= 0 && start < text.GetLength()) {
        int end = text.Find(L'\n', start);
        if (end < 0)
            end = text.GetLength();
        CStringW line = text.Mid(start, end - start);
        start = end + 1;
        line.TrimRight(L"\r");
        const CStringW bare = Trimmed(line);
        if (bare.GetLength() >= 2 && bare.GetAt(0) == L'[' && bare.GetAt(bare.GetLength() - 1) == L']') {
            inSection = Trimmed(bare.Mid(1, bare.GetLength() - 2)).CompareNoCase(section) == 0;
            continue;
        }
        const int equals = line.Find(L'=');
        if (!inSection || equals < 0 || Trimmed(line.Left(equals)).CompareNoCase(key) != 0)
            continue;
        return ProfileValue(line.Mid(equals + 1)).Left(kProfileValueRoom - 1);
    }
    return defaultValue;
}

int LogLevelOf(const CStringW& value)
{
    if (value == L"ERROR")
        return 2;
    if (value == L"INFO")
        return 1;
    if (value == L"DEV")
        return 0;
    return -1;
}

CStringW LogFolder()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string folder;
    if (state && *state == '/') {
        folder = state;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home && *home ? home : "/tmp") + "/.local/state";
    }
    return CStringW(folder.c_str()) + L"/Kelbench/Logs/";
}

int InitLogFromSettings(const wchar_t* title)
{
    const int level = LogLevelOf(ReadProfileString(SettingsFileName(title), L"LOG", L"LEVEL", L"INFO"));
    if (level >= 0) {
        try {
            CKelLog::Init(level, LogFolder());
        } catch (CKelException* e) {
            e->Delete();
        }
    }
    return level;
}

} // namespace kel::bench
