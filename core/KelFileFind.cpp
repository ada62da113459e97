#include "KelFileFind.h"

#include "platform/CaseFold.h"
#include "platform/FileName.h"
#include "platform/Folder.h"

#include <string_view>
#include <vector>

using kel::platform::CFolderWalk;
using kel::platform::EntryKind;

namespace {

// The title is the name up to its last '.'; a name whose only dot leads it
// (".profile") is all title, as a file manager shows it.
size_t TitleLength(std::wstring_view name)
{
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring_view::npos || dot == 0 ? name.size() : dot;
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
    CFolderWalk walk;
    if (walk.Open(kel::platform::NarrowPath(m_path.c_str())))
        _Walk(walk, subFolders, hidden);
    m_path.swap(interrupted);
}

void CKelFileFind::_Walk(CFolderWalk& walk, int subFolders, int hidden)
{
    // Where the names of each open folder begin in m_path.
    std::vector<size_t> bases{m_path.size()};
    while (walk.Depth() > 0) {
        const CFolderWalk::Entry* entry = walk.Next();
        if (!entry) {
            walk.Leave();
            bases.pop_back();
            continue;
        }
        const std::string& name = entry->name;
        if (name[0] == '.' && hidden == 0)
            continue;
        const EntryKind kind = walk.KindOf(*entry, true);
        if (kind == EntryKind::Gone)
            continue;
        const size_t base = bases.back();
        m_path.resize(base);
        kel::platform::AppendWidePath(name, m_path);
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
        if (subFolders == 1 && kind == EntryKind::Folder && walk.Enter(name)) {
            m_path += L'/';
            bases.push_back(m_path.size()); // a folder that cannot be read yields nothing
        }
    }
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
        if (!token.empty() && token.size() <= nameView.size()) {
            const std::wstring_view end = nameView.substr(nameView.size() - token.size());
            if (m_bIgnoreCase ? kel::platform::CompareFolded(end, token) == 0 : end == token)
                return 1;
        }
        start = comma + 1;
    }
    return 0;
}
