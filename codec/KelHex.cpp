#include "KelHex.h"

#include <cstdint>

namespace {

constexpr wchar_t kDigits[] = L"0123456789abcdef";

inline bool IsBlank(wchar_t ch)
{
    return ch == L' ' || ch == L'\t' || ch == L'\r' || ch == L'\n';
}

inline int DigitValue(wchar_t ch)
{
    if (ch >= L'0' && ch <= L'9')
        return ch - L'0';
    if (ch >= L'a' && ch <= L'f')
        return ch - L'a' + 10;
    if (ch >= L'A' && ch <= L'F')
        return ch - L'A' + 10;
    return -1;
}

// Validates `text` and, when `data` is given, writes its bytes; returns their
// number. One routine sizes and decodes, so the two always agree.
size_t DecodeText(BYTE* data, const wchar_t* text, size_t length)
{
    size_t digits = 0;
    int high = 0;
    for (size_t i = 0; i < length; ++i) {
        const wchar_t ch = text[i];
        if (IsBlank(ch))
            continue;
        const int value = DigitValue(ch);
        if (value < 0)
            throw new CKelException(L"16진수 텍스트가 아닙니다: 위치 %zu 의 문자 U+%04X 는 16진수가 아닙니다.",
                i, static_cast<std::uint32_t>(ch));
        if (digits % 2 == 0)
            high = value;
        else if (data)
            data[digits / 2] = static_cast<BYTE>((high << 4) | value);
        ++digits;
    }
    if (digits % 2 != 0)
        throw new CKelException(L"16진수 텍스트가 아닙니다: 숫자의 개수(%zu)가 홀수입니다.", digits);
    return digits / 2;
}

} // namespace

size_t CKelHex::EncodeCount(const BYTE*, const size_t& count)
{
    return count == 0 ? 0 : count * 3 - 1;
}

size_t CKelHex::Encode(wchar_t* text, const BYTE* data, const size_t& count)
{
    wchar_t* out = text;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            *out++ = L' ';
        out[0] = kDigits[data[i] >> 4];
        out[1] = kDigits[data[i] & 0x0F];
        out += 2;
    }
    *out = 0;
    return static_cast<size_t>(out - text);
}

size_t CKelHex::DecodeCount(const wchar_t* text, const size_t& length)
{
    return DecodeText(nullptr, text, length);
}

size_t CKelHex::Decode(BYTE* data, const wchar_t* text, const size_t& length)
{
    return DecodeText(data, text, length);
}
