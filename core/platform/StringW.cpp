#include "StringW.h"

#include "CaseFold.h"
#include "CodePage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <locale.h>
#include <wctype.h>
#include <vector>

namespace {

constexpr const wchar_t* kWhitespace = L" \t\r\n\v\f";

// Formats into a growing buffer. vswprintf reports both "buffer too small"
// and "encoding error" as -1, so growth stops at a bound that no message of
// this system reaches; past it the text is formatted through a wide memory
// stream, which has no size limit.
std::wstring FormatWide(const wchar_t* format, va_list args)
{
    if (!format)
        return {};
    wchar_t stackBuffer[1024];
    va_list copy;
    va_copy(copy, args);
    int written = std::vswprintf(stackBuffer, std::size(stackBuffer), format, copy);
    va_end(copy);
    if (written >= 0)
        return std::wstring(stackBuffer, static_cast<size_t>(written));

    wchar_t* streamText = nullptr;
    size_t streamLength = 0;
    FILE* stream = open_wmemstream(&streamText, &streamLength);
    if (!stream)
        return {};
    va_copy(copy, args);
    int result = std::vfwprintf(stream, format, copy);
    va_end(copy);
    std::fclose(stream);
    std::wstring text = result >= 0 ? std::wstring(streamText, streamLength) : std::wstring();
    std::free(streamText);
    return text;
}

// Case mapping of the whole Unicode range, whatever the process locale is:
// the C.UTF-8 character tables, made once.
locale_t UnicodeCaseLocale()
{
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return locale;
}

wchar_t ToUpper(wchar_t ch)
{
    const locale_t locale = UnicodeCaseLocale();
    return static_cast<wchar_t>(locale ? towupper_l(static_cast<wint_t>(ch), locale) : towupper(static_cast<wint_t>(ch)));
}

wchar_t ToLower(wchar_t ch)
{
    const locale_t locale = UnicodeCaseLocale();
    return static_cast<wchar_t>(locale ? towlower_l(static_cast<wint_t>(ch), locale) : towlower(static_cast<wint_t>(ch)));
}

bool Contains(const wchar_t* chars, wchar_t ch)
{
    for (; *chars; ++chars)
        if (*chars == ch)
            return true;
    return false;
}

} // namespace

CStringW::CStringW(const char* text)
{
    if (text)
        m_str = kel::platform::MultiByteToWide(text, kel::platform::CodePage::System);
}

void CStringW::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CStringW::FormatV(const wchar_t* format, va_list args)
{
    m_str = FormatWide(format, args);
}

void CStringW::AppendFormat(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
}

void CStringW::AppendFormatV(const wchar_t* format, va_list args)
{
    m_str += FormatWide(format, args);
}

CStringW CStringW::Left(int count) const
{
    count = std::clamp(count, 0, GetLength());
    return CStringW(m_str.substr(0, static_cast<size_t>(count)));
}

CStringW CStringW::Mid(int first) const
{
    return Mid(first, GetLength());
}

