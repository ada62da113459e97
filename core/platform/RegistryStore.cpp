#include "RegistryStore.h"

#include "CaseFold.h"
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
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kel::platform {
namespace {

// On-disk layout inside a key folder: "k.<name>" sub-key folders, "v.<name>"
// value files, ".name" the key's own spelling and ".tmp.*" files being
// written. Names are case folded (CaseFold.h), so that every process finds
// the same file whatever case it asks with. Keys being deleted wait in the
// root key's ".deleted" folder.
constexpr std::string_view kKeyPrefix = "k.";
constexpr std::string_view kValuePrefix = "v.";
constexpr std::string_view kNameFile = ".name";
constexpr std::string_view kTrashFolder = ".deleted";
constexpr std::string_view kValueMagic = "KELREG1\n";
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr size_t kMaxValueSize = 1u << 20;
constexpr size_t kMaxFileNameBytes = 200;

std::uint64_t Fnv1a(std::string_view bytes)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char byte : bytes)
        hash = (hash ^ byte) * 1099511628211ull;
    return hash;
}

// The file name of a key or value name: folded, '/' and '%' escaped, and cut
// with a hash when it would be too long for the file system.
std::string FileName(std::string_view prefix, std::wstring_view name)
{
    std::wstring folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(), FoldCase);
    std::string encoded;
    for (char byte : WideToUtf8(folded)) {
        if (byte == '/')
            encoded += "%2F";
        else if (byte == '%')
            encoded += "%25";
        else
            encoded += byte;
    }
    if (encoded.size() > kMaxFileNameBytes) {
        char hash[24];
        std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(Fnv1a(encoded)));
        encoded = encoded.substr(0, kMaxFileNameBytes / 2) + hash;
    }
    return std::string(prefix) + encoded;
}

std::string UnescapeFileName(std::string_view encoded)
{
    std::string bytes;
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%' && encoded.substr(i, 3) == "%2F") {
            bytes += '/';
            i += 2;
        } else if (encoded[i] == '%' && encoded.substr(i, 3) == "%25") {
            bytes += '%';
            i += 2;
        } else {
            bytes += encoded[i];
        }
    }
    return bytes;
}

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

bool IsFolder(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Writes `bytes` to a fresh file beside `path` and renames it into place.
int WriteAtomically(const std::string& folder, const std::string& path, std::string_view bytes)
{
    std::string temporary = folder + "/.tmp.XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            close(fd);
            unlink(temporary.c_str());
            return error;
        }
        written += static_cast<size_t>(n);
    }
    if (close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return error;
    }
    return 0;
}

// Reads a small file whole. A short read of a regular file is its end, so a
// value costs one read; larger files are read on until a short read.
int ReadWholeFile(const std::string& path, std::string& bytes)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ELOOP ? EBADMSG : errno;
    constexpr size_t kChunk = 4096;
    constexpr size_t kLimit = kMaxValueSize + kMaxValueNameLength * 4 + 64;
    bytes.clear();
    int error = 0;
    for (;;) {
        const size_t used = bytes.size();
        bytes.resize(used + kChunk);
        const ssize_t n = read(fd, bytes.data() + used, kChunk);
        if (n < 0 && errno == EINTR) {
            bytes.resize(used);
            continue;
        }
        if (n < 0) {
            error = errno == EISDIR ? EBADMSG : errno;
            bytes.resize(used);
            break;
        }
        bytes.resize(used + static_cast<size_t>(n));
        if (static_cast<size_t>(n) < kChunk)
            break;
        if (bytes.size() > kLimit) {
            error = EBADMSG;
            break;
        }
    }
    close(fd);
    return error;
}

