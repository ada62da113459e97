// The conversions of CKelString on arbitrary bytes: decoding must never
// overrun its Count, and wide text must survive a UTF-8 round trip.
#include "KelString.h"
#include "platform/CodePage.h"
#include "platform/Unicode.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const char* text = bytes.c_str(); // up to the first zero, like a C string

    std::vector<wchar_t> wide(static_cast<size_t>(CKelString::UTF82UnicodeCount(text)));
    CKelString::UTF82Unicode(wide.data(), text);
    Check(wide.back() == 0);

    // Wide text from UTF-8 holds no surrogates, so it round-trips exactly.
    std::vector<char> utf8(static_cast<size_t>(CKelString::Unicode2UTF8Count(wide.data())));
    Check(CKelString::Unicode2UTF8(utf8.data(), wide.data()) == static_cast<int>(utf8.size()));
    std::vector<wchar_t> again(static_cast<size_t>(CKelString::UTF82UnicodeCount(utf8.data())));
    CKelString::UTF82Unicode(again.data(), utf8.data());
    Check(again == wide);

    std::vector<wchar_t> mbcs(static_cast<size_t>(CKelString::MBCS2UnicodeCount(text)));
    CKelString::MBCS2Unicode(mbcs.data(), text);
    std::vector<char> back(static_cast<size_t>(CKelString::Unicode2MBCSCount(mbcs.data())));
    CKelString::Unicode2MBCS(back.data(), mbcs.data());

    const std::wstring korean = kel::platform::MultiByteToWide(bytes, kel::platform::CodePage::Cp949);
    Check(korean.size() <= bytes.size());
    kel::platform::WideToMultiByte(korean, kel::platform::CodePage::Cp949);

    const std::wstring units = kel::platform::Utf16LEToWide(data, size / 2);
    std::string utf16;
    kel::platform::AppendWideAsUtf16LE(units, utf16);
    Check(utf16.size() == size / 2 * 2);
    return 0;
}
