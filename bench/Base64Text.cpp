#include "Base64Text.h"

#include "ByteBuffer.h"
#include "FileBytes.h"

#include <KelBase64.h>
#include <KelFile.h>

#include <cerrno>
#include <cstdint>

namespace {

bool IsAscii(const BYTE* data, size_t count)
{
    BYTE any = 0;
    for (size_t i = 0; i < count; ++i)
        any |= data[i];
    return any < 0x80;
}

// UTF-16LE units that are all ASCII, narrowed; false for anything else.
bool NarrowUtf16LE(const BYTE* data, size_t count, std::string& out)
{
    if (count % 2 != 0)
        return false;
    BYTE high = 0, low = 0;
    for (size_t i = 0; i < count; i += 2) {
        low |= data[i];
        high |= data[i + 1];
    }
    if (high != 0 || low >= 0x80)
        return false;
    out.resize(count / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char>(data[2 * i]);
    return true;
}

} // namespace

CBase64Text CBase64Text::ReadFile(const CStringW& path)
{
    CBase64Text text;
    CByteBuffer bytes;
    if (!kelbench::ReadWholeFile(path, bytes))
        return text;
    const BYTE* data = bytes.Data();
    const size_t count = bytes.Count();
    const bool utf8Mark = count >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
    const bool utf16LeMark = count >= 2 && data[0] == 0xFF && data[1] == 0xFE
        && !(count >= 4 && data[2] == 0 && data[3] == 0); // not the UTF-32LE mark
    if (utf16LeMark && NarrowUtf16LE(data + 2, count - 2, text.m_ascii)) {
        text.m_bNarrow = true;
        return text;
    }
    const size_t skip = utf8Mark ? 3 : 0;
    if (!utf16LeMark && IsAscii(data + skip, count - skip)) {
        text.m_bNarrow = true;
        text.m_ascii.assign(reinterpret_cast<const char*>(data + skip), count - skip);
        return text;
    }
    // Any other text is decoded by its detected encoding, as CKelFile reads it.
    if (count > UINT32_MAX)
        throw new CKelException(static_cast<DWORD>(EFBIG)); // text files are read with a 32-bit length
    CKelFile file;
    text.m_strWide = file.ReadText(data, static_cast<UINT>(count));
    return text;
}

CStringW CBase64Text::Wide() const
{
    return m_bNarrow ? CStringW(std::wstring(m_ascii.begin(), m_ascii.end())) : m_strWide;
}

size_t CBase64Text::DecodeCount() const
{
    return m_bNarrow ? CKelBase64::DecodeCount(m_ascii.c_str(), m_ascii.size())
                     : CKelBase64::DecodeCount(m_strWide.GetString(), static_cast<size_t>(m_strWide.GetLength()));
}

size_t CBase64Text::Decode(unsigned char* data) const
{
    return m_bNarrow ? CKelBase64::Decode(data, m_ascii.c_str(), m_ascii.size())
                     : CKelBase64::Decode(data, m_strWide.GetString(), static_cast<size_t>(m_strWide.GetLength()));
}
