#include "FileName.h"

#include "CodePage.h"
#include "Unicode.h"

namespace kel::platform {

std::string NarrowPath(const wchar_t* path)
{
    return path ? WideToMultiByte(path, CodePage::System, Undecodable::Escape) : std::string();
}

void AppendWidePath(std::string_view bytes, std::wstring& out)
{
    if (SystemCodeSetIsUtf8())
        AppendUtf8AsWideEscaped(bytes, out);
    else
        out += MultiByteToWide(bytes, CodePage::System, Undecodable::Escape);
}

std::wstring WidePath(std::string_view bytes)
{
    std::wstring out;
    AppendWidePath(bytes, out);
    return out;
}

} // namespace kel::platform
