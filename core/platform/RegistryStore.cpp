#include "RegistryStore.h"

#include "CaseFold.h"
#include "Folder.h"
#include "RegistryFiles.h"
#include "Unicode.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kel::platform {
namespace {

using registry::FileName;
using registry::kValueSlots;
using registry::Placing;
using registry::ValueLookup;
using registry::ValueSlot;

// On-disk layout inside a key folder: "k.<name>" sub-key folders, "v.<name>"
// value files (and "v.<name>%<n>" for names that share a shortened file
// name), ".name" the key's own spelling and ".tmp.*" files being written
// (RegistryFiles.h). Keys being deleted wait in the root key's ".deleted"
// folder.
constexpr std::string_view kKeyPrefix = "k.";
constexpr std::string_view kNameFile = ".name";
constexpr std::string_view kTrashFolder = ".deleted";
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr size_t kMaxValueSize = 1u << 20;

const char* RootFolderName(HKEY root)
{
    switch (reinterpret_cast<std::uintptr_t>(root)) {
    case 0x80000000u: return "HKEY_CLASSES_ROOT";
    case 0x80000001u: return "HKEY_CURRENT_USER";
    case 0x80000002u: return "HKEY_LOCAL_MACHINE";
    case 0x80000003u: return "HKEY_USERS";
    case 0x80000005u: return "HKEY_CURRENT_CONFIG";
    default: return nullptr;
    }
}

// The '\'-separated components of a key path; empty components are skipped.
bool SplitKeyPath(const wchar_t* subKey, std::vector<std::wstring_view>& parts)
{
    std::wstring_view rest(subKey ? subKey : L"");
    while (!rest.empty()) {
        const size_t slash = rest.find(L'\\');
        const std::wstring_view part = rest.substr(0, slash);
        if (part.size() > kMaxKeyNameLength)
            return false;
        if (!part.empty())
            parts.push_back(part);
        if (slash == std::wstring_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    return true;
}

std::string HomeConfigFolder()
{
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return config;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : "/tmp";
    }
    return std::string(home) + "/.config";
}

// Path of the key, without creating anything; false for a bad root or name.
bool KeyFolder(HKEY root, const wchar_t* subKey, std::string& folder, std::vector<std::wstring_view>& parts)
{
    const char* rootName = RootFolderName(root);
    if (!rootName || !SplitKeyPath(subKey, parts))
        return false;
    folder = RegistryStoreFolder() + "/" + rootName;
    for (const std::wstring_view part : parts)
        folder += "/" + FileName(kKeyPrefix, part);
    return true;
}

int MakeFolder(const std::string& path)
{
    if (mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && IsFolder(path)))
        return 0;
    return errno == EEXIST ? ENOTDIR : errno;
}

// Every level of the store folder itself (it may not exist yet).
int MakeFolders(const std::string& path)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (const int error = MakeFolder(path.substr(0, slash)); error && error != EACCES)
            return error;
    }
    return MakeFolder(path);
}

// The sub-key folders of a key folder, in name order.
int ListSubKeys(const std::string& folder, std::vector<std::string>& keys)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return errno;
    keys.clear();
    while (const dirent* entry = readdir(dir)) {
        if (std::string_view(entry->d_name).substr(0, kKeyPrefix.size()) == kKeyPrefix)
            keys.push_back(entry->d_name);
    }
    closedir(dir);
    std::sort(keys.begin(), keys.end());
    return 0;
}

// The name of the sub-key in folder `file` of `folder`: its stored spelling
// when that leads back to the folder, else the folder's own name.
CStringW SubKeyName(const std::string& folder, const std::string& file)
{
    std::string spelling;
    const bool spelled = registry::ReadSmallFile(folder + "/" + file + "/" + std::string(kNameFile), spelling) == 0
        && !spelling.empty() && FileName(kKeyPrefix, Utf8ToWide(spelling)) == file;
    if (!spelled)
        spelling = registry::UnescapeFileName(std::string_view(file).substr(kKeyPrefix.size()));
    return CStringW(Utf8ToWide(spelling));
}

// A folder opened below another without following a link; closed when it
// goes out of scope.
class HeldFolder {
public:
    HeldFolder() = default;
    ~HeldFolder() { _Close(); }
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;

