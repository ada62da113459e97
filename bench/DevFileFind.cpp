#include "DevFileFind.h"

void CDevFileFind::vFoundFolder(const wchar_t*, const wchar_t*)
{
}

CDevFileFind::SPathParts CDevFileFind::SplitPath(const CStringW& path)
{
    SPathParts parts;
    const int slash = path.ReverseFind(L'/');
    parts.dir = path.Left(slash + 1);
    const CStringW name = path.Mid(slash + 1);
    const int dot = name.ReverseFind(L'.');
    parts.fname = dot < 0 ? name : name.Left(dot);
    parts.ext = dot < 0 ? CStringW() : name.Mid(dot);
    return parts;
}

void CDevFileFind::vFoundFile(const wchar_t* path, const wchar_t*, const wchar_t*)
{
    // Components are kept whole, however long: nothing is cut or overrun.
    const SPathParts parts = SplitPath(path);
    CStringW extension = parts.ext;
    extension.Trim(L'.');
    const int row = m_list.InsertItem(0);
    m_list.SetItemText(row, CFileList::kName, parts.fname);
    m_list.SetItemText(row, CFileList::kExtension, extension);
    m_list.SetItemText(row, CFileList::kPath, parts.drive + parts.dir);
    m_list.SetCheck(row, true);
}
