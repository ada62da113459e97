#include "RegistryFiles.h"

#include "CaseFold.h"
#include "Folder.h"
#include "Unicode.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kel::platform::registry {
namespace {

constexpr std::string_view kValueMagic = "KELREG1\n";
// mkostemp's pattern: the prefix and six characters it fills in.
constexpr std::string_view kTemporaryPrefix = ".tmp.";
constexpr size_t kTemporaryNameLength = kTemporaryPrefix.size() + 6;
constexpr size_t kMaxFileNameBytes = 200;

std::uint64_t Fnv1a(std::string_view bytes)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char byte : bytes)
        hash = (hash ^ byte) * 1099511628211ull;
    return hash;
}

// A name as every process spells it: case folded, in UTF-8.
std::string FoldedName(std::wstring_view name)
{
    std::wstring folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(), FoldCase);
    return WideToUtf8(folded);
}

// The file name of a folded name: '/' and '%' escaped, and cut with a hash
// when it would be too long for the file system.
std::string FileNameOfFolded(std::string_view prefix, std::string_view folded)
{
    std::string encoded;
    for (char byte : folded) {
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

bool IsTemporaryName(std::string_view name)
{
    return name.size() == kTemporaryNameLength && name.substr(0, kTemporaryPrefix.size()) == kTemporaryPrefix;
}

// Removes the temporary file `name` of the folder `folderFd` if no writer
// holds its lock: its writer was killed before the rename.
void RemoveIfAbandoned(int folderFd, const char* name)
{
    const int fd = openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat held {}, named {};
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &held) == 0 && S_ISREG(held.st_mode)
        && fstatat(folderFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == held.st_dev
        && named.st_ino == held.st_ino)
        unlinkat(folderFd, name, 0);
    close(fd);
}

void ClearAbandonedTemporaries(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        if (IsTemporaryName(entry->d_name))
            names.push_back(entry->d_name);
    }
    for (const std::string& name : names)
        RemoveIfAbandoned(dirfd(dir), name.c_str());
    closedir(dir);
}

// A new temporary file in a folder, locked for as long as it is open, so
// that a clean-up by another writer leaves it alone. Removed again unless
// it was renamed into place.
class Temporary {
public:
    Temporary() = default;
    ~Temporary()
    {
        if (m_fd >= 0) {
            if (!m_placed)
                unlink(m_path.c_str());
            close(m_fd);
        }
    }
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;

    int Create(const std::string& folder)
    {
        for (int attempt = 0; attempt < 4; ++attempt) {
            m_path = folder + "/" + std::string(kTemporaryPrefix) + "XXXXXX";
            m_fd = mkostemp(m_path.data(), O_CLOEXEC);
            if (m_fd < 0)
                return errno;
            int locked;
            while ((locked = flock(m_fd, LOCK_EX)) != 0 && errno == EINTR) {
            }
            // Without locks on this file system no clean-up can take it.
            struct stat info {};
            if (locked != 0 || (fstat(m_fd, &info) == 0 && info.st_nlink > 0))
                return 0;
            // A clean-up removed it before the lock was ours.
            close(m_fd);
            m_fd = -1;
        }
        return EAGAIN;
    }

