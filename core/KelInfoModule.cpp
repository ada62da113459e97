#include "KelInfoModule.h"

#include "platform/CodePage.h"
#include "platform/Folder.h"
#include "platform/Memory.h"
#include "platform/Resources.h"
#include "platform/WinApp.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace kel::platform;

namespace {

constexpr int kMaxSubBlockLength = 255;

const ResourceModule& ModuleOrApplication(HINSTANCE module)
{
    if (module)
        return *FromInstance(module);
    if (const CWinApp* app = AfxGetApp(); app && app->m_hInstance)
        return *FromInstance(app->m_hInstance);
    return CoreResources();
}

// "1, 0, 0, 3" -> "1.0.0.3".
CStringW CleanVersionText(CStringW text)
{
    text.TrimLeft();
    text.Replace(L",", L".");
    text.Remove(L' ');
    text.TrimRight();
    return text;
}

// The file name of a process's executable: its /proc link, or the first word
// of its command line when the link may not be read (another user's
// process); "" for kernel threads, which have neither.
std::string ExecutableName(const std::string& pidFolder)
{
    std::string path;
    if (ReadLink(pidFolder + "/exe", path)) {
        constexpr std::string_view deleted = " (deleted)";
        if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
            path.resize(path.size() - deleted.size());
    } else {
        std::ifstream commandLine(pidFolder + "/cmdline", std::ios::binary);
        std::getline(commandLine, path, '\0');
    }
    return path.substr(path.rfind('/') + 1);
}

bool IsProcessFolder(const char* name)
{
    if (!*name)
        return false;
    for (; *name; ++name) {
        if (!std::isdigit(static_cast<unsigned char>(*name)))
            return false;
    }
    return true;
}

} // namespace

CStringW CKelInfoModule::GetVersionInfo(HINSTANCE module, const wchar_t* key)
{
    const ResourceModule& resources = ModuleOrApplication(module);
    if (!resources.hasVersion || !key)
        return CStringW();
    std::vector<DWORD> translations;
    CStringW subBlock;
    if (QueryVersionValue(resources, L"\\VarFileInfo\\Translation", &translations, nullptr)
        && translations.size() == 1) {
        const WORD language = static_cast<WORD>(translations[0] & 0xFFFF);
        const WORD codePage = static_cast<WORD>(translations[0] >> 16);
        subBlock.Format(L"\\StringFileInfo\\%02X%02X%02X%02X\\%ls", language >> 8, language & 0xFF, codePage >> 8,
                        codePage & 0xFF, key);
    } else {
        subBlock.Format(L"\\StringFileInfo\\%04X04B0\\%ls", UserDefaultLanguage(), key);
    }
    if (subBlock.GetLength() > kMaxSubBlockLength)
        return CStringW();
    std::wstring text;
    if (!QueryVersionValue(resources, subBlock.str(), nullptr, &text))
        return CStringW();
    return CleanVersionText(CStringW(std::move(text)));
}

int CKelInfoModule::Process32Count(const wchar_t* exeName)
{
    if (!exeName)
        return 0;
    CFolderWalk proc;
    if (!proc.Open("/proc"))
        return 0;
    const std::string wanted = WideToMultiByte(exeName, CodePage::System);
    int count = 0;
    while (const CFolderWalk::Entry* entry = proc.Next()) {
        if (IsProcessFolder(entry->name.c_str()) && ExecutableName("/proc/" + entry->name) == wanted)
            ++count;
    }
    return count;
}

CStringW CKelInfoModule::GetCurrentPath()
{
    std::string folder;
    if (!ReadLink("/proc/self/exe", folder))
        return CStringW();
    folder.resize(folder.rfind('/') + 1);
    return CStringW(MultiByteToWide(folder, CodePage::System));
}

void CKelInfoModule::GetVMemoryUsage(ULONGLONG* workingSet, ULONGLONG* pageFile)
{
    // statm: size resident shared text lib data dt, in pages. "data" is the
    // private writable memory, what the platform counts against its page file.
    FILE* statm = std::fopen("/proc/self/statm", "re");
    if (!statm)
        return;
    unsigned long long size = 0, resident = 0, shared = 0, text = 0, lib = 0, data = 0;
    const int fields = std::fscanf(statm, "%llu %llu %llu %llu %llu %llu", &size, &resident, &shared, &text, &lib, &data);
    std::fclose(statm);
    if (fields != 6)
        return;
    const ULONGLONG pageSize = PageSize();
    if (workingSet)
        *workingSet = resident * pageSize;
    if (pageFile)
        *pageFile = data * pageSize;
}

CStringW CKelInfoModule::GetAppName()
{
    const CWinApp* app = AfxGetApp();
    return app && app->m_pszAppName ? CStringW(app->m_pszAppName) : CStringW();
}
