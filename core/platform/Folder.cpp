#include "Folder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <climits>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace kel::platform {
namespace {

constexpr size_t kDirectoryBufferSize = 32 * 1024;

int OpenFolderAt(int parentFd, const char* name, int extraFlags)
{
    int fd;
    do
        fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | extraFlags);
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool IsDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool OpenUpAt(int folderFd, const char* name)
{
    struct stat info {};
    if (fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    return !S_ISDIR(info.st_mode) || fchmodat(folderFd, name, (info.st_mode & 07777) | S_IRWXU, 0) == 0;
}

} // namespace

CFolderWalk::~CFolderWalk()
{
    _Close();
}

void CFolderWalk::_Close()
{
    for (Level& level : m_levels) {
        if (level.fd >= 0)
            close(level.fd);
    }
    m_levels.clear();
}

bool CFolderWalk::Open(const std::string& path, bool followLink)
{
    _Close();
    const int fd = OpenFolderAt(AT_FDCWD, path.c_str(), followLink ? 0 : O_NOFOLLOW);
    return fd >= 0 && _Push(fd, path);
}

bool CFolderWalk::Enter(const std::string& name)
{
    if (m_levels.empty())
        return false;
    const int fd = OpenFolderAt(m_levels.back().fd, name.c_str(), O_NOFOLLOW);
    return fd >= 0 && _Push(fd, name);
}

// Takes over `fd`: it becomes the current folder, or it is closed.
bool CFolderWalk::_Push(int fd, const std::string& name)
{
    Level level;
    level.name = name;
    level.fd = fd;
    if (!_ReadEntries(fd, level.entries)) {
        const int error = errno;
        close(fd);
        errno = error;
        return false;
    }
    m_levels.push_back(std::move(level));
    if (m_levels.size() > kHeldFolders)
        _ReleaseFarthest();
    return true;
}

bool CFolderWalk::_ReadEntries(int fd, std::vector<Entry>& entries)
{
    m_buffer.resize(kDirectoryBufferSize);
    for (;;) {
        const ssize_t got = getdents64(fd, m_buffer.data(), m_buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        for (ssize_t at = 0; at < got;) {
            const auto* record = reinterpret_cast<const dirent64*>(m_buffer.data() + at);
            if (!IsDotOrDotDot(record->d_name))
                entries.push_back({record->d_name, record->d_type});
            at += record->d_reclen;
        }
    }
}

// Closes the descriptor of the farthest folder from the current one that
// still holds one, remembering which folder it was.
void CFolderWalk::_ReleaseFarthest()
{
    Level& level = m_levels[m_levels.size() - 1 - kHeldFolders];
    if (level.fd < 0)
        return; // released already (the walk came back up, then down again)
    struct stat info {};
    if (fstat(level.fd, &info) == 0) {
        level.device = info.st_dev;
        level.inode = info.st_ino;
    }
    close(level.fd);
    level.fd = -1;
}

bool CFolderWalk::Leave()
{
    if (m_levels.empty())
        return false;
    if (m_levels.size() >= 2 && m_levels[m_levels.size() - 2].fd < 0) {
        Level& parent = m_levels[m_levels.size() - 2];
        const int fd = OpenFolderAt(m_levels.back().fd, "..", 0);
        struct stat info {};
        if (fd < 0 || fstat(fd, &info) != 0 || info.st_dev != parent.device || info.st_ino != parent.inode) {
            if (fd >= 0)
                close(fd);
            _Close();
            return false;
        }
        parent.fd = fd;
    }
    close(m_levels.back().fd);
    m_levels.pop_back();
    return true;
}

const CFolderWalk::Entry* CFolderWalk::Next()
{
    Level& level = m_levels.back();
    return level.next < level.entries.size() ? &level.entries[level.next++] : nullptr;
}

EntryKind CFolderWalk::KindOf(const Entry& entry, bool followLinks) const
{
    switch (entry.type) {
    case DT_DIR: return EntryKind::Folder;
    case DT_LNK: if (!followLinks) return EntryKind::File; break;
    case DT_UNKNOWN: break;
    default: return EntryKind::File; // files, devices, pipes and sockets
    }
    const int fd = m_levels.back().fd;
    struct stat info {};
    if (fstatat(fd, entry.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? EntryKind::Gone : EntryKind::File;
    if (S_ISDIR(info.st_mode))
        return EntryKind::Folder;
    if (!S_ISLNK(info.st_mode) || !followLinks)
        return EntryKind::File;
    // A link that leads nowhere is still an entry: a file.
    return fstatat(fd, entry.name.c_str(), &info, 0) == 0 && S_ISDIR(info.st_mode) ? EntryKind::FolderLink
                                                                                    : EntryKind::File;
}

bool CFolderWalk::Remove(const std::string& name, bool folder) const
{
    return !m_levels.empty() && unlinkat(m_levels.back().fd, name.c_str(), folder ? AT_REMOVEDIR : 0) == 0;
}

bool CFolderWalk::OpenUpCurrent() const
{
    struct stat info {};
    const int fd = m_levels.empty() ? -1 : m_levels.back().fd;
    return fd >= 0 && fstat(fd, &info) == 0 && fchmod(fd, (info.st_mode & 07777) | S_IRWXU) == 0;
}

bool CFolderWalk::OpenUp(const std::string& name) const
{
    return !m_levels.empty() && OpenUpAt(m_levels.back().fd, name.c_str());
}

PathKind KindOfPath(const std::string& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return PathKind::Missing;
    if (S_ISDIR(info.st_mode))
        return PathKind::Folder;
    return S_ISLNK(info.st_mode) ? PathKind::Link : PathKind::Other;
}

bool IsFolder(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ReadLink(const std::string& path, std::string& target)
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer)
        return false;
    target.assign(buffer, static_cast<size_t>(length));
    return true;
}

bool FileSystemId(const std::string& path, unsigned long long& id)
{
    struct statvfs info {};
    if (statvfs(path.c_str(), &info) != 0)
        return false;
    id = info.f_fsid;
    return true;
}

bool IsSystemRoot(const std::string& path)
{
    struct stat folder {}, root {};
    return stat(path.c_str(), &folder) == 0 && stat("/", &root) == 0 && SameFile(folder, root);
}

bool ResolvePath(const std::string& path, std::string& resolved)
{
    const std::unique_ptr<char, decltype(&std::free)> text(realpath(path.c_str(), nullptr), &std::free);
    if (!text)
        return false;
    resolved = text.get();
    return true;
}

bool RemoveFile(const std::string& path)
{
    return unlink(path.c_str()) == 0;
}

bool ReplaceFile(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool PathExists(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

bool PathIdentity(const std::string& path, unsigned long long& device, unsigned long long& inode)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return false;
    device = info.st_dev;
    inode = info.st_ino;
    return true;
}

bool RemoveEmptyFolder(const std::string& path)
{
    return rmdir(path.c_str()) == 0;
}

bool OpenUpFolder(const std::string& path)
{
    return OpenUpAt(AT_FDCWD, path.c_str());
}

bool RenameNoReplace(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace flag: check, then rename.
    struct stat info {};
    if (lstat(to.c_str(), &info) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

void CreateFolderLevels(const std::string& path, unsigned mode)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), mode);
    if (!path.empty())
        mkdir(path.c_str(), mode);
}

} // namespace kel::platform
