#include "KelFile.h"

#include "KelException.h"
#include "platform/CodePage.h"
#include "platform/FileHandle.h"
#include "platform/Folder.h"
#include "platform/Unicode.h"

#include <cerrno>
#include <cstring>
#include <vector>

using kel::platform::CFileHandle;
using kel::platform::EOpen;
using kel::platform::CodePage;

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";

[[noreturn]] void RaiseErrno(int number)
{
    throw new CKelException(static_cast<DWORD>(number));
}

// Byte text ends at its first zero byte, as a zero-terminated string would.
size_t ByteTextLength(const BYTE* data, size_t length)
{
    if (!data || length == 0)
        return 0; // no bytes: memchr must not see a null pointer
    const void* zero = std::memchr(data, 0, length);
    return zero ? static_cast<size_t>(static_cast<const BYTE*>(zero) - data) : length;
}

std::string_view ByteText(const BYTE* data, size_t length)
{
    return {reinterpret_cast<const char*>(data), ByteTextLength(data, length)};
}

// UTF-16LE units up to the first zero unit; an odd last byte is the low half
// of a final unit whose high half is zero.
CStringW DecodeUtf16Le(const BYTE* data, size_t length)
{
    size_t units = 0;
    while (2 * units + 1 < length && (data[2 * units] | data[2 * units + 1]))
        ++units;
    std::wstring text = kel::platform::Utf16LEToWide(data, units);
    if (2 * units + 1 == length && data[2 * units] != 0)
        text.push_back(static_cast<wchar_t>(data[2 * units]));
    return CStringW(std::move(text));
}

} // namespace

CStringW CKelFile::DecodeAs(int id, const BYTE* data, size_t length)
{
    switch (id) {
    case UTF8_BOM:
    case UTF8_NOBOM:
        return CStringW(kel::platform::Utf8ToWide(ByteText(data, length)));
    case ASCII:
        return CStringW(kel::platform::MultiByteToWide(ByteText(data, length), CodePage::System));
    case EUCKR:
    case CP949:
        // CP949 is a superset of EUC-KR; any other system code page would
        // turn Korean text into garbage.
        return CStringW(kel::platform::MultiByteToWide(ByteText(data, length), CodePage::Cp949));
    case UTF16_LE:
        return DecodeUtf16Le(data, length);
    default:
        throw new CKelException(L"지원하지 않는 Format %ls 입니다.", GetEncodingName(id).GetString());
    }
}

CStringW CKelFile::ReadText(const BYTE* data, UINT length)
{
    if (!data)
        length = 0;
    return DecodeAs(EncodingCheck(data, length), data, length);
}

CStringW CKelFile::ReadTextFile()
{
    CFileHandle file;
    // A folder is not a file that can be opened; a FIFO or a device is
    // never opened, so reading one cannot wait.
    if (file.OpenRegular(kel::platform::NarrowPath(m_strFilename), true) != CFileHandle::Opened::Yes)
        return CStringW();
    ULONGLONG size = 0;
    if (!file.Size(size))
        RaiseErrno(errno);
    if (size > UINT32_MAX)
        RaiseErrno(EFBIG); // the length is a 32-bit count
    std::vector<BYTE> buffer(static_cast<size_t>(size) + 1, 0);
    size_t read = 0;
    if (!file.Read(buffer.data(), static_cast<size_t>(size), read))
        RaiseErrno(errno);
    file.Close();
    return ReadText(buffer.data(), static_cast<UINT>(read));
}

void CKelFile::WriteUTF8(const wchar_t* text)
{
    _append(kUtf8Mark, false, text);
}

void CKelFile::WriteUnicode(const wchar_t* text)
{
    _append(kUtf16LeMark, true, text);
}

void CKelFile::_append(std::string_view mark, bool utf16, const wchar_t* text)
{
    const std::string path = kel::platform::NarrowPath(m_strFilename);
    CFileHandle file;
    // An existing file is appended to as it is; only a file that this call
    // creates (or finds empty when creating) receives the mark.
    if (!file.Open(path, EOpen::Append)) {
        if (!file.Open(path, EOpen::Append | EOpen::Create, 0666))
            return;
        ULONGLONG size = 0;
        if (!file.Size(size))
            RaiseErrno(errno);
        if (size == 0 && !file.WriteAll(mark))
            RaiseErrno(errno);
    }
    _writeText(file, utf16, text);
}

void CKelFile::_writeText(CFileHandle& file, bool utf16, const wchar_t* text)
{
    if (!text)
        throw new CKelException(L"No Unicode Value");
    // One write for the whole text, so that appends of other writers never
    // land inside it.
    std::string bytes;
    if (utf16)
        kel::platform::AppendWideAsUtf16LE(text, bytes);
    else
        kel::platform::AppendWideAsUtf8(text, bytes);
    if (!file.WriteAll(bytes))
        RaiseErrno(errno);
    if (!file.Close())
        RaiseErrno(errno);
}

void CKelFile::CreateFolder(const wchar_t* path)
{
    if (!path)
        return;
    kel::platform::CreateFolderLevels(kel::platform::NarrowPath(path), 0777);
}
