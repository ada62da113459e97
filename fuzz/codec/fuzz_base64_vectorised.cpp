// The vectorised Base64 code against the portable code on arbitrary input:
// the input as text (8-bit and wide) gives the same count, bytes or
// failure both ways, and as bytes it encodes to the same text both ways.
#include "FuzzText.h"

#include <KelBase64.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The count and bytes of decoding `text`, or the failure's message.
template <typename Ch>
std::wstring Outcome(const Ch* text, size_t length, bool vectorised)
{
    CKelBase64::UseVectorised(vectorised);
    try {
        const size_t count = CKelBase64::DecodeCount(text, length);
        std::vector<BYTE> data(count + 1, 0xA5);
        if (CKelBase64::Decode(data.data(), text, length) != count || data[count] != 0xA5)
            std::abort();
        return std::to_wstring(count) + L":" + std::wstring(data.begin(), data.end() - 1);
    } catch (CKelException* e) {
        std::wstring message = e->GetMessage().str();
        e->Delete();
        return message;
    }
}

template <typename Ch>
void CompareDecoding(const Ch* text, size_t length)
{
    if (Outcome(text, length, true) != Outcome(text, length, false))
        std::abort();
}

template <typename Ch>
std::basic_string<Ch> Encoded(const std::uint8_t* bytes, size_t size, bool vectorised)
{
    CKelBase64::UseVectorised(vectorised);
    std::basic_string<Ch> text(CKelBase64::EncodeCount(bytes, size) + 1, Ch('?'));
    CKelBase64::Encode(text.data(), bytes, size);
    return text;
}

template <typename Ch>
void CompareEncoding(const std::uint8_t* bytes, size_t size)
{
    if (Encoded<Ch>(bytes, size, true) != Encoded<Ch>(bytes, size, false))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, size_t size)
{
    CompareDecoding(reinterpret_cast<const char*>(bytes), size);
    const std::wstring wide = WideFromBytes(bytes, size);
    CompareDecoding(wide.c_str(), wide.size());
    CompareEncoding<char>(bytes, size);
    CompareEncoding<char16_t>(bytes, size);
    CompareEncoding<wchar_t>(bytes, size);
    CKelBase64::UseVectorised(true);
    return 0;
}
