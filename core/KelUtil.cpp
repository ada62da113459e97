#include "KelUtil.h"

#include "platform/ErrorNumbers.h"

namespace {

bool IsMessageQueuingNumber(DWORD n) { return (n & 0x1FFF0000) == 0x000E0000; }
bool IsNetworkMessageNumber(DWORD n) { return n >= 2100 && n <= 2999; }

CStringW NumberOnly(DWORD n)
{
    CStringW text;
    text.Format(L"ERRORNUMBER ( %d )\n", static_cast<int>(n));
    return text;
}

} // namespace

CStringW CKelUtil::MessageError(const DWORD& errorNumber)
{
    const DWORD n = errorNumber;
    if (n == 0)
        return CStringW();
    // The message-queuing and network message modules do not exist here, so
    // their ranges always give the number form.
    if (IsMessageQueuingNumber(n) || IsNetworkMessageNumber(n))
        return NumberOnly(n);
    std::wstring text;
    if (!kel::platform::LookupErrorText(n, text))
        return NumberOnly(n);
    return CStringW(std::move(text));
}
