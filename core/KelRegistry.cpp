#include "KelRegistry.h"

#include "platform/RegistryStore.h"
#include "platform/WinApp.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

using kel::platform::CRegKey;

namespace {

// The platform's query buffers: 260 wide characters for a string, 4 bytes
// for a number.
constexpr DWORD kStringBufferBytes = 260 * 2;
constexpr size_t kMaxChildNameLength = 259;

// The deletion works on its own growing copy of the path, so the caller's
// buffer never has to hold the deepest path (it gets back what it gave).
int DeleteTree(HKEY root, std::wstring& path)
{
    if (kel::platform::RegDeleteKey(root, path.c_str()) == 0)
        return 1;
    CRegKey key;
    const int error = key.Open(root, path.c_str(), KEY_READ);
    if (error == ENOENT) {
        std::fputs("Key not found.\n", stdout);
        return 1;
    }
    if (error != 0) {
        std::fputs("Error opening key.\n", stdout);
        return 0;
    }
    // A path that names no key opened the root key itself; going on would
    // empty it, every setting below it. A root key stays whole.
    if (path.find_first_not_of(L'\\') == std::wstring::npos)
        return 0;
    if (path.empty() || path.back() != L'\\')
        path += L'\\';
    const size_t end = path.size();
    // The children in name order, as taking index 0 again and again would
    // give them, from one listing per round instead of one per child. A
    // child still listed after its delete reported success could not be
    // reached by its name; stop rather than go round for ever.
    std::vector<CStringW> children;
    std::set<std::wstring> deleted;
    bool failed = false;
    while (!failed && key.EnumKeys(children) == 0 && !children.empty()) {
        if (std::any_of(children.begin(), children.end(),
                        [&](const CStringW& child) { return deleted.count(child.str()) != 0; }))
            break;
        deleted.clear();
        for (const CStringW& child : children) {
            failed = static_cast<size_t>(child.GetLength()) > kMaxChildNameLength;
            if (failed)
                break;
            path.resize(end);
            path += child.str();
            failed = DeleteTree(root, path) == 0;
            if (failed)
                break;
            deleted.insert(child.str());
        }
    }
    path.resize(end - 1);
    key.Close();
    return kel::platform::RegDeleteKey(root, path.c_str()) == 0 ? 1 : 0;
}

} // namespace

CStringW CKelRegistry::UserReadString(const wchar_t* section, const wchar_t* entry, const wchar_t* defaultValue) const
{
    if (!m_pApp)
        return CStringW(defaultValue);
    return m_pApp->GetProfileString(section, entry, defaultValue);
}

bool CKelRegistry::UserWriteString(const wchar_t* section, const wchar_t* entry, const wchar_t* value) const
{
    return m_pApp && m_pApp->WriteProfileString(section, entry, value);
}

int CKelRegistry::UserReadInt(const wchar_t* section, const wchar_t* entry, const int& defaultValue) const
{
    if (!m_pApp)
        return defaultValue;
    return static_cast<int>(m_pApp->GetProfileInt(section, entry, defaultValue));
}

bool CKelRegistry::UserWriteInt(const wchar_t* section, const wchar_t* entry, const int& value) const
{
    return m_pApp && m_pApp->WriteProfileInt(section, entry, value);
}

CStringW CKelRegistry::LocalReadString(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName)
{
    CRegKey key;
    if (key.Open(root, subKey, KEY_READ) != 0)
        return CStringW();
    // A number or binary value is not text (its raw bytes would read as
    // characters), and a string must fit the 260-character read buffer.
    CStringW value;
    return key.QueryString(valueName, value, kStringBufferBytes) == 0 ? value : CStringW();
}

bool CKelRegistry::LocalWriteString(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName,
                                    const wchar_t* value)
{
    CRegKey key;
    return key.Create(root, subKey, KEY_WRITE) == 0 && key.SetString(valueName, value) == 0;
}

int CKelRegistry::LocalReadInt(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName)
{
    CRegKey key;
    DWORD value = 0;
    if (key.Open(root, subKey, KEY_READ) != 0 || key.QueryDword(valueName, value) != 0)
        return 0;
    return static_cast<int>(value);
}

bool CKelRegistry::LocalWriteInt(HKEY const& root, const wchar_t* subKey, const wchar_t* valueName,
                                 const DWORD& value)
{
    CRegKey key;
    return key.Create(root, subKey, KEY_WRITE) == 0 && key.SetDword(valueName, value) == 0;
}

int CKelRegistry::LocalDeleteSubKey(HKEY const& root, wchar_t* subKey)
{
    if (!subKey)
        return 0;
    std::wstring path(subKey);
    const int result = DeleteTree(root, path);
    // The caller's buffer gets back its own path, less a trailing '\' when
    // the key was not deleted at the first attempt; it never grows.
    if (path.size() <= std::wcslen(subKey))
        subKey[path.size()] = 0;
    return result;
}
