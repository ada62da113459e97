#include "KelString.h"

#include "KelException.h"
#include "platform/Bstr.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Unicode.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

using kel::platform::CodePage;

namespace {

void RequireText(const void* text, const wchar_t* message)
{
    if (!text)
        throw new CKelException(message);
}

void RequireSize(size_t size, const wchar_t* message)
{
    if (size == 0)
        throw new CKelException(message);
}

int ToCount(size_t length)
{
    // A count must fit the int of the interface; a larger text cannot be
    // converted through it.
    if (length >= static_cast<size_t>(INT32_MAX))
        throw new CKelException(static_cast<DWORD>(EOVERFLOW));
    return static_cast<int>(length);
}

std::wstring DecodeMbcs(const char* text)
{
    return kel::platform::MultiByteToWide(text, CodePage::System);
}

} // namespace

int CKelString::Unicode2MBCSCount(const wchar_t* text)
{
    RequireText(text, L"No Unicode Value");
    const std::string bytes = kel::platform::WideToMultiByte(text, CodePage::System);
    RequireSize(bytes.size() + 1, L"Can not change Unicode to MBCS");
    return ToCount(bytes.size() + 1);
}

void CKelString::Unicode2MBCS(char* out, const wchar_t* text)
{
    RequireText(text, L"No Unicode Value");
    const std::string bytes = kel::platform::WideToMultiByte(text, CodePage::System);
    std::memcpy(out, bytes.c_str(), bytes.size() + 1);
}

int CKelString::UTF82UnicodeCount(const char* text)
{
    RequireText(text, L"No UTF-8 Value");
    return ToCount(kel::platform::WideLengthOfUtf8(text) + 1);
}

void CKelString::UTF82Unicode(wchar_t* out, const char* text)
{
    RequireText(text, L"No UTF-8 Value");
    const std::wstring wide = kel::platform::Utf8ToWide(text);
    std::wmemcpy(out, wide.c_str(), wide.size() + 1);
}

int CKelString::MBCS2UnicodeCount(const char* text)
{
    RequireText(text, L"No MBCS Value");
    return ToCount(DecodeMbcs(text).size() + 1);
}

void CKelString::MBCS2Unicode(wchar_t* out, const char* text)
{
    RequireText(text, L"No MBCS Value");
    const std::wstring wide = DecodeMbcs(text);
    std::wmemcpy(out, wide.c_str(), wide.size() + 1);
}

int CKelString::Unicode2UTF8Count(const wchar_t* text)
{
    RequireText(text, L"No Unicode Value");
    return ToCount(kel::platform::Utf8LengthOfWide(text) + 1);
}

int CKelString::Unicode2UTF8(char* out, const wchar_t* text)
{
    RequireText(text, L"No Unicode Value");
    const std::string bytes = kel::platform::WideToUtf8(text);
    std::memcpy(out, bytes.c_str(), bytes.size() + 1);
    return ToCount(bytes.size() + 1);
}

CStringW CKelString::BYTE2CString(const BYTE* data, const int& length)
{
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    if (!data || length <= 0)
        return CStringW();
    std::wstring text(static_cast<size_t>(length) * 3, L' ');
    for (int i = 0; i < length; ++i) {
        text[3 * i] = kDigits[data[i] >> 4];
        text[3 * i + 1] = kDigits[data[i] & 0x0F];
    }
    return CStringW(std::move(text));
}

CStringW CKelString::GetRandomName(const int& length)
{
    std::srand(kel::platform::TickCount());
    CStringW name;
    for (int i = 0; i < length; ++i) {
        const auto r = static_cast<std::uint32_t>(std::rand());
        const std::uint32_t product = r * kel::platform::TickCount();
        name.AppendChar(static_cast<wchar_t>(L'a' + product % 26));
    }
    return name;
}

CStringW CKelString::BSTR2Unicode(wchar_t* text)
{
    return text ? CStringW(text) : CStringW();
}

wchar_t* CKelString::Unicode2BSTR(const wchar_t* text)
{
    return SysAllocString(text ? text : L"");
}

void CKelString::BubbleSort(CStringList* list)
{
    if (!list || list->GetCount() < 2)
        return;
    const int count = list->GetCount();
    POSITION end = list->GetTailPosition();
    for (int pass = 1; pass < count; ++pass) {
        bool exchanged = false;
        POSITION at = list->GetHeadPosition();
        while (at != end) {
            POSITION next = at;
            CStringW& current = list->GetNext(next);
            CStringW& following = list->GetAt(next);
            if (kel::platform::CompareUtf16(current.str(), following.str()) > 0) {
                current.str().swap(following.str());
                exchanged = true;
            }
            at = next;
        }
        if (!exchanged)
            return;
        list->GetPrev(end);
    }
}
