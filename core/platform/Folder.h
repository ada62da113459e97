#pragma once

// Folders and the entries in them: a depth-first walk of a folder tree that
// holds a bounded number of descriptors at any depth, and the removals and
// renames that the file operations are built on. Paths and names are file
// system bytes (FileName.h); failures return false and leave errno set.
#include "KelExport.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kel::platform {

enum class EntryKind {
    Folder,     // a folder that can be entered
    FolderLink, // a symbolic link to a folder: a folder that is not entered
    File,       // anything else, dangling links included
    Gone,       // removed since the folder was read
};

// CFolderWalk: the current folder of a walk down a tree, and the folders
// above it back to the top. Each folder's names are read whole when it is
// entered, so removing entries cannot disturb the listing. Only the
// `kHeldFolders` deepest folders keep a descriptor open; a folder further up
// is opened again through ".." of its child when the walk returns to it, and
// must be the same folder (device and inode) as before.
class KELCORE_API CFolderWalk {
public:
    static constexpr size_t kHeldFolders = 16;

    struct Entry {
        std::string name;
        unsigned char type; // the folder's own type field (DT_*)
    };

    CFolderWalk() = default;
    ~CFolderWalk();
    CFolderWalk(const CFolderWalk&) = delete;
    CFolderWalk& operator=(const CFolderWalk&) = delete;

    // Makes `path` the top and current folder; a link to a folder is
    // followed only with `followLink`. False when it cannot be opened and
    // read.
    bool Open(const std::string& path, bool followLink = true);
    // Folders from the top to the current one; 0 once the walk is over.
    size_t Depth() const { return m_levels.size(); }
    // Name of the current folder in its parent (the path for the top).
    const std::string& Name() const { return m_levels.back().name; }

    // The next entry of the current folder ("." and ".." are left out), or
    // nullptr after the last. Valid until the walk leaves this folder.
    const Entry* Next();
    // What `entry` of the current folder is. Links are told apart (a stat of
    // the target) only with `followLinks`; otherwise they are files.
    EntryKind KindOf(const Entry& entry, bool followLinks) const;

    // Makes the folder `name` of the current folder the current one (a link
    // is never followed). False, with the walk unchanged, when it cannot be
    // opened and read.
    bool Enter(const std::string& name);
    // Makes the parent folder current again; from the top, ends the walk.
    // False when the parent cannot be reached again as the same folder (the
    // tree was moved meanwhile): the walk is then over.
    bool Leave();

    // Removes the entry `name` of the current folder: a file or link, or with
    // `folder` an empty folder.
    bool Remove(const std::string& name, bool folder) const;
    // Gives the owner read, write and search access to the current folder,
    // or to the folder `name` in it (nothing happens to other kinds).
    bool OpenUpCurrent() const;
    bool OpenUp(const std::string& name) const;

private:
    struct Level {
        std::string name;
        std::vector<Entry> entries;
        size_t next = 0;
        int fd = -1;                 // -1 while released
        unsigned long long device = 0, inode = 0; // recorded when released
    };

    bool _Push(int fd, const std::string& name);
    bool _ReadEntries(int fd, std::vector<Entry>& entries);
    void _ReleaseFarthest();
    void _Close();

    std::vector<Level> m_levels;
    std::vector<char> m_buffer; // directory records, reused for every folder
};

// What `path` itself is, without following a final link.
enum class PathKind { Missing, Folder, Link, Other };
KELCORE_API PathKind KindOfPath(const std::string& path);
// True when `path` is a folder, or a link to one.
KELCORE_API bool IsFolder(const std::string& path);
// Where the symbolic link `path` points; false when it is no link or
// cannot be read.
KELCORE_API bool ReadLink(const std::string& path, std::string& target);
// The id of the file system that holds `path`; false, errno set, when it
// cannot be asked.
KELCORE_API bool FileSystemId(const std::string& path, unsigned long long& id);
// The folder that `path` resolves to is the root of the system ("/"), under
// whatever name: "/.", "/tmp/..", a link to it, or another mount of it.
KELCORE_API bool IsSystemRoot(const std::string& path);
// The absolute path without ".", "..", links or repeated '/'; false (errno)
// when some part of it does not exist.
KELCORE_API bool ResolvePath(const std::string& path, std::string& resolved);
KELCORE_API bool RemoveFile(const std::string& path);
// Moves `from` over `to`, replacing it in one step (same file system).
KELCORE_API bool ReplaceFile(const std::string& from, const std::string& to);
// True when something (a link included) has that name.
KELCORE_API bool PathExists(const std::string& path);
// Which file has that name (a link itself, not its target): its device and
// inode. False (errno) when nothing has it.
KELCORE_API bool PathIdentity(const std::string& path, unsigned long long& device, unsigned long long& inode);
KELCORE_API bool RemoveEmptyFolder(const std::string& path);
// Gives the owner read, write and search access to the folder `path`.
KELCORE_API bool OpenUpFolder(const std::string& path);
// Renames without replacing: false with errno EEXIST when `to` is taken.
KELCORE_API bool RenameNoReplace(const std::string& from, const std::string& to);
// Creates every missing level of a '/'-separated folder path with `mode`
// (less what the umask takes); existing levels and failures are ignored.
KELCORE_API void CreateFolderLevels(const std::string& path, unsigned mode);

} // namespace kel::platform
