#pragma once

// CWinApp: the framework's application object, as far as the libraries use
// it: the application name, the resource module, and the profile, which lives
// in the per-user registry store below
// HKEY_CURRENT_USER\Software\<registry key>\<application>\<section>.
//
// A program makes one, usually as a static object; AfxGetApp returns it.
// Profile calls are thread safe as far as the registry store is.
//
// Framework names (CWinApp, profile, resource ids) are explained in the
// README's glossary, "Names kept from the original interface".
#include "KelExport.h"
#include "StringW.h"
#include "Types.h"

class KELCORE_API CWinApp {
public:
    // Without a name the application is called after its executable file,
    // without extension.
    explicit CWinApp(const wchar_t* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }

    // Where the profile lives: Software\<registryKey>\<application name>.
    // Until it is called the registry key is the application name.
    void SetRegistryKey(const wchar_t* registryKey);
    void SetAppName(const wchar_t* appName);

    // The stored string, or `defaultValue` (empty when null) when absent or
    // not a string.
    CStringW GetProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* defaultValue = nullptr);
    // A null `value` deletes the entry; a null `entry` deletes the section.
    BOOL WriteProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* value);
    UINT GetProfileInt(const wchar_t* section, const wchar_t* entry, int defaultValue);
    BOOL WriteProfileInt(const wchar_t* section, const wchar_t* entry, int value);

    const wchar_t* m_pszAppName = nullptr;
    const wchar_t* m_pszRegistryKey = nullptr;
    // The program's own resource table (see Resources.h); null when it has none.
    HINSTANCE m_hInstance = nullptr;

private:
    CStringW _SectionKey(const wchar_t* section) const;

    CStringW m_strAppName;
    CStringW m_strRegistryKey;
};

// The application object of the process, or null when none exists.
KELCORE_API CWinApp* AfxGetApp();