CStringW CStringW::Mid(int first, int count) const
{
    first = std::clamp(first, 0, GetLength());
    count = std::clamp(count, 0, GetLength() - first);
    return CStringW(m_str.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CStringW CStringW::Right(int count) const
{
    count = std::clamp(count, 0, GetLength());
    return CStringW(m_str.substr(m_str.size() - static_cast<size_t>(count)));
}

int CStringW::Find(wchar_t ch, int start) const
{
    if (start < 0 || start >= GetLength())
        return -1;
    size_t at = m_str.find(ch, static_cast<size_t>(start));
    return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

int CStringW::Find(const wchar_t* sub, int start) const
{
    if (!sub || start < 0 || start > GetLength())
        return -1;
    size_t at = m_str.find(sub, static_cast<size_t>(start));
    return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

int CStringW::ReverseFind(wchar_t ch) const
{
    size_t at = m_str.rfind(ch);
    return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

int CStringW::Replace(wchar_t oldCh, wchar_t newCh)
{
    int count = 0;
    for (wchar_t& ch : m_str)
        if (ch == oldCh) {
            ch = newCh;
            ++count;
        }
    return count;
}

int CStringW::Replace(const wchar_t* oldText, const wchar_t* newText)
{
    if (!oldText || !*oldText)
        return 0;
    const std::wstring_view from(oldText);
    const std::wstring_view to(newText ? newText : L"");
    std::wstring result;
    int count = 0;
    size_t pos = 0;
    for (size_t hit; (hit = m_str.find(from, pos)) != std::wstring::npos; pos = hit + from.size()) {
        result.append(m_str, pos, hit - pos);
        result.append(to);
        ++count;
    }
    if (count) {
        result.append(m_str, pos, std::wstring::npos);
        m_str.swap(result);
    }
    return count;
}

int CStringW::Remove(wchar_t ch)
{
    size_t before = m_str.size();
    std::erase(m_str, ch);
    return static_cast<int>(before - m_str.size());
}

int CStringW::Insert(int index, const wchar_t* text)
{
    index = std::clamp(index, 0, GetLength());
    if (text)
        m_str.insert(static_cast<size_t>(index), text);
    return GetLength();
}

int CStringW::Delete(int index, int count)
{
    if (index >= 0 && index < GetLength() && count > 0)
        m_str.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    return GetLength();
}

CStringW& CStringW::Trim() { return TrimRight().TrimLeft(); }
CStringW& CStringW::Trim(wchar_t ch) { return TrimRight(ch).TrimLeft(ch); }
CStringW& CStringW::Trim(const wchar_t* chars) { return TrimRight(chars).TrimLeft(chars); }
CStringW& CStringW::TrimLeft() { return TrimLeft(kWhitespace); }
CStringW& CStringW::TrimRight() { return TrimRight(kWhitespace); }

CStringW& CStringW::TrimLeft(wchar_t ch)
{
    const wchar_t chars[2] = {ch, 0};
    return TrimLeft(chars);
}

CStringW& CStringW::TrimRight(wchar_t ch)
{
    const wchar_t chars[2] = {ch, 0};
    return TrimRight(chars);
}

CStringW& CStringW::TrimLeft(const wchar_t* chars)
{
    if (!chars)
        return *this;
    size_t first = 0;
    while (first < m_str.size() && Contains(chars, m_str[first]))
        ++first;
    m_str.erase(0, first);
    return *this;
}

CStringW& CStringW::TrimRight(const wchar_t* chars)
{
    if (!chars)
        return *this;
    size_t end = m_str.size();
    while (end > 0 && Contains(chars, m_str[end - 1]))
        --end;
    m_str.resize(end);
    return *this;
}

CStringW CStringW::Tokenize(const wchar_t* delimiters, int& start) const
{
    if (start < 0 || !delimiters) {
        start = -1;
        return CStringW();
    }
    size_t from = m_str.find_first_not_of(delimiters, static_cast<size_t>(start));
    if (from == std::wstring::npos) {
        start = -1;
        return CStringW();
    }
    size_t to = m_str.find_first_of(delimiters, from);
    if (to == std::wstring::npos)
        to = m_str.size();
    start = static_cast<int>(to == m_str.size() ? to : to + 1);
    return CStringW(m_str.substr(from, to - from));
}

CStringW& CStringW::MakeUpper()
{
    for (wchar_t& ch : m_str)
        ch = ToUpper(ch);
    return *this;
}

CStringW& CStringW::MakeLower()
{
    for (wchar_t& ch : m_str)
        ch = ToLower(ch);
    return *this;
}

int CStringW::Compare(const wchar_t* other) const
{
    return std::wcscmp(m_str.c_str(), other ? other : L"");
}

int CStringW::CompareNoCase(const wchar_t* other) const
{
    // Up to the first zero of each, as the C string comparisons do.
    return kel::platform::CompareFolded(m_str.c_str(), other ? other : L"");
}

wchar_t* CStringW::GetBuffer(int minLength)
{
    if (minLength > GetLength())
        m_str.resize(static_cast<size_t>(minLength));
    return m_str.data();
}

void CStringW::ReleaseBuffer(int newLength)
{
    if (newLength < 0)
        newLength = static_cast<int>(std::wcslen(m_str.c_str()));
    m_str.resize(static_cast<size_t>(std::min(newLength, GetLength())));
}
