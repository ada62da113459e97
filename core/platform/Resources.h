#pragma once

// Resources compiled into a program or library as tables of its own: version
// information, a string table and "DATA" resources, looked up by the same
// keys and ids as on Windows. A module is passed around as an HINSTANCE that
// points to its ResourceModule table.
//
// Tables are constant after start-up; lookups are thread safe.
#include "KelExport.h"
#include "Types.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kel::platform {

// One string of a version block, e.g. {L"040904B0", L"FileVersion", L"1, 0, 0, 3"}.
struct VersionString {
    const wchar_t* block;
    const wchar_t* key;
    const wchar_t* value;
};

struct StringResource {
    UINT id;
    const wchar_t* text;
};

struct DataResource {
    const wchar_t* name;
    const BYTE* bytes;
    size_t size;
};

struct ResourceModule {
    bool hasVersion = false;
    // "\VarFileInfo\Translation": language id in the low 16 bits, code page
    // in the high 16 bits.
    std::vector<DWORD> translations;
    std::vector<VersionString> versionStrings;
    std::vector<StringResource> strings;
    std::vector<DataResource> data;
};

inline HINSTANCE ToInstance(const ResourceModule& module)
{
    return const_cast<ResourceModule*>(&module);
}
inline const ResourceModule* FromInstance(HINSTANCE instance)
{
    return static_cast<const ResourceModule*>(instance);
}

// The foundation library's own table: its version information carries the
// project's version, which every program of the project shares.
KELCORE_API const ResourceModule& CoreResources();

// A version query like the platform's: "\VarFileInfo\Translation" fills
// `translations`; "\StringFileInfo\<block>\<key>" fills `text` (block
// compared without regard to case). False when the module has no such entry.
KELCORE_API bool QueryVersionValue(const ResourceModule& module, const std::wstring& subBlock,
                                   std::vector<DWORD>* translations, std::wstring* text);
KELCORE_API const wchar_t* FindStringResource(const ResourceModule& module, UINT id);
KELCORE_API const DataResource* FindDataResource(const ResourceModule& module, const wchar_t* name);

// The user's default language id, from the locale environment (Korean
// 0x0412, Japanese 0x0411, ...); US English 0x0409 when none says.
KELCORE_API WORD UserDefaultLanguage();

} // namespace kel::platform
