#pragma once

// CKelRegistry: the application's own settings through the profile of an
// application object (User operations), and static Local operations on any
// key below a root key of the per-user registry store: string and 32-bit
// values, and deletion of a key with all its sub-keys.
//
// No operation raises: failures show as an empty string, 0 or false.
// Local operations are thread safe as far as the store is.
#include "platform/KelExport.h"
#include "platform/RegistryStore.h"
#include "platform/StringW.h"
#include "platform/Types.h"

class CWinApp;

class KELCORE_API CKelRegistry {
public:
    CKelRegistry() = default;

    // Must be called before any User operation; `app` is not owned.
    void SetApp(CWinApp* app) { m_pApp = app; }

    CStringW UserReadString(const wchar_t* section, const wchar_t* entry, const wchar_t* defaultValue) const;
    bool UserWriteString(const wchar_t* section, const wchar_t* entry, const wchar_t* value) const;
    int UserReadInt(const wchar_t* section, const wchar_t* entry, const int& defaultValue) const;
    bool UserWriteInt(const wchar_t* section, const wchar_t* entry, const int& value) const;

    // A string value of at most 259 characters; empty when the key or value
    // is missing, is not a string, or is longer.
    static CStringW LocalReadString(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName);
    static bool LocalWriteString(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName,
                                 const wchar_t* value);
    // A 32-bit value; 0 when missing or not a 32-bit number.
    static int LocalReadInt(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName);
    static bool LocalWriteInt(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName, const DWORD& value);
    // Deletes `subKey` with all its sub-keys, leaf first: 1 when the key is
    // gone afterwards (or was never there, printing "Key not found."), 0 on
    // failure (printing "Error opening key." when it could not be opened).
    // `subKey` must be a writable zero-terminated buffer; on return it holds
    // the path it held on entry, without a trailing '\'.
    static int LocalDeleteSubKey(HKEY const& root, wchar_t* subKey);

private:
    CWinApp* m_pApp = nullptr;
};