    bool Open(int parentFd, const std::string& name)
    {
        _Close();
        m_fd = openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        return m_fd >= 0;
    }
    void Swap(HeldFolder& other) { std::swap(m_fd, other.m_fd); }
    int Fd() const { return m_fd; }

private:
    void _Close()
    {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
    }

    int m_fd = -1;
};

// A missing key, a file where a key should be and a link on the way all
// mean the same to a delete: the store holds no such key.
int AsMissingKey(int error)
{
    return error == ENOTDIR || error == ELOOP ? ENOENT : error;
}

// 0 when the key folder `name` of `parentFd` has no sub-keys; EACCES when it
// has (a key with sub-keys is not deleted), or the error that kept it from
// being listed.
int CheckNoSubKeys(int parentFd, const std::string& name)
{
    HeldFolder folder;
    if (!folder.Open(parentFd, name))
        return AsMissingKey(errno);
    DIR* dir = fdopendir(dup(folder.Fd()));
    if (!dir)
        return errno;
    int result = 0;
    while (const dirent* entry = readdir(dir)) {
        if (std::string_view(entry->d_name).substr(0, kKeyPrefix.size()) == kKeyPrefix) {
            result = EACCES;
            break;
        }
    }
    closedir(dir);
    return result;
}

// The trash folder of a root key, made when missing. Anything else that has
// its name (a link, a file) is removed, never followed.
int OpenTrash(int rootFd, HeldFolder& trash)
{
    const std::string name(kTrashFolder);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (mkdirat(rootFd, name.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (trash.Open(rootFd, name))
            return 0;
        if (errno != ENOTDIR && errno != ELOOP)
            return errno;
        unlinkat(rootFd, name.c_str(), 0);
    }
    return ENOTDIR;
}

// Deletes that a killed process left half done in the trash folder; also
// those running now in other processes, which then find less to remove.
void ClearLeftovers(int trashFd, const std::string& trash)
{
    DIR* dir = fdopendir(dup(trashFd));
    if (!dir)
        return;
    std::vector<std::string> leftovers;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            leftovers.push_back(trash + "/" + entry->d_name);
    }
    closedir(dir);
    for (const std::string& doomed : leftovers)
        registry::RemoveTree(doomed);
}

// Renames the key `key` of `parentFd` into the trash of its root key, then
// removes it there. Renamed away first, so that no reader ever sees the key
// half emptied. The trash is one folder per root key rather than the
// parent, so that clearing what killed deletes left there costs the same
// however many keys the parent holds.
int DeleteRenamedAway(int rootFd, const std::string& rootFolder, int parentFd, const std::string& key, ino_t inode)
{
    HeldFolder trash;
    if (const int error = OpenTrash(rootFd, trash))
        return error;
    const std::string trashPath = rootFolder + "/" + std::string(kTrashFolder);
    // A name no other delete uses: the folder's inode is unique while it
    // exists, the process and the time tell apart a leftover that had it.
    for (int attempt = 0; attempt < 8; ++attempt) {
        char name[80];
        std::snprintf(name, sizeof name, "%llu-%d-%lld", static_cast<unsigned long long>(inode),
                      static_cast<int>(getpid()),
                      static_cast<long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
        if (renameat(parentFd, key.c_str(), trash.Fd(), name) == 0) {
            registry::RemoveTree(trashPath + "/" + name);
            ClearLeftovers(trash.Fd(), trashPath);
            return 0;
        }
        if (errno != EEXIST && errno != ENOTEMPTY)
            return errno;
    }
    return EBUSY;
}

} // namespace

std::string RegistryStoreFolder()
{
    if (const char* root = std::getenv("KEL_REGISTRY_ROOT"); root && *root) {
        std::string folder(root);
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        return folder;
    }
    return HomeConfigFolder() + "/kelcommon/registry";
}

int CRegKey::Open(HKEY root, const wchar_t* subKey, DWORD access)
{
    Close();
    std::string folder;
    std::vector<std::wstring_view> parts;
    if (!KeyFolder(root, subKey, folder, parts))
        return EINVAL;
    // One call answers both "is it there" and "may it be read"; a path
    // through a file is as missing as a missing one.
    if (::access(folder.c_str(), R_OK | X_OK) != 0)
        return errno == ENOTDIR ? ENOENT : errno;
    m_folder = std::move(folder);
    m_access = access;
    return 0;
}

