#include "KelFileOperation.h"

#include "platform/FileName.h"
#include "platform/Folder.h"

#include <cerrno>
#include <string>

using kel::platform::CFolderWalk;
using kel::platform::EntryKind;

namespace {

// Removes the entry `name` of the current folder. A folder that refuses it
// for want of write permission is opened up first, as a read-only file is
// made writable: it is being emptied anyway.
bool RemoveEntry(const CFolderWalk& walk, const std::string& name, bool folder)
{
    if (walk.Remove(name, folder) || errno == ENOENT) // gone already: the goal is met
        return true;
    if (errno != EACCES && errno != EPERM)
        return false;
    return walk.OpenUpCurrent() && walk.Remove(name, folder);
}

// Enters the sub-folder `name`; one without owner access is opened up first.
bool EnterForDeletion(CFolderWalk& walk, const std::string& name)
{
    if (walk.Enter(name))
        return true;
    return errno == EACCES && walk.OpenUp(name) && walk.Enter(name);
}

// Empties the folder `path`, deepest entries first. Never follows a link:
// folders are entered without following one, and links are removed as files.
bool EmptyTree(const std::string& path)
{
    // The path is resolved: a link found in its place now was put there
    // since, and is not followed.
    CFolderWalk walk;
    if (!walk.Open(path, false)
        && !(errno == EACCES && kel::platform::OpenUpFolder(path) && walk.Open(path, false)))
        return false;
    while (walk.Depth() > 0) {
        const CFolderWalk::Entry* entry = walk.Next();
        if (!entry) {
            if (walk.Depth() == 1)
                return true;
            const std::string emptied = walk.Name();
            if (!walk.Leave() || !RemoveEntry(walk, emptied, true))
                return false;
            continue;
        }
        const bool done = walk.KindOf(*entry, false) == EntryKind::Folder
            ? EnterForDeletion(walk, entry->name)
            : RemoveEntry(walk, entry->name, false);
        if (!done)
            return false;
    }
    return false; // the walk lost its way back up
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

} // namespace

int CKelFileOperation::DeleteDirectory(const wchar_t* folder)
{
    // Trees of any depth are handled: the walk goes folder by folder with a
    // few descriptors and no path buffer beyond the one the system allows.
    if (!folder || !*folder)
        return 0;
    std::string path = kel::platform::NarrowPath(folder);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    // A link given as the folder is removed as a link; its target stays.
    switch (kel::platform::KindOfPath(path)) {
    case kel::platform::PathKind::Link: return kel::platform::RemoveFile(path) ? 1 : 0;
    case kel::platform::PathKind::Folder: break;
    default: return 0;
    }
    // The folder as the system finds it, so that "/tmp/.." is the folder it
    // names and no spelling of the root gets past the guard.
    std::string resolved;
    if (!kel::platform::ResolvePath(path, resolved) || kel::platform::IsSystemRoot(resolved))
        return 0; // the root of the system is never deleted whole
    if (!EmptyTree(resolved))
        return 0;
    return kel::platform::RemoveEmptyFolder(resolved) ? 1 : 0;
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
    if (kel::platform::RenameNoReplace(source, target) || errno != EEXIST)
        return;
    for (int number = 2; number < 10000; ++number) {
        if (kel::platform::RenameNoReplace(source, NumberedName(target, number)) || errno != EEXIST)
            return;
    }
}
