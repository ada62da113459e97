#include <KelCodec/KelBase64.h>
#include <KelAddr/KelNetShare.h>

#include <cwchar>
#include <vector>

int main()
{
    const BYTE data[] = {'K', 'e', 'l'};
    std::vector<wchar_t> text(CKelBase64::EncodeCount(data, sizeof data) + 1);
    CKelBase64::Encode(text.data(), data, sizeof data);
    // KelAddr comes along with KelReach.
    const bool addressRead = CKelNetShare::getdwIPFromstrIP(L"192.168.0.1") == 0xC0A80001u;
    return std::wcscmp(text.data(), L"S2Vs") == 0 && addressRead ? 0 : 1;
}