int CRegKey::Create(HKEY root, const wchar_t* subKey, DWORD access)
{
    Close();
    std::string folder;
    std::vector<std::wstring_view> parts;
    if (!KeyFolder(root, subKey, folder, parts))
        return EINVAL;
    if (IsFolder(folder)) { // the usual case: the key is there already
        m_folder = std::move(folder);
        m_access = access;
        return 0;
    }
    std::string path = RegistryStoreFolder() + "/" + RootFolderName(root);
    if (const int error = MakeFolders(path))
        return error;
    for (const std::wstring_view part : parts) {
        const std::string parent = path;
        path += "/" + FileName(kKeyPrefix, part);
        if (mkdir(path.c_str(), 0700) == 0) {
            // The spelling is a courtesy for listings; a key without it
            // still works, so a failure here is not one of the key.
            registry::WriteAtomically(path, path + "/" + std::string(kNameFile), WideToUtf8(part));
            if (const int error = registry::SyncFolder(parent))
                return error;
        } else if (errno != EEXIST || !IsFolder(path)) {
            return errno == EEXIST ? ENOTDIR : errno;
        }
    }
    m_folder = std::move(path);
    m_access = access;
    return 0;
}

void CRegKey::Close()
{
    m_folder.clear();
    m_access = 0;
}

int CRegKey::ReadValue(const wchar_t* name, DWORD& type, std::string& data) const
{
    if (!IsOpen())
        return EBADF;
    const std::wstring_view valueName(name ? name : L"");
    if (valueName.size() > kMaxValueNameLength)
        return EINVAL;
    ValueLookup lookup;
    if (const int error = registry::FindValue(m_folder, valueName, lookup))
        return error;
    if (!lookup.found)
        return ENOENT;
    std::string_view storedName, stored;
    registry::DecodeValue(lookup.bytes, type, storedName, stored);
    data.assign(stored);
    return 0;
}

int CRegKey::QueryValue(const wchar_t* name, DWORD* type, BYTE* data, DWORD* size) const
{
    DWORD storedType = REG_NONE;
    std::string stored;
    if (const int error = ReadValue(name, storedType, stored))
        return error;
    if (type)
        *type = storedType;
    if (!size)
        return data ? EINVAL : 0;
    const DWORD capacity = *size;
    *size = static_cast<DWORD>(stored.size());
    if (!data)
        return 0;
    if (stored.size() > capacity)
        return ERANGE;
    std::memcpy(data, stored.data(), stored.size());
    return 0;
}

int CRegKey::SetValue(const wchar_t* name, DWORD type, const BYTE* data, DWORD size) const
{
    if (!IsOpen())
        return EBADF;
    if ((m_access & KEY_WRITE & ~KEY_READ) == 0)
        return EACCES;
    const std::wstring_view valueName(name ? name : L"");
    if (valueName.size() > kMaxValueNameLength || size > kMaxValueSize || (size && !data))
        return EINVAL;
    const std::string bytes = registry::EncodeValue(WideToUtf8(valueName), type, data, size);
    // A free slot taken by another writer meanwhile sends this one on to
    // the next.
    for (int attempt = 0; attempt < kValueSlots; ++attempt) {
        ValueLookup lookup;
        const int error = registry::FindValue(m_folder, valueName, lookup);
        if (error && error != EBADMSG)
            return error;
        if (lookup.slot < 0)
            return ENOSPC; // every slot holds another name's value
        // A damaged file in the way is written over: that mends it.
        const Placing placing = lookup.found || error ? Placing::Replace : Placing::NewName;
        const int written = registry::WriteAtomically(m_folder, lookup.Path(), bytes, placing);
        if (written != EEXIST)
            return written;
    }
    return EBUSY;
}

int CRegKey::DeleteValue(const wchar_t* name) const
{
    if (!IsOpen())
        return EBADF;
    if ((m_access & KEY_WRITE & ~KEY_READ) == 0)
        return EACCES;
    const std::wstring_view valueName(name ? name : L"");
    ValueLookup lookup;
    const int error = registry::FindValue(m_folder, valueName, lookup);
    if (error && error != EBADMSG)
        return error;
    if (!error && !lookup.found)
        return ENOENT;
    if (unlink(lookup.Path().c_str()) != 0)
        return errno;
    // The last slot in use moves into the gap, so that searches still end
    // at the first free slot.
    int last = lookup.slot;
    while (last + 1 < kValueSlots && PathExists(ValueSlot(lookup.firstSlot, last + 1)))
        ++last;
    if (last > lookup.slot)
        ::rename(ValueSlot(lookup.firstSlot, last).c_str(), lookup.Path().c_str());
    return 0;
}

