#include "Bstr.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

BSTR SysAllocStringLen(const wchar_t* text, UINT length)
{
    const size_t bytes = static_cast<size_t>(length) * sizeof(wchar_t);
    if (bytes > UINT32_MAX - sizeof(wchar_t))
        return nullptr;
    // The prefix is padded to a wchar_t so that the text stays aligned.
    auto* block = static_cast<std::uint32_t*>(std::malloc(sizeof(wchar_t) + bytes + sizeof(wchar_t)));
    if (!block)
        return nullptr;
    block[0] = static_cast<std::uint32_t>(bytes);
    auto* chars = reinterpret_cast<wchar_t*>(block + sizeof(wchar_t) / sizeof(std::uint32_t));
    if (text)
        std::wmemcpy(chars, text, length);
    else
        std::wmemset(chars, 0, length);
    chars[length] = 0;
    return chars;
}

BSTR SysAllocString(const wchar_t* text)
{
    return text ? SysAllocStringLen(text, static_cast<UINT>(std::wcslen(text))) : nullptr;
}

static std::uint32_t* BlockOf(BSTR text)
{
    return reinterpret_cast<std::uint32_t*>(text) - sizeof(wchar_t) / sizeof(std::uint32_t);
}

void SysFreeString(BSTR text)
{
    if (text)
        std::free(BlockOf(text));
}

UINT SysStringLen(BSTR text)
{
    return text ? BlockOf(text)[0] / sizeof(wchar_t) : 0;
}
