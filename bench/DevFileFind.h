#pragma once

// CDevFileFind: the Files page's search hook. Every file found becomes a new
// checked row at the top of the list, so the list shows the files in the
// reverse of the order in which the search met them.
#include "FileList.h"

#include <KelFileFind.h>

class CDevFileFind : public CKelFileFind {
public:
    // Extensions match without case, as names do on the page's home platform.
    explicit CDevFileFind(CFileList& list) : m_list(list) { m_bIgnoreCase = true; }

    void vFoundFolder(const wchar_t* path, const wchar_t* name) override;
    void vFoundFile(const wchar_t* path, const wchar_t* name, const wchar_t* title) override;

    // A path split as the platform's path splitter does: drive (always
    // empty here), directory with its final '/', name, and extension from
    // the last '.' of the name on, dot included.
    struct SPathParts {
        CStringW drive, dir, fname, ext;
    };
    static SPathParts SplitPath(const CStringW& path);

private:
    CFileList& m_list;
};
