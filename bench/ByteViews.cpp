#include "ByteViews.h"

#include <KelHex.h>
#include <KelString.h>
#include <platform/Unicode.h>

#include <cstring>
#include <string>
#include <vector>

namespace kel::bench {

const wchar_t* const kMessageTooLong = L"뿌려야 할 데이터가 300 K Byte가 넘어 표현할수 없습니다.";
const wchar_t* const kMessageTooLongDownload =
    L"뿌려야 할 데이터가 300 K Byte가 넘어 표현할수 없습니다.\n파일로 다운로드 받으세요.";
const wchar_t* const kMessageTooLongHash =
    L"뿌려야 할 데이터가 300 K Byte가 넘어 표현할수 없습니다.\nHasing 버튼을 누르면 해쉬값이 추출됩니다.";

namespace {

// UTF-16LE units up to the first zero unit; an odd last byte is the low byte
// of a last unit.
CStringW UnicodeText(const CByteBuffer& buffer, const wchar_t* message)
{
    const BYTE* data = buffer.Data();
    const size_t count = buffer.Count();
    size_t units = 0;
    const size_t whole = count / 2;
    while (units < whole && (data[2 * units] | data[2 * units + 1]) != 0)
        ++units;
    const bool oddTail = units == whole && count % 2 == 1 && data[count - 1] != 0;
    if (IsOverDisplayLimit(units + (oddTail ? 1 : 0)))
        return message;
    std::wstring text = kel::platform::Utf16LEToWide(data, units);
    if (oddTail)
        text += static_cast<wchar_t>(data[count - 1]);
    return CStringW(std::move(text));
}

// The bytes before the first zero byte, from the system code page. Each
// character takes at least one byte and at most four, so the bounds decide
// the limit without converting, except for a small band in between.
CStringW MbcsText(const CByteBuffer& buffer, const wchar_t* message)
{
    const BYTE* data = buffer.Data();
    const void* zero = buffer.Count() ? std::memchr(data, 0, buffer.Count()) : nullptr;
    const size_t bytes = zero ? static_cast<size_t>(static_cast<const BYTE*>(zero) - data) : buffer.Count();
    if (IsOverDisplayLimit((bytes + 3) / 4))
        return message;
    std::string narrow(reinterpret_cast<const char*>(data), bytes);
    std::wstring text(static_cast<size_t>(CKelString::MBCS2UnicodeCount(narrow.c_str())) + 1, L'\0');
    CKelString::MBCS2Unicode(text.data(), narrow.c_str());
    return FitForDisplay(CStringW(text.c_str()), message);
}

CStringW RawDataText(const CByteBuffer& buffer, const wchar_t* message)
{
    const size_t length = CKelHex::EncodeCount(buffer.Data(), buffer.Count());
    if (IsOverDisplayLimit(length))
        return message;
    std::wstring text(length + 1, L'\0');
    CKelHex::Encode(text.data(), buffer.Data(), buffer.Count());
    text.resize(length);
    return CStringW(std::move(text));
}

} // namespace

size_t Utf16Length(const CStringW& text)
{
    size_t units = 0;
    for (wchar_t ch : text.str())
        units += static_cast<std::uint32_t>(ch) > 0xFFFF ? 2 : 1;
    return units;
}

CStringW FitForDisplay(const CStringW& text, const wchar_t* message)
{
    return IsOverDisplayLimit(Utf16Length(text)) ? CStringW(message) : text;
}

CStringW BufferToText(const CByteBuffer& buffer, int view, const wchar_t* message)
{
    switch (view) {
    case kViewUnicode:
        return UnicodeText(buffer, message);
    case kViewMBCS:
        return MbcsText(buffer, message);
    default:
        return RawDataText(buffer, message);
    }
}

CByteBuffer TextToBuffer(const CStringW& text, int view)
{
    if (view == kViewUnicode) {
        std::string bytes;
        kel::platform::AppendWideAsUtf16LE(text.str(), bytes);
        return CByteBuffer::Copy(bytes);
    }
    if (view == kViewMBCS) {
        std::vector<char> bytes(static_cast<size_t>(CKelString::Unicode2MBCSCount(text)) + 1, 0);
        CKelString::Unicode2MBCS(bytes.data(), text);
        return CByteBuffer::Copy(std::string_view(bytes.data()));
    }
    // A pasted dump has line breaks (and often tabs): they separate digit
    // pairs as blanks do.
    CStringW digits(text);
    for (wchar_t separator : { L' ', L'\t', L'\r', L'\n' })
        digits.Remove(separator);
    // An odd number of digits gives no bytes, yet a character that is no
    // digit is still told: the text is checked with a digit added.
    const bool odd = digits.GetLength() % 2 != 0;
    if (odd)
        digits += L'0';
    const size_t length = static_cast<size_t>(digits.GetLength());
    CByteBuffer buffer = CByteBuffer::Allocate(CKelHex::DecodeCount(digits, length));
    buffer.Shrink(CKelHex::Decode(buffer.Data(), digits, length));
    return odd ? CByteBuffer() : std::move(buffer);
}

} // namespace kel::bench
