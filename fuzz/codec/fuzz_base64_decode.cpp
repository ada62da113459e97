// Base64 decoding of arbitrary text, narrow and wide: either it is rejected
// with CKelException, or it decodes to exactly the counted bytes, and those
// bytes encode back to text that decodes to them again.
#include "FuzzText.h"

#include <KelBase64.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

template <typename Ch>
void Check(const Ch* text, size_t length)
{
    size_t count = 0;
    try {
        count = CKelBase64::DecodeCount(text, length);
    } catch (CKelException* e) {
        e->Delete();
        return;
    }
    std::vector<BYTE> data(count + 1, 0xA5);
    if (CKelBase64::Decode(data.data(), text, length) != count || data[count] != 0xA5)
        std::abort();
    std::wstring again(CKelBase64::EncodeCount(data.data(), count) + 1, L'\0');
    CKelBase64::Encode(again.data(), data.data(), count);
    again.pop_back();
    std::vector<BYTE> back(count);
    if (CKelBase64::Decode(back.data(), again.c_str(), again.size()) != count
        || (count > 0 && std::memcmp(back.data(), data.data(), count) != 0))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, size_t size)
{
    Check(reinterpret_cast<const char*>(bytes), size);
    const std::wstring wide = WideFromBytes(bytes, size);
    Check(wide.c_str(), wide.size());
    return 0;
}
