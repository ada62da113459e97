// Fuzzes the dotted-address parsers with arbitrary wide text. Beyond not
// crashing: an address the own parser accepts must format and parse back to
// itself, and agree with the socket parser on canonical text.
#include "KelNetShare.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Bytes as wide characters, one byte each, so that digits and dots are
    // easy for the fuzzer to find; a second reading covers wide code points.
    std::wstring text(data, data + size);
    const ULONG parsed = CKelNetShare::getulIPbystrIP(text.c_str());
    CKelNetShare::getdwIPFromstrIP(text.c_str());

    if (parsed != 0) {
        const DWORD hostOrder = __builtin_bswap32(parsed);
        const CString canonical = CKelNetShare::getstrFromdwIP(hostOrder);
        if (CKelNetShare::getulIPbystrIP(canonical) != parsed)
            std::abort();
        if (CKelNetShare::getdwIPFromstrIP(canonical) != hostOrder)
            std::abort();
    }

    std::wstring wide(size / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), data, wide.size() * sizeof(wchar_t));
    CKelNetShare::getulIPbystrIP(wide.c_str());
    CKelNetShare::getdwIPFromstrIP(wide.c_str());
    return 0;
}