int CRegKey::EnumKey(DWORD index, CStringW& name) const
{
    if (!IsOpen())
        return EBADF;
    std::vector<std::string> keys;
    if (const int error = ListSubKeys(m_folder, keys))
        return error;
    if (index >= keys.size())
        return ENOENT;
    name = SubKeyName(m_folder, keys[index]);
    return 0;
}

int CRegKey::EnumKeys(std::vector<CStringW>& names) const
{
    if (!IsOpen())
        return EBADF;
    std::vector<std::string> keys;
    if (const int error = ListSubKeys(m_folder, keys))
        return error;
    names.clear();
    names.reserve(keys.size());
    for (const std::string& key : keys)
        names.push_back(SubKeyName(m_folder, key));
    return 0;
}

int CRegKey::QueryString(const wchar_t* name, CStringW& value, DWORD maxBytes) const
{
    DWORD type = REG_NONE;
    std::string bytes;
    if (const int error = ReadValue(name, type, bytes))
        return error;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return EINVAL;
    if (bytes.size() > maxBytes)
        return ERANGE;
    size_t units = 0;
    while (2 * units + 1 < bytes.size() && (bytes[2 * units] || bytes[2 * units + 1]))
        ++units;
    value = CStringW(Utf16LEToWide(reinterpret_cast<const BYTE*>(bytes.data()), units));
    return 0;
}

int CRegKey::QueryDword(const wchar_t* name, DWORD& value) const
{
    DWORD type = REG_NONE;
    std::string bytes;
    if (const int error = ReadValue(name, type, bytes))
        return error;
    if (type != REG_DWORD || bytes.size() != sizeof value)
        return EINVAL;
    const auto byte = [&](size_t i) { return static_cast<DWORD>(static_cast<unsigned char>(bytes[i])); };
    value = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
    return 0;
}

int CRegKey::SetString(const wchar_t* name, const wchar_t* value) const
{
    std::string bytes;
    AppendWideAsUtf16LE(value ? value : L"", bytes);
    bytes.append(2, '\0');
    return SetValue(name, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
}

int CRegKey::SetDword(const wchar_t* name, DWORD value) const
{
    const BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                           static_cast<BYTE>(value >> 24)};
    return SetValue(name, REG_DWORD, bytes, sizeof bytes);
}

int RegDeleteKey(HKEY root, const wchar_t* subKey)
{
    const char* rootName = RootFolderName(root);
    std::vector<std::wstring_view> parts;
    if (!rootName || !SplitKeyPath(subKey, parts))
        return EINVAL;
    if (parts.empty())
        return EACCES; // a root key cannot be deleted
    // Down to the key's parent one folder at a time, never through a link:
    // a link planted in the store must not lead a delete out of it.
    const std::string rootFolder = RegistryStoreFolder() + "/" + rootName;
    HeldFolder top, parent;
    if (!top.Open(AT_FDCWD, rootFolder))
        return AsMissingKey(errno);
    int parentFd = top.Fd();
    for (size_t level = 0; level + 1 < parts.size(); ++level) {
        HeldFolder child;
        if (!child.Open(parentFd, FileName(kKeyPrefix, parts[level])))
            return AsMissingKey(errno);
        parent.Swap(child);
        parentFd = parent.Fd();
    }
    const std::string key = FileName(kKeyPrefix, parts.back());
    struct stat info {};
    if (fstatat(parentFd, key.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return AsMissingKey(errno);
    // A link where a key should be is a key without sub-keys: it is removed
    // as a link.
    if (S_ISDIR(info.st_mode)) {
        if (const int error = CheckNoSubKeys(parentFd, key))
            return error;
    } else if (!S_ISLNK(info.st_mode)) {
        return ENOENT;
    }
    return DeleteRenamedAway(top.Fd(), rootFolder, parentFd, key, info.st_ino);
}

} // namespace kel::platform
