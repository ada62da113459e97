#include "Base64Text.h"

#include "FileBytes.h"

#include <KelBase64.h>
#include <KelFile.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

using kel::bench::CProgress;
using kel::bench::kProgressBlock;
using kel::bench::ReportProgress;

namespace {

// Characters counted or decoded per progress report: whole quanta.
constexpr size_t kPiece = kProgressBlock;
static_assert(kPiece % 4 == 0);

// The UTF-16LE units up to the first zero unit (where the text reading
// stops), narrowed in place when they are all ASCII; false, with the bytes
// untouched, for anything else. Both passes go piece by piece.
bool NarrowUtf16LE(BYTE* data, size_t count, size_t& units, CProgress* progress)
{
    const size_t whole = count / 2;
    units = whole;
    for (size_t at = 0; at < whole && units == whole; at += kPiece) {
        ReportProgress(progress, at, whole);
        BYTE high = 0, low = 0;
        const size_t end = std::min(whole, at + kPiece);
        for (size_t i = at; i < end; ++i) {
            if ((data[2 * i] | data[2 * i + 1]) == 0) {
                units = i;
                break;
            }
            low |= data[2 * i];
            high |= data[2 * i + 1];
        }
        if (high != 0 || low >= 0x80)
            return false;
    }
    if (units == whole && count % 2 != 0)
        return false; // an odd last byte is a unit of its own: left to the full reading
    for (size_t at = 0; at < units; at += kPiece) {
        ReportProgress(progress, at, units);
        const size_t end = std::min(units, at + kPiece);
        for (size_t i = at; i < end; ++i)
            data[i] = data[2 * i];
    }
    return true;
}

// Every byte ORed together, eight at a time.
BYTE OrOfBytes(const BYTE* data, size_t count)
{
    std::uint64_t words = 0;
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        words |= word;
    }
    for (; i < count; ++i)
        words |= data[i];
    for (int shift = 32; shift >= 8; shift /= 2)
        words |= words >> shift;
    return static_cast<BYTE>(words);
}

// The bytes a plain piece of `length` characters decodes to, when it is a
// middle piece (whole quanta, no padding).
size_t PlainPieceCount(size_t length)
{
    return length / 4 * 3;
}

} // namespace

CBase64Text CBase64Text::ReadFile(const CStringW& path, CProgress* progress)
{
    CBase64Text text;
    CByteBuffer bytes;
    // Looked at block by block while reading: every byte ORed together, and
    // where the first zero byte is.
    BYTE any = 0;
    size_t read = 0;
    size_t zeroAt = SIZE_MAX;
    if (!kel::bench::ReadFileIntoBuffer(path, bytes, progress, [&](const BYTE* data, size_t count) {
            any |= OrOfBytes(data, count);
            if (zeroAt == SIZE_MAX)
                if (const void* zero = std::memchr(data, 0, count))
                    zeroAt = read + static_cast<size_t>(static_cast<const BYTE*>(zero) - data);
            read += count;
        }))
        return text;
    BYTE* data = bytes.Data();
    const size_t count = bytes.Count();
    const bool utf8Mark = count >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
    const bool utf16LeMark = count >= 2 && data[0] == 0xFF && data[1] == 0xFE
        && !(count >= 4 && data[2] == 0 && data[3] == 0); // not the UTF-32LE mark
    size_t units = 0;
    if (utf16LeMark && NarrowUtf16LE(data + 2, count - 2, units, progress)) {
        text.m_bNarrow = true;
        text.m_ascii = std::string_view(reinterpret_cast<const char*>(data + 2), units);
        text.m_bytes = std::move(bytes);
        return text;
    }
    // Without a mark every byte has its say in the detected encoding; with
    // the UTF-8 mark the text ends at the first zero.
    const size_t skip = utf8Mark ? 3 : 0;
    if (!utf16LeMark && (any < 0x80 || utf8Mark)) {
        const size_t length = std::min(zeroAt, count) - skip; // the mark holds no zero
        const bool ascii = any < 0x80
            || std::all_of(data + skip, data + skip + length, [](BYTE b) { return b < 0x80; });
        if (ascii) {
            text.m_bNarrow = true;
            text.m_ascii = std::string_view(reinterpret_cast<const char*>(data + skip), length);
            text.m_bytes = std::move(bytes);
            return text;
        }
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

size_t CBase64Text::DecodeCount(CProgress* progress) const
{
    if (!m_bNarrow)
        return CKelBase64::DecodeCount(m_strWide.GetString(), static_cast<size_t>(m_strWide.GetLength()));
    // Middle pieces of a plain text are whole quanta that count alone; the
    // last piece carries the padding. Any other text (blanks, line breaks,
    // or not Base64 at all) is counted whole, which also finds its faults.
    const size_t length = m_ascii.size();
    size_t count = 0;
    for (size_t at = 0; at + kPiece < length; at += kPiece) {
        ReportProgress(progress, at, length);
        size_t piece = SIZE_MAX;
        try {
            piece = CKelBase64::DecodeCount(m_ascii.data() + at, kPiece);
        } catch (CKelException* e) {
            e->Delete();
        }
        if (piece != PlainPieceCount(kPiece))
            return CKelBase64::DecodeCount(m_ascii.data(), length);
        count += piece;
    }
    const size_t last = length - (length == 0 ? 0 : (length - 1) / kPiece * kPiece);
    try {
        return count + CKelBase64::DecodeCount(m_ascii.data() + length - last, last);
    } catch (CKelException* e) {
        e->Delete(); // told again by the whole count, at its place in the whole text
        return CKelBase64::DecodeCount(m_ascii.data(), length);
    }
}

size_t CBase64Text::Decode(unsigned char* data, size_t count, CProgress* progress) const
{
    if (!m_bNarrow)
        return CKelBase64::Decode(data, m_strWide.GetString(), static_cast<size_t>(m_strWide.GetLength()));
    // Plain when every character but the padding is a sextet of the count.
    const size_t length = m_ascii.size();
    size_t pads = 0;
    while (pads < 2 && pads < length && m_ascii[length - 1 - pads] == '=')
        ++pads;
    const size_t sextets = count / 3 * 4 + (count % 3 == 0 ? 0 : count % 3 + 1);
    if (sextets + pads != length)
        return CKelBase64::Decode(data, m_ascii.data(), length);
    size_t written = 0;
    for (size_t at = 0; at < length; at += kPiece) {
        ReportProgress(progress, at, length);
        written += CKelBase64::Decode(data + written, m_ascii.data() + at, std::min(kPiece, length - at));
    }
    return written;
}
