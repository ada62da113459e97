#include "KelFileOperation.h"

#include "platform/FileHandle.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Entry {
    std::string name;
    bool folder;
};

// The names of the open folder `fd` (which the call takes over), read whole
// before anything is deleted so that removals cannot disturb the listing.
// False when the folder cannot be listed to its end.
bool ListFolder(int fd, std::vector<Entry>& entries)
{
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return false;
    }
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            folder = fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
        }
        entries.push_back({name, folder});
    }
    const bool complete = errno == 0;
    closedir(dir);
    return complete;
}

int OpenFolder(int parentFd, const char* name)
{
    return openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// A folder without owner access is "read-only" here: since it is being
// deleted anyway, it is opened up the way a read-only file is made writable.
void MakeFolderWritable(int parentFd, const char* name)
{
    struct stat info {};
    if (fstatat(parentFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode))
        fchmodat(parentFd, name, (info.st_mode & 07777) | S_IRWXU, 0);
}

// Removes the entry `name` of the open folder `folderFd` (`flags` as for
// unlinkat). A folder that refuses it for want of write permission is made
// writable first, as a read-only file would be: it is being emptied anyway.
bool RemoveEntry(int folderFd, const char* name, int flags)
{
    if (unlinkat(folderFd, name, flags) == 0)
        return true;
    if (errno == ENOENT)
        return true; // gone already: the goal is met
    if ((errno != EACCES && errno != EPERM) || folderFd == AT_FDCWD)
        return false;
    struct stat info {};
    return fstat(folderFd, &info) == 0 && fchmod(folderFd, (info.st_mode & 07777) | S_IRWXU) == 0
        && unlinkat(folderFd, name, flags) == 0;
}

// Empties the folder `name` of `parentFd` and removes it. Never follows a
// link: folders are opened with O_NOFOLLOW and links are unlinked as files.
bool DeleteTree(int parentFd, const char* name)
{
    int fd = OpenFolder(parentFd, name);
    if (fd < 0 && errno == EACCES) {
        MakeFolderWritable(parentFd, name);
        fd = OpenFolder(parentFd, name);
    }
    if (fd < 0)
        return false;
    const int own = dup(fd);
    std::vector<Entry> entries;
    const bool listed = ListFolder(fd, entries);
    if (own < 0)
        return false;
    bool ok = listed;
    for (const Entry& entry : entries) {
        if (!ok)
            break;
        ok = entry.folder ? DeleteTree(own, entry.name.c_str()) : RemoveEntry(own, entry.name.c_str(), 0);
    }
    close(own);
    return ok && RemoveEntry(parentFd, name, AT_REMOVEDIR);
}

// "name (n).ext" beside `path`: the number goes before the last extension of
// the last path element (a leading dot is not an extension).
std::string NumberedName(const std::string& path, int number)
{
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart)
        dot = path.size();
    return path.substr(0, dot) + " (" + std::to_string(number) + ")" + path.substr(dot);
}

// Renames without replacing; false with errno EEXIST when `to` is taken.
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

} // namespace

int CKelFileOperation::DeleteDirectory(const wchar_t* folder)
{
    // Paths of any length are handled: the walk goes folder by folder with
    // descriptors, so there is no fixed path buffer to overrun.
    if (!folder || !*folder)
        return 0;
    std::string path = kel::platform::NarrowPath(folder);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path == "/")
        return 0; // the root of the system is never deleted whole
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return 0;
    // A link given as the folder is removed as a link; its target stays.
    if (S_ISLNK(info.st_mode))
        return unlink(path.c_str()) == 0 ? 1 : 0;
    if (!S_ISDIR(info.st_mode))
        return 0;
    return DeleteTree(AT_FDCWD, path.c_str()) ? 1 : 0;
}

int CKelFileOperation::IsDots(const wchar_t* name)
{
    if (!name || name[0] != L'.')
        return 0;
    return (name[1] == 0 || (name[1] == L'.' && name[2] == 0)) ? 1 : 0;
}

void CKelFileSHOperation::rename(const wchar_t* from, const wchar_t* to)
{
    if (!from || !to || !*from || !*to)
        return;
    const std::string source = kel::platform::NarrowPath(from);
    const std::string target = kel::platform::NarrowPath(to);
    if (source == target)
        return; // already has that name
    if (RenameNoReplace(source, target) || errno != EEXIST)
        return;
    for (int number = 2; number < 10000; ++number) {
        if (RenameNoReplace(source, NumberedName(target, number)) || errno != EEXIST)
            return;
    }
}
