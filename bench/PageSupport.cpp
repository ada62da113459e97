#include "PageSupport.h"

#include "FileBytes.h"

#include <platform/UiHooks.h>

namespace kel::bench {

void ShowAndDelete(CKelException* e)
{
    kel::platform::ShowMessageBox(e->GetMessage(), L"Kelbench", kel::platform::kMbOk | kel::platform::kMbIconError);
    e->Delete();
}

bool ConfirmReplace(const CStringW& fileName)
{
    if (!FileExists(fileName))
        return true;
    CStringW question;
    question.Format(L"%ls 파일이 이미 있습니다.\n바꾸시겠습니까?", fileName.GetString());
    return kel::platform::ShowMessageBox(question, L"Kelbench", kMbOkCancel | kMbIconQuestion) == kel::platform::kIdOk;
}

CStringW SavedStatus(const CStringW& fileName)
{
    CStringW status;
    status.Format(L"저장했습니다: %ls", fileName.GetString());
    return status;
}

} // namespace kel::bench
