#include "KelUtil.h"

#include "KelException.h"
#include "platform/ErrorNumbers.h"
#include "platform/FileHandle.h"
#include "platform/Resources.h"
#include "platform/WinApp.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cwchar>
#include <string_view>

namespace {

bool IsMessageQueuingNumber(DWORD n) { return (n & 0x1FFF0000) == 0x000E0000; }
bool IsNetworkMessageNumber(DWORD n) { return n >= 2100 && n <= 2999; }

// Buffer sizes of the split parts and of the joined path, terminator included.
constexpr size_t kDriveCapacity = 3;
constexpr size_t kPartCapacity = 256;
constexpr size_t kPathCapacity = 260;
constexpr size_t kUrlPartCapacity = 260;

const kel::platform::ResourceModule* ApplicationResources()
{
    const CWinApp* app = AfxGetApp();
    return app && app->m_hInstance ? kel::platform::FromInstance(app->m_hInstance) : nullptr;
}

bool CopyPart(std::wstring_view part, wchar_t* buffer, size_t capacity)
{
    if (part.size() + 1 > capacity)
        return false;
    if (buffer) {
        part.copy(buffer, part.size());
        buffer[part.size()] = 0;
    }
    return true;
}

// Copies as much as fits, always terminated.
void CopyCut(std::wstring_view text, wchar_t* buffer, size_t capacity)
{
    if (!buffer)
        return;
    const size_t length = std::min(text.size(), capacity - 1);
    text.copy(buffer, length);
    buffer[length] = 0;
}

CStringW NumberOnly(DWORD n)
{
    CStringW text;
    text.Format(L"ERRORNUMBER ( %d )\n", static_cast<int>(n));
    return text;
}

} // namespace

CStringW CKelUtil::MessageError(const DWORD& errorNumber)
{
    const DWORD n = errorNumber;
    if (n == 0)
        return CStringW();
    // The message-queuing and network message modules do not exist here, so
    // their ranges always give the number form.
    if (IsMessageQueuingNumber(n) || IsNetworkMessageNumber(n))
        return NumberOnly(n);
    std::wstring text;
    if (!kel::platform::LookupErrorText(n, text))
        return NumberOnly(n);
    return CStringW(std::move(text));
}

CStringW CKelUtil::_FormatResource(UINT id, ...)
{
    const kel::platform::ResourceModule* resources = ApplicationResources();
    const wchar_t* format = resources ? kel::platform::FindStringResource(*resources, id) : nullptr;
    if (!format)
        return CStringW();
    va_list args;
    va_start(args, id);
    CStringW text;
    text.FormatV(format, args);
    va_end(args);
    return text;
}

int CKelUtil::SaveResource(const wchar_t* name, const wchar_t* path)
{
    const kel::platform::ResourceModule* resources = ApplicationResources();
    const kel::platform::DataResource* data = resources ? kel::platform::FindDataResource(*resources, name) : nullptr;
    if (!data || !path)
        return 0;
    using kel::platform::EOpen;
    kel::platform::CFileHandle file;
    if (!file.Open(kel::platform::NarrowPath(path), EOpen::Write | EOpen::Create | EOpen::Truncate)
        || !file.WriteAll(std::string_view(reinterpret_cast<const char*>(data->bytes), data->size)) || !file.Close())
        throw new CKelException(static_cast<DWORD>(errno));
    return 0;
}

CStringW CKelUtil::GetPathInfo(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname, wchar_t* ext)
{
    const std::wstring_view whole(path ? path : L"");
    const size_t slash = whole.rfind(L'/');
    const size_t nameStart = slash == std::wstring_view::npos ? 0 : slash + 1;
    const std::wstring_view folder = whole.substr(0, nameStart);
    const std::wstring_view name = whole.substr(nameStart);
    const size_t dot = name.rfind(L'.');
    const std::wstring_view title = dot == std::wstring_view::npos ? name : name.substr(0, dot);
    const std::wstring_view extension = dot == std::wstring_view::npos ? std::wstring_view() : name.substr(dot);
    // The C library refuses a part that does not fit and leaves every buffer
    // empty; so does this, rather than cut a part silently.
    if (!CopyPart(L"", drive, kDriveCapacity) || !CopyPart(folder, dir, kPartCapacity)
        || !CopyPart(title, fname, kPartCapacity) || !CopyPart(extension, ext, kPartCapacity)
        || whole.size() + 1 > kPathCapacity) {
        for (wchar_t* buffer : {drive, dir, fname, ext}) {
            if (buffer)
                buffer[0] = 0;
        }
        return CStringW();
    }
    return CStringW(folder) + CStringW(title) + CStringW(extension);
}

CStringW CKelUtil::GetUrlInfo(const wchar_t* url, DWORD& serviceType, wchar_t* server, wchar_t* object,
                              INTERNET_PORT& port)
{
    CStringW serverText, objectText;
    kel::platform::ParseURL(url, serviceType, serverText, objectText, port);
    CopyCut(serverText.str(), server, kUrlPartCapacity);
    CopyCut(objectText.str(), object, kUrlPartCapacity);
    return L"http://" + serverText + objectText;
}
