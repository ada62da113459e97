// Hexadecimal decoding of arbitrary text: rejected with CKelException, or
// decoded to exactly the counted bytes, whose text reads back the same.
#include <KelHex.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, size_t size)
{
    const std::wstring text(bytes, bytes + size);
    size_t count = 0;
    try {
        count = CKelHex::DecodeCount(text.c_str(), text.size());
    } catch (CKelException* e) {
        e->Delete();
        return 0;
    }
    std::vector<BYTE> data(count + 1, 0xA5);
    if (CKelHex::Decode(data.data(), text.c_str(), text.size()) != count || data[count] != 0xA5)
        std::abort();
    std::wstring again(CKelHex::EncodeCount(data.data(), count) + 1, L'\0');
    CKelHex::Encode(again.data(), data.data(), count);
    std::vector<BYTE> back(count);
    CKelHex::Decode(back.data(), again.c_str(), again.size() - 1);
    if (count > 0 && std::memcmp(back.data(), data.data(), count) != 0)
        std::abort();
    return 0;
}
