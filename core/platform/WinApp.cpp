#include "WinApp.h"

#include "CodePage.h"
#include "RegistryStore.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <unistd.h>

namespace {

// The framework's one application object of the process.
std::atomic<CWinApp*> g_application{nullptr};

CStringW ExecutableTitle()
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return CStringW(L"Application");
    std::string_view name(path, static_cast<size_t>(length));
    name = name.substr(name.rfind('/') + 1);
    if (const size_t dot = name.rfind('.'); dot != std::string_view::npos && dot > 0)
        name = name.substr(0, dot);
    return CStringW(kel::platform::MultiByteToWide(name, kel::platform::CodePage::System));
}

} // namespace

CWinApp::CWinApp(const wchar_t* appName)
{
    SetAppName(appName && *appName ? appName : ExecutableTitle().GetString());
    CWinApp* none = nullptr;
    g_application.compare_exchange_strong(none, this);
}

CWinApp::~CWinApp()
{
    CWinApp* self = this;
    g_application.compare_exchange_strong(self, nullptr);
}

void CWinApp::SetAppName(const wchar_t* appName)
{
    m_strAppName = appName;
    m_pszAppName = m_strAppName.GetString();
}

void CWinApp::SetRegistryKey(const wchar_t* registryKey)
{
    m_strRegistryKey = registryKey;
    m_pszRegistryKey = m_strRegistryKey.IsEmpty() ? nullptr : m_strRegistryKey.GetString();
}

CStringW CWinApp::_SectionKey(const wchar_t* section) const
{
    const CStringW& company = m_strRegistryKey.IsEmpty() ? m_strAppName : m_strRegistryKey;
    CStringW key = L"Software\\" + company + L"\\" + m_strAppName;
    if (section && *section)
        key += CStringW(L"\\") + section;
    return key;
}

CStringW CWinApp::GetProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* defaultValue)
{
    kel::platform::CRegKey key;
    CStringW value;
    if (key.Open(HKEY_CURRENT_USER, _SectionKey(section), KEY_READ) == 0 && key.QueryString(entry, value) == 0)
        return value;
    return CStringW(defaultValue);
}

BOOL CWinApp::WriteProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* value)
{
    if (!entry)
        return kel::platform::RegDeleteKey(HKEY_CURRENT_USER, _SectionKey(section)) == 0;
    kel::platform::CRegKey key;
    if (!value) {
        if (key.Open(HKEY_CURRENT_USER, _SectionKey(section), KEY_WRITE | KEY_READ) != 0)
            return TRUE; // nothing to delete
        const int error = key.DeleteValue(entry);
        return error == 0 || error == ENOENT;
    }
    return key.Create(HKEY_CURRENT_USER, _SectionKey(section)) == 0 && key.SetString(entry, value) == 0;
}

UINT CWinApp::GetProfileInt(const wchar_t* section, const wchar_t* entry, int defaultValue)
{
    kel::platform::CRegKey key;
    DWORD value = 0;
    if (key.Open(HKEY_CURRENT_USER, _SectionKey(section), KEY_READ) == 0 && key.QueryDword(entry, value) == 0)
        return value;
    return static_cast<UINT>(defaultValue);
}

BOOL CWinApp::WriteProfileInt(const wchar_t* section, const wchar_t* entry, int value)
{
    kel::platform::CRegKey key;
    return key.Create(HKEY_CURRENT_USER, _SectionKey(section)) == 0
        && key.SetDword(entry, static_cast<DWORD>(value)) == 0;
}

CWinApp* AfxGetApp()
{
    return g_application.load();
}
