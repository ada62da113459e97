#include "UiHooks.h"

#include "CodePage.h"

#include <cstdio>
#include <cstdlib>
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

bool DesktopAvailableFor(const char* program)
{
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return true;
    }
    std::fprintf(stderr,
                 "%s needs a desktop, and none is set (DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM); "
                 "without one, run it as: xvfb-run %s [ARGUMENTS...]\n",
                 program, program);
    return false;
}

} // namespace kel::platform
