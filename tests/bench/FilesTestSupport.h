#pragma once

// Helpers of the tests of the Files page acting on real files: a page that
// lists a folder's .txt files, its rows by name, and the folder's names.
#include "BenchTestSupport.h"
#include "TestSupport.h"

#include <PageFiles.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

namespace kel::test {

// Every name in `dir`, hidden ones included.
inline std::set<std::string> Names(const TempDir& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.insert(entry.path().filename().string());
    return names;
}

// A page listing every .txt file of `dir`.
inline void SearchTexts(CPageFiles& page, const TempDir& dir)
{
    page.m_strFolder = Wide(dir.path().string());
    page.m_strExtensions = L"txt";
    page.Search();
}

inline int RowOf(const CPageFiles& page, const wchar_t* name)
{
    for (int row = 0; row < page.List().GetItemCount(); ++row)
        if (page.List().GetItemText(row, CFileList::kName) == name)
            return row;
    return -1;
}

// Plans `name` for the row now named `from`; the row stays checked.
inline void Plan(CPageFiles& page, const wchar_t* from, const wchar_t* name)
{
    const int row = RowOf(page, from);
    if (row >= 0)
        page.List().SetItemText(row, CFileList::kNewName, name);
}

// Checks only the rows named in `names`.
inline void CheckOnly(CPageFiles& page, std::initializer_list<const wchar_t*> names)
{
    for (int row = 0; row < page.List().GetItemCount(); ++row) {
        bool listed = false;
        for (const wchar_t* name : names)
            listed = listed || page.List().GetItemText(row, CFileList::kName) == name;
        page.List().SetCheck(row, listed);
    }
}

// Runs a shell command; true when it succeeded.
inline bool RunShell(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

} // namespace kel::test