    int Write(std::string_view bytes) const
    {
        while (!bytes.empty()) {
            const ssize_t n = write(m_fd, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? errno : EIO;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return fsync(m_fd) == 0 ? 0 : errno;
    }

    int Place(const std::string& path, Placing placing)
    {
        const bool moved = placing == Placing::Replace ? ::rename(m_path.c_str(), path.c_str()) == 0
                                                       : RenameNoReplace(m_path, path);
        m_placed = moved;
        return moved ? 0 : errno;
    }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_placed = false;
};

} // namespace

std::string FileName(std::string_view prefix, std::wstring_view name)
{
    return FileNameOfFolded(prefix, FoldedName(name));
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

std::string ValueSlot(const std::string& firstSlot, int slot)
{
    return slot == 0 ? firstSlot : firstSlot + "%" + std::to_string(slot);
}

int FindValue(const std::string& folder, std::wstring_view name, ValueLookup& lookup)
{
    const std::string folded = FoldedName(name);
    lookup.firstSlot = folder + "/" + FileNameOfFolded(kValuePrefix, folded);
    for (int slot = 0; slot < kValueSlots; ++slot) {
        lookup.slot = slot;
        const int error = ReadSmallFile(ValueSlot(lookup.firstSlot, slot), lookup.bytes);
        if (error == ENOENT || error == ENOTDIR)
            return 0;
        if (error)
            return error;
        DWORD type = 0;
        std::string_view storedName, data;
        if (!DecodeValue(lookup.bytes, type, storedName, data))
            return EBADMSG;
        lookup.found = FoldedName(Utf8ToWide(storedName)) == folded;
        if (lookup.found)
            return 0;
    }
    lookup.slot = -1;
    return 0;
}

std::string EncodeValue(std::string_view utf8Name, DWORD type, const BYTE* data, DWORD size)
{
    std::string out(kValueMagic);
    PutU32(out, type);
    PutU32(out, static_cast<std::uint32_t>(utf8Name.size()));
    out += utf8Name;
    PutU32(out, size);
    if (size)
        out.append(reinterpret_cast<const char*>(data), size);
    return out;
}

bool DecodeValue(std::string_view in, DWORD& type, std::string_view& utf8Name, std::string_view& data)
{
    if (in.substr(0, kValueMagic.size()) != kValueMagic)
        return false;
    in.remove_prefix(kValueMagic.size());
    std::uint32_t nameSize = 0, dataSize = 0;
    if (!GetU32(in, type) || !GetU32(in, nameSize) || in.size() < nameSize)
        return false;
    utf8Name = in.substr(0, nameSize);
    in.remove_prefix(nameSize);
    if (!GetU32(in, dataSize) || in.size() != dataSize)
        return false;
    data = in;
    return true;
}

int ReadSmallFile(const std::string& path, std::string& bytes)
{
    // Never waits: a FIFO planted in the store reads as nothing (or as what
    // is in it now) instead of holding the caller.
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ELOOP ? EBADMSG : errno;
    // A short read of a regular file is its end, so a value costs one read;
    // larger files are read on until a short read.
    constexpr size_t kChunk = 4096;
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
            error = errno == EISDIR || errno == EAGAIN ? EBADMSG : errno;
            bytes.resize(used);
            break;
        }
        bytes.resize(used + static_cast<size_t>(n));
        if (static_cast<size_t>(n) < kChunk)
            break;
        if (bytes.size() > kMaxValueFileSize) {
            error = EBADMSG;
            break;
        }
    }
    close(fd);
    return error;
}

int WriteAtomically(const std::string& folder, const std::string& path, std::string_view bytes, Placing placing)
{
    ClearAbandonedTemporaries(folder);
    Temporary temporary;
    if (const int error = temporary.Create(folder))
        return error;
    if (const int error = temporary.Write(bytes))
        return error;
    if (const int error = temporary.Place(path, placing))
        return error;
    return SyncFolder(folder);
}

int SyncFolder(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = fsync(fd) == 0 ? 0 : errno;
    close(fd);
    // File systems that cannot flush a folder keep their entries as they can.
    return error == EINVAL || error == EROFS ? 0 : error;
}

void RemoveTree(const std::string& path)
{
    CFolderWalk walk;
    if (!walk.Open(path, false)) {
        if (errno == ELOOP || errno == ENOTDIR)
            unlink(path.c_str()); // a link or a file: only the name goes
        return;
    }
    while (walk.Depth() > 0) {
        const CFolderWalk::Entry* entry = walk.Next();
        if (!entry) {
            const std::string name = walk.Name();
            const bool top = walk.Depth() == 1;
            if (!walk.Leave())
                return; // the tree was moved away meanwhile
            if (!top)
                walk.Remove(name, true);
        } else if (walk.KindOf(*entry, false) != EntryKind::Folder || !walk.Enter(entry->name)) {
            walk.Remove(entry->name, false);
        }
    }
    rmdir(path.c_str());
}

} // namespace kel::platform::registry
