#include "Resources.h"

#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <string_view>

#ifndef KEL_PROJECT_VERSION
#define KEL_PROJECT_VERSION "0.0.0"
#endif

namespace kel::platform {
namespace {

std::wstring WideAscii(std::string_view text) { return std::wstring(text.begin(), text.end()); }

// "1.0.0" as a version resource writes it: "1, 0, 0, 0".
std::wstring ResourceVersionText(std::string_view dotted)
{
    std::wstring text;
    int parts = 1;
    for (char c : dotted) {
        if (c == '.') {
            text += L", ";
            ++parts;
        } else {
            text += static_cast<wchar_t>(c);
        }
    }
    for (; parts < 4; ++parts)
        text += L", 0";
    return text;
}

ResourceModule MakeCoreResources()
{
    static const std::wstring fileVersion = ResourceVersionText(KEL_PROJECT_VERSION);
    static const std::wstring productVersion = WideAscii(KEL_PROJECT_VERSION);
    ResourceModule module;
    module.hasVersion = true;
    module.translations = {0x04B00409};
    module.versionStrings = {
        {L"040904B0", L"CompanyName", L"Kel"},
        {L"040904B0", L"FileDescription", L"KelCommon foundation library"},
        {L"040904B0", L"FileVersion", fileVersion.c_str()},
        {L"040904B0", L"InternalName", L"KelCore"},
        {L"040904B0", L"OriginalFilename", L"libKelCore.so"},
        {L"040904B0", L"ProductName", L"KelCommon"},
        {L"040904B0", L"ProductVersion", productVersion.c_str()},
    };
    return module;
}

bool EqualNoCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towupper(static_cast<wint_t>(a[i])) != std::towupper(static_cast<wint_t>(b[i])))
            return false;
    }
    return true;
}

struct LanguageOfLocale {
    const char* prefix;
    WORD language;
};

constexpr LanguageOfLocale kLanguages[] = {
    {"ko", 0x0412}, {"ja", 0x0411}, {"zh_TW", 0x0404}, {"zh", 0x0804}, {"de", 0x0407}, {"fr", 0x040C},
    {"es", 0x0C0A}, {"it", 0x0410}, {"ru", 0x0419}, {"pt_BR", 0x0416}, {"en_GB", 0x0809}, {"en", 0x0409},
};

} // namespace

const ResourceModule& CoreResources()
{
    static const ResourceModule module = MakeCoreResources();
    return module;
}

bool QueryVersionValue(const ResourceModule& module, const std::wstring& subBlock, std::vector<DWORD>* translations,
                       std::wstring* text)
{
    if (!module.hasVersion)
        return false;
    if (EqualNoCase(subBlock, L"\\VarFileInfo\\Translation")) {
        if (module.translations.empty())
            return false;
        if (translations)
            *translations = module.translations;
        return true;
    }
    constexpr std::wstring_view prefix = L"\\StringFileInfo\\";
    if (subBlock.size() <= prefix.size() || !EqualNoCase(std::wstring_view(subBlock).substr(0, prefix.size()), prefix))
        return false;
    const std::wstring_view rest = std::wstring_view(subBlock).substr(prefix.size());
    const size_t slash = rest.find(L'\\');
    if (slash == std::wstring_view::npos)
        return false;
    const std::wstring_view block = rest.substr(0, slash);
    const std::wstring_view key = rest.substr(slash + 1);
    for (const VersionString& entry : module.versionStrings) {
        if (EqualNoCase(entry.block, block) && EqualNoCase(entry.key, key)) {
            if (text)
                *text = entry.value;
            return true;
        }
    }
    return false;
}

const wchar_t* FindStringResource(const ResourceModule& module, UINT id)
{
    for (const StringResource& entry : module.strings) {
        if (entry.id == id)
            return entry.text;
    }
    return nullptr;
}

const DataResource* FindDataResource(const ResourceModule& module, const wchar_t* name)
{
    if (!name)
        return nullptr;
    for (const DataResource& entry : module.data) {
        if (entry.name && EqualNoCase(entry.name, name))
            return &entry;
    }
    return nullptr;
}

WORD UserDefaultLanguage()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (!value || !*value)
            continue;
        for (const LanguageOfLocale& entry : kLanguages) {
            if (std::strncmp(value, entry.prefix, std::strlen(entry.prefix)) == 0)
                return entry.language;
        }
        break; // the first variable that is set decides
    }
    return 0x0409;
}

} // namespace kel::platform
