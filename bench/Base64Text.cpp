#include "Base64Text.h"

#include "ByteBuffer.h"
#include "FileBytes.h"

#include <KelBase64.h>
#include <KelFile.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

bool IsAscii(const BYTE* data, size_t count)
{
    BYTE any = 0;
    for (size_t i = 0; i < count; ++i)
        any |= data[i];
    return any < 0x80;
}

// The UTF-16LE units up to the first zero unit (where the text reading
// stops), narrowed when they are all ASCII; false for anything else.
bool NarrowUtf16LE(const BYTE* data, size_t count, std::string& out)
{
    size_t units = 0;
    while (units < count / 2 && (data[2 * units] | data[2 * units + 1]) != 0)
        ++units;
    if (units == count / 2 && count % 2 != 0)
        return false; // an odd last byte is a unit of its own: left to the full reading
    BYTE high = 0, low = 0;
    for (size_t i = 0; i < units; ++i) {
        low |= data[2 * i];
        high |= data[2 * i + 1];
    }
    if (high != 0 || low >= 0x80)
        return false;
    out.resize(units);
    for (size_t i = 0; i < units; ++i)
        out[i] = static_cast<char>(data[2 * i]);
    return true;
}

// Bytes before the first zero byte: the text reading stops there.
size_t LengthToZero(const BYTE* data, size_t count)
{
    const void* zero = count ? std::memchr(data, 0, count) : nullptr;
    return zero ? static_cast<size_t>(static_cast<const BYTE*>(zero) - data) : count;
}

} // namespace

CBase64Text CBase64Text::ReadFile(const CStringW& path, kelbench::CProgress* progress)
{
    CBase64Text text;
    CByteBuffer bytes;
    if (!kelbench::ReadWholeFile(path, bytes, progress))
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
    const size_t length = LengthToZero(data + skip, count - skip);
    // Without a mark every byte has its say in the detected encoding.
    if (!utf16LeMark && IsAscii(data + skip, utf8Mark ? length : count - skip)) {
        text.m_bNarrow = true;
        text.m_ascii.assign(reinterpret_cast<const char*>(data + skip), length);
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

size_t CBase64Text::Decode(unsigned char* data, size_t count, kelbench::CProgress* progress) const
{
    if (!m_bNarrow)
        return CKelBase64::Decode(data, m_strWide.GetString(), static_cast<size_t>(m_strWide.GetLength()));
    // Pieces of whole quanta decode on their own when nothing but alphabet
    // characters and the final padding is in the text: then the bytes it
    // decodes to account for every character.
    const size_t length = m_ascii.size();
    size_t pads = 0;
    while (pads < 2 && pads < length && m_ascii[length - 1 - pads] == '=')
        ++pads;
    const size_t sextets = count / 3 * 4 + (count % 3 == 0 ? 0 : count % 3 + 1);
    if (sextets + pads != length)
        return CKelBase64::Decode(data, m_ascii.c_str(), length);
    constexpr size_t kPiece = kelbench::kProgressBlock; // a multiple of 4
    size_t written = 0;
    for (size_t at = 0; at < length; at += kPiece) {
        kelbench::ReportProgress(progress, at, length);
        written += CKelBase64::Decode(data + written, m_ascii.c_str() + at, std::min(kPiece, length - at));
    }
    return written;
}
