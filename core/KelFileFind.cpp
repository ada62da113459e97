#include "KelFileFind.h"

#include "KelFileOperation.h"
#include "platform/CodePage.h"
#include "platform/FileHandle.h"
#include "platform/Unicode.h"

#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class EntryKind { Folder, FolderLink, File, Other };

// Folders are told apart by the directory's own type field; a link or an
// entry of unknown type costs one stat. A link reports what it points to.
EntryKind KindOf(int folderFd, const dirent& entry)
{
    switch (entry.d_type) {
    case DT_DIR: return EntryKind::Folder;
    case DT_REG: return EntryKind::File;
    case DT_LNK:
    case DT_UNKNOWN: break;
    default: return EntryKind::File; // devices, pipes and sockets are names too
    }
    struct stat info {};
    if (fstatat(folderFd, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return EntryKind::Other;
    if (S_ISDIR(info.st_mode))
        return EntryKind::Folder;
    if (!S_ISLNK(info.st_mode))
        return EntryKind::File;
    if (fstatat(folderFd, entry.d_name, &info, 0) != 0)
        return EntryKind::Other; // a dangling link names nothing
    return S_ISDIR(info.st_mode) ? EntryKind::FolderLink : EntryKind::File;
}

void AppendName(std::wstring& path, const char* name)
{
    if (kel::platform::SystemCodeSetIsUtf8())
        kel::platform::AppendUtf8AsWide(name, path);
    else
        path += kel::platform::MultiByteToWide(name, kel::platform::CodePage::System);
}

// The title is the name up to its last '.'; a name whose only dot leads it
// (".profile") is all title, as a file manager shows it.
size_t TitleLength(std::wstring_view name)
{
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring_view::npos || dot == 0 ? name.size() : dot;
}

class DirectoryStream {
public:
    explicit DirectoryStream(int fd) : m_dir(fd >= 0 ? fdopendir(fd) : nullptr)
    {
        if (!m_dir && fd >= 0)
            close(fd);
    }
    ~DirectoryStream()
    {
        if (m_dir)
            closedir(m_dir);
    }
    DirectoryStream(const DirectoryStream&) = delete;
    DirectoryStream& operator=(const DirectoryStream&) = delete;

    bool IsOpen() const { return m_dir != nullptr; }
    int Descriptor() const { return dirfd(m_dir); }
    const dirent* Next() { return readdir(m_dir); }

private:
    DIR* m_dir;
};

int OpenFolderAt(int parentFd, const char* name)
{
    return openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

void CKelFileFind::FindFoldersFiles(const wchar_t* folder, const wchar_t* extensions, int subFolders, int hidden)
{
    m_strExtensions = extensions;
    CStringW start(folder);
    _FindAllFoldersFilesSubDir(start, subFolders, hidden);
}

CStringW CKelFileFind::_MakeSearchWord(CStringW& folder)
{
    // Every name of the folder; "*" is what "*.*" means to the platform.
    if (!folder.IsEmpty() && folder.GetAt(folder.GetLength() - 1) == L'/')
        return folder + L"*";
    return folder + L"/*";
}

void CKelFileFind::_FindAllFoldersFilesSubDir(CStringW& folder, int subFolders, int hidden)
{
    // No folder names no place: the platform would take the drive's root,
    // which is never what a caller with an empty field means.
    if (folder.IsEmpty())
        return;
    // A hook may start a walk of its own on this object; the walk it
    // interrupts gets its path back afterwards.
    std::wstring interrupted;
    interrupted.swap(m_path);
    CStringW pattern = _MakeSearchWord(folder);
    m_path = pattern.str();
    m_path.pop_back(); // the folder with its trailing '/'
    const int fd = open(kel::platform::NarrowPath(m_path.c_str()).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
        _WalkOpenFolder(fd, subFolders, hidden);
    m_path.swap(interrupted);
}

void CKelFileFind::_WalkOpenFolder(int fd, int subFolders, int hidden)
{
    DirectoryStream folder(fd);
    if (!folder.IsOpen())
        return;
    const size_t base = m_path.size();
    while (const dirent* entry = folder.Next()) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        if (name[0] == '.' && hidden == 0)
            continue;
        const EntryKind kind = KindOf(folder.Descriptor(), *entry);
        if (kind == EntryKind::Other)
            continue;
        m_path.resize(base);
        AppendName(m_path, name);
        const wchar_t* wideName = m_path.c_str() + base;
        if (kind == EntryKind::File) {
            if (_CheckExt(wideName) != 1)
                continue;
            const std::wstring_view nameView(wideName, m_path.size() - base);
            const std::wstring title(nameView.substr(0, TitleLength(nameView)));
            vFoundFile(m_path.c_str(), wideName, title.c_str());
            continue;
        }
        vFoundFolder(m_path.c_str(), wideName);
        if (subFolders != 1 || kind != EntryKind::Folder)
            continue;
        const int childFd = OpenFolderAt(folder.Descriptor(), name);
        if (childFd < 0)
            continue; // reported, but it yields nothing
        m_path += L'/';
        _WalkOpenFolder(childFd, 1, hidden);
    }
    m_path.resize(base);
}

int CKelFileFind::_CheckExt(const wchar_t* name)
{
    const std::wstring_view nameView(name ? name : L"");
    const std::wstring_view list(m_strExtensions.str());
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(L',', start);
        if (comma == std::wstring_view::npos)
            comma = list.size();
        const std::wstring_view token = list.substr(start, comma - start);
        // A token longer than the name is compared with the whole name, which
        // it can never equal.
        if (!token.empty() && token.size() <= nameView.size() &&
            nameView.substr(nameView.size() - token.size()) == token)
            return 1;
        start = comma + 1;
    }
    return 0;
}
