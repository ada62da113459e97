#include "UiHooks.h"

#include "CodePage.h"

#include <cstdio>
#include <mutex>

namespace kel::platform {
namespace {

struct Hooks {
    std::mutex mutex;
    MessageBoxHook messageBox;
    FolderChooserHook folderChooser;
};

Hooks& TheHooks()
{
    static Hooks hooks;
    return hooks;
}

} // namespace

void SetMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard lock(TheHooks().mutex);
    TheHooks().messageBox = std::move(hook);
}

void SetFolderChooserHook(FolderChooserHook hook)
{
    std::lock_guard lock(TheHooks().mutex);
    TheHooks().folderChooser = std::move(hook);
}

int ShowMessageBox(const wchar_t* text, const wchar_t* caption, UINT type)
{
    MessageBoxHook hook;
    {
        std::lock_guard lock(TheHooks().mutex);
        hook = TheHooks().messageBox;
    }
    const CStringW body(text), title(caption);
    if (hook)
        return hook(body, title, type);
    std::string line;
    if (!title.IsEmpty())
        line = WideToMultiByte(title.str(), CodePage::System) + ": ";
    line += WideToMultiByte(body.str(), CodePage::System) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    return kIdOk;
}

bool ChooseFolder(const wchar_t* title, CStringW& path)
{
    FolderChooserHook hook;
    {
        std::lock_guard lock(TheHooks().mutex);
        hook = TheHooks().folderChooser;
    }
    return hook ? hook(CStringW(title), path) : false;
}

} // namespace kel::platform