void PutU32(std::string& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

bool GetU32(std::string_view& in, std::uint32_t& value)
{
    if (in.size() < 4)
        return false;
    value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(in[static_cast<size_t>(i)]);
    in.remove_prefix(4);
    return true;
}

// Value file: magic, type, name (UTF-8) and data, each length-prefixed.
std::string EncodeValue(std::wstring_view name, DWORD type, const BYTE* data, DWORD size)
{
    const std::string utf8Name = WideToUtf8(name);
    std::string out(kValueMagic);
    PutU32(out, type);
    PutU32(out, static_cast<std::uint32_t>(utf8Name.size()));
    out += utf8Name;
    PutU32(out, size);
    if (size)
        out.append(reinterpret_cast<const char*>(data), size);
    return out;
}

bool DecodeValue(std::string_view in, DWORD& type, std::string_view& data)
{
    if (in.substr(0, kValueMagic.size()) != kValueMagic)
        return false;
    in.remove_prefix(kValueMagic.size());
    std::uint32_t nameSize = 0, dataSize = 0;
    if (!GetU32(in, type) || !GetU32(in, nameSize) || in.size() < nameSize)
        return false;
    in.remove_prefix(nameSize);
    if (!GetU32(in, dataSize) || in.size() != dataSize)
        return false;
    data = in;
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

// Removes a key folder taken out of the store, whole: a sub-key made in it
// while it was being taken goes with it, as does a ".del.*" folder that an
// earlier version of the store left in a key when a delete was killed.
void RemoveKeyFolder(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (dir) {
        std::vector<std::string> names;
        while (const dirent* entry = readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        }
        closedir(dir);
        for (const std::string& name : names) {
            const std::string path = folder + "/" + name;
            if (unlink(path.c_str()) != 0 && errno == EISDIR)
                RemoveKeyFolder(path);
        }
    }
    rmdir(folder.c_str());
}

// Deletes that a killed process left half done in the trash folder; also
// those running now in other processes, which then find less to remove.
void ClearLeftovers(const std::string& trash)
{
    DIR* dir = opendir(trash.c_str());
    if (!dir)
        return;
    std::vector<std::string> leftovers;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            leftovers.push_back(trash + "/" + entry->d_name);
    }
    closedir(dir);
    for (const std::string& doomed : leftovers)
        RemoveKeyFolder(doomed);
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
    const bool spelled = ReadWholeFile(folder + "/" + file + "/" + std::string(kNameFile), spelling) == 0
        && !spelling.empty() && FileName(kKeyPrefix, Utf8ToWide(spelling)) == file;
    if (!spelled)
        spelling = UnescapeFileName(std::string_view(file).substr(kKeyPrefix.size()));
    return CStringW(Utf8ToWide(spelling));
}

// 0 when the key folder has no sub-keys; EACCES when it has (a key with
// sub-keys is not deleted), or the error that kept it from being listed.
int CheckNoSubKeys(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
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
            WriteAtomically(path, path + "/" + std::string(kNameFile), WideToUtf8(part));
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
    std::string bytes;
    if (const int error = ReadWholeFile(m_folder + "/" + FileName(kValuePrefix, valueName), bytes))
        return error == ENOTDIR ? ENOENT : error;
    std::string_view stored;
    if (!DecodeValue(bytes, type, stored))
        return EBADMSG;
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
    const std::string path = m_folder + "/" + FileName(kValuePrefix, valueName);
    return WriteAtomically(m_folder, path, EncodeValue(valueName, type, data, size));
}

int CRegKey::DeleteValue(const wchar_t* name) const
{
    if (!IsOpen())
        return EBADF;
    if ((m_access & KEY_WRITE & ~KEY_READ) == 0)
        return EACCES;
    const std::wstring_view valueName(name ? name : L"");
    if (unlink((m_folder + "/" + FileName(kValuePrefix, valueName)).c_str()) != 0)
        return errno;
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
    std::string folder;
    std::vector<std::wstring_view> parts;
    if (!KeyFolder(root, subKey, folder, parts))
        return EINVAL;
    if (parts.empty())
        return EACCES; // a root key cannot be deleted
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0)
        return errno == ENOTDIR ? ENOENT : errno;
    if (!S_ISDIR(info.st_mode))
        return ENOENT;
    if (const int error = CheckNoSubKeys(folder))
        return error;
    // Renamed away first, so that no reader ever sees the key half emptied.
    // The trash is one folder per root key rather than the parent, so that
    // clearing what killed deletes left there costs the same however many
    // keys the parent holds.
    const std::string trash = RegistryStoreFolder() + "/" + RootFolderName(root) + "/" + std::string(kTrashFolder);
    if (const int error = MakeFolder(trash))
        return error;
    // A name no other delete uses: the folder's inode is unique while it
    // exists, the process and the time tell apart a leftover that had it.
    for (int attempt = 0; attempt < 8; ++attempt) {
        char name[80];
        std::snprintf(name, sizeof name, "%llu-%d-%lld", static_cast<unsigned long long>(info.st_ino),
                      static_cast<int>(getpid()),
                      static_cast<long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
        const std::string doomed = trash + "/" + name;
        if (::rename(folder.c_str(), doomed.c_str()) == 0) {
            RemoveKeyFolder(doomed);
            ClearLeftovers(trash);
            return 0;
        }
        if (errno != EEXIST && errno != ENOTEMPTY)
            return errno;
    }
    return EBUSY;
}

} // namespace kel::platform
