#pragma once

// The per-user registry store. Linux has no registry, so keys are folders and
// values are small files under $KEL_REGISTRY_ROOT, else
// $XDG_CONFIG_HOME/kelcommon/registry, else ~/.config/kelcommon/registry:
// one folder per root key (HKEY_CURRENT_USER, ...), one folder per key below.
//
// Key and value names compare case-insensitively, as on Windows, by Unicode's
// simple case folding (CaseFold.h); a key keeps the spelling it was created
// with. Values keep their type and their full name, which a read compares,
// so that names sharing a shortened file name never share a value. Every
// value is written to a temporary file, flushed to the disk and renamed into
// place, and a key is renamed away before its values are removed, so a
// process killed (or a machine stopped) at any point leaves each key and
// value either whole or absent. A delete never follows a symbolic link in
// the store: a link is removed as a link.
//
// Results are 0 or an errno value: ENOENT for a missing key or value, EACCES
// for a write through a key opened for reading or a delete of a key that has
// sub-keys, ERANGE when a caller's buffer is too small (the size then says
// what is needed), EBADMSG for a damaged value file, EINVAL for a bad name.
//
// Thread safe as far as the file system is; one CRegKey belongs to one thread.
#include "KelExport.h"
#include "StringW.h"
#include "Types.h"

#include <cstdint>
#include <string>
#include <vector>

struct HKEY__;
using HKEY = HKEY__*;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000003u)))
#define HKEY_CURRENT_CONFIG (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000005u)))

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;

namespace kel::platform {

// The folder that holds the whole store (no trailing '/').
KELCORE_API std::string RegistryStoreFolder();

class KELCORE_API CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() = default;
    CRegKey(CRegKey&&) = default;
    CRegKey& operator=(CRegKey&&) = default;
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // `subKey` is a '\'-separated path below `root`; empty means the root.
    int Open(HKEY root, const wchar_t* subKey, DWORD access = KEY_READ);
    // Opens the key, creating every missing level.
    int Create(HKEY root, const wchar_t* subKey, DWORD access = KEY_WRITE);
    void Close();
    bool IsOpen() const { return !m_folder.empty(); }

    // As the platform's value query: `size` is the buffer's size in bytes on
    // entry and the value's size on return; `data` may be null to ask only
    // for type and size. Strings are stored as UTF-16LE with a terminator.
    int QueryValue(const wchar_t* name, DWORD* type, BYTE* data, DWORD* size) const;
    int SetValue(const wchar_t* name, DWORD type, const BYTE* data, DWORD size) const;
    int DeleteValue(const wchar_t* name) const;
    // The name of the sub-key at `index` in name order; ENOENT past the end.
    int EnumKey(DWORD index, CStringW& name) const;
    // The names of all sub-keys in name order, read in one pass (EnumKey
    // reads the key's whole listing for each index).
    int EnumKeys(std::vector<CStringW>& names) const;

    // The stored type and bytes of a value.
    int ReadValue(const wchar_t* name, DWORD& type, std::string& data) const;
    // Typed helpers. A string value must be REG_SZ or REG_EXPAND_SZ and at
    // most `maxBytes` long (ERANGE otherwise); a number must be REG_DWORD.
    int QueryString(const wchar_t* name, CStringW& value, DWORD maxBytes = 0xFFFFFFFF) const;
    int QueryDword(const wchar_t* name, DWORD& value) const;
    int SetString(const wchar_t* name, const wchar_t* value) const;
    int SetDword(const wchar_t* name, DWORD value) const;

private:
    std::string m_folder;
    DWORD m_access = 0;
};

// Deletes a key that has no sub-keys, with its values.
KELCORE_API int RegDeleteKey(HKEY root, const wchar_t* subKey);

} // namespace kel::platform
