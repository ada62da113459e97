#pragma once

// CKelFileFind: walks a folder, optionally its whole sub-tree, and reports
// every folder and every file whose name ends with one of a comma-separated
// list of extensions through two hooks that a derived class implements.
//
// Entries are reported in the order the directory gives them; a folder comes
// before its contents, and its contents before the next entry of its parent.
// An entry whose name starts with '.' is hidden. Symbolic links are never
// followed into: a link to a folder is reported as a folder but not entered,
// so the walk cannot leave the tree or run in a loop; a link that leads
// nowhere is a file. Trees of any depth are walked with a few descriptors.
// A name whose bytes are not text in the system code page keeps each such
// byte as a character U+DC80 to U+DCFF, which every file operation of the
// family turns back into that byte: a reported path always names its entry.
//
// One object walks on one thread at a time; the hooks run on that thread.
#include "platform/KelExport.h"
#include "platform/StringW.h"

#include <string>

namespace kel::platform { class CFolderWalk; }

class KELCORE_API CKelFileFind {
public:
    CKelFileFind() = default;
    virtual ~CKelFileFind() = default;

    // Stores `extensions`, then walks `folder`. `subFolders` 1 enters the
    // sub-folders (any other value only reports them); `hidden` non-zero
    // includes hidden entries. A folder that cannot be read reports nothing.
    void FindFoldersFiles(const wchar_t* folder, const wchar_t* extensions, int subFolders, int hidden);

    // Every folder met: its full path and its name. The strings are valid
    // only during the call.
    virtual void vFoundFolder(const wchar_t* path, const wchar_t* name) = 0;
    // Every file whose name passes the extension test: full path, name with
    // extension, and title (the name without its extension).
    virtual void vFoundFile(const wchar_t* path, const wchar_t* name, const wchar_t* title) = 0;

protected:
    CStringW m_strExtensions;
    // Whether extensions match without case (Unicode's simple folding, as
    // case-insensitive names elsewhere in the library); off by default.
    bool m_bIgnoreCase = false;

private:
    CStringW _MakeSearchWord(CStringW& folder);
    void _FindAllFoldersFilesSubDir(CStringW& folder, int subFolders, int hidden);
    // 1 when `name` ends with one of the listed extensions (with or without
    // case, as m_bIgnoreCase says).
    int _CheckExt(const wchar_t* name);

    // Walks the tree below the walk's open folder, whose path m_path holds
    // with a trailing '/'.
    void _Walk(kel::platform::CFolderWalk& walk, int subFolders, int hidden);
    std::wstring m_path;
};
