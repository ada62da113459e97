#include "PageSupport.h"

#include <platform/UiHooks.h>

namespace kelbench {

void ShowAndDelete(CKelException* e)
{
    kel::platform::ShowMessageBox(e->GetMessage(), L"Kelbench", kel::platform::kMbOk | kel::platform::kMbIconError);
    e->Delete();
}

} // namespace kelbench
