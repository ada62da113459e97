#include "KelDialog.h"

#include "platform/UiHooks.h"

CStringW CKelDialog::GetPath(HWND const& owner)
{
    (void)owner;
    CStringW path;
    if (!kel::platform::ChooseFolder(L"경로 선택 :", path))
        return CStringW();
    return path;
}
