#include "ClientErrors.h"

#include "KelException.h"
#include "KelUtil.h"
#include "platform/Unicode.h"

namespace kel::detail {

void ThrowInternetError(const kel::platform::InternetError& error)
{
    CStringW text = CKelUtil::MessageError(error.number);
    if (!error.response.empty()) {
        text.TrimRight(L"\r\n");
        text += L" : ";
        text += CStringW(kel::platform::Utf8ToWide(error.response));
    }
    throw new CKelException(L"%ls", text.GetString());
}

void ThrowLocalError(const wchar_t* path, int error)
{
    CStringW reason = CKelUtil::MessageError(static_cast<DWORD>(error));
    reason.TrimRight(L"\r\n");
    throw new CKelException(L"%ls : %ls", path ? path : L"", reason.GetString());
}

} // namespace kel::detail
