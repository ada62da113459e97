#pragma once

// User-interface hooks. Libraries never open windows: where they would show a
// message box or a folder chooser they call these, and a windowed program
// installs hooks that show its own dialogs. Without a hook, a message goes to
// standard error and the chooser answers "cancelled".
//
// Installing a hook is meant for program start-up; calling the hooks is
// thread safe.
#include "KelExport.h"
#include "StringW.h"
#include "Types.h"

#include <functional>

namespace kel::platform {

// Message box types and answers, as the framework numbers them.
constexpr UINT kMbOk = 0x0;
constexpr UINT kMbIconError = 0x10;
constexpr UINT kMbIconInformation = 0x40;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

using MessageBoxHook = std::function<int(const CStringW& text, const CStringW& caption, UINT type)>;
// Returns true and sets `path` when the user chose a folder.
using FolderChooserHook = std::function<bool(const CStringW& title, CStringW& path)>;

KELCORE_API void SetMessageBoxHook(MessageBoxHook hook);
KELCORE_API void SetFolderChooserHook(FolderChooserHook hook);

// For a windowed program before its toolkit starts: true when there is a
// desktop to show windows on (DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM is
// set). Otherwise writes one line to standard error saying that `program`
// needs one and how to run it without (xvfb-run), and gives false.
KELCORE_API bool DesktopAvailableFor(const char* program);

KELCORE_API int ShowMessageBox(const wchar_t* text, const wchar_t* caption = nullptr, UINT type = kMbOk);
KELCORE_API bool ChooseFolder(const wchar_t* title, CStringW& path);

} // namespace kel::platform
