#pragma once

// CKelDialog: the folder chooser, shown through the user-interface hook of
// the program (libraries open no windows). Static; call it on the thread
// that runs the program's windows.
#include "platform/KelExport.h"
#include "platform/StringW.h"
#include "platform/WindowTypes.h"

class KELCORE_API CKelDialog {
public:
    // Asks for a folder under the title "경로 선택 :"; the chosen path, or
    // empty when the user cancels or no chooser is installed. `owner` is
    // not used: the chooser has no owner window.
    static CStringW GetPath(HWND const& owner);
};
