// The read cycle's lines.
//
// A line runs to its line feed (or zero unit), however long: one line of the
// file is one line of the view, so line numbers, go to line, the filter and
// highlighting all match the file. The file is read in large blocks and each
// line is cut from the block, so a big file costs a few large reads instead
// of a read and a seek per line.
#include "LineReader.h"

#include "KelFile.h"
#include "platform/CodePage.h"
#include "platform/Unicode.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kel::watch {

using kel::platform::CFileHandle;

namespace {

constexpr size_t kBlockSize = 1 << 20;
// Besides its byte budget, a cycle takes at most this many lines: a file of
// empty lines would otherwise be a million lines a cycle.
constexpr size_t kMaxLinesPerCycle = 1 << 16;
constexpr size_t kNoEnd = static_cast<size_t>(-1);

// True when every byte is below 0x80: such text reads alike in every
// encoding the cycle knows, so it decides nothing.
bool IsSevenBit(const BYTE* data, size_t length)
{
    size_t at = 0;
    for (; at + 8 <= length; at += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + at, sizeof word);
        if (word & 0x8080808080808080ull)
            return false;
    }
    for (; at < length; ++at)
        if (data[at] & 0x80)
            return false;
    return true;
}

// The value of the UTF-16 unit at `data`, in the byte order of `id`.
unsigned UnitAt(int id, const BYTE* data)
{
    return id == CKelFile::UTF16_BE ? (data[0] << 8) | data[1] : data[0] | (data[1] << 8);
}

bool IsHighSurrogate(unsigned unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

bool DecodesAsUtf8(int id)
{
    return id == CKelFile::UTF8_BOM || id == CKelFile::UTF8_NOBOM
        || (id == CKelFile::ASCII && kel::platform::SystemCodeSetIsUtf8());
}

bool IsLineEnd(wchar_t ch) { return ch == L'\r' || ch == L'\n'; }

// Offset of the first line feed or zero byte, or kNoEnd. Looked for a short
// stretch at a time, so that a short line (or a file of zero bytes) does not
// cost a scan of the whole window.
size_t FindByteLineEnd(const BYTE* data, size_t length)
{
    constexpr size_t kStretch = 256;
    for (size_t start = 0; start < length; start += kStretch) {
        const size_t size = std::min(kStretch, length - start);
        const void* feed = std::memchr(data + start, '\n', size);
        const size_t limit = feed ? static_cast<size_t>(static_cast<const BYTE*>(feed) - data) : start + size;
        if (const void* zero = std::memchr(data + start, 0, limit - start))
            return static_cast<size_t>(static_cast<const BYTE*>(zero) - data);
        if (feed)
            return limit;
    }
    return kNoEnd;
}

// Offset of the first UTF-16 unit that is a line feed or zero, or kNoEnd.
size_t FindUnitLineEnd(int id, const BYTE* data, size_t length)
{
    // The byte that is zero in both, and the one that tells them apart.
    const size_t high = id == CKelFile::UTF16_BE ? 0 : 1;
    const size_t low = 1 - high;
    for (size_t at = 0; at + 1 < length; at += 2)
        if (data[at + high] == 0 && (data[at + low] == '\n' || data[at + low] == 0))
            return at;
    return kNoEnd;
}

struct SLine {
    size_t content;  // bytes of text, without the line feed or zero unit
    size_t consumed; // bytes the read position moves on; 0: none ready
};

// The first line of the `available` bytes at `data`, however long; `atEnd`
// says that no further bytes follow them in the file yet. A line whose end
// has not arrived takes nothing until more bytes come, unless the file ends.
SLine CutLine(int id, const BYTE* data, size_t available, bool atEnd)
{
    const size_t unit = IsUtf16(id) ? 2 : 1;
    const size_t whole = available - available % unit;
    const size_t end = unit == 2 ? FindUnitLineEnd(id, data, whole) : FindByteLineEnd(data, whole);
    if (end != kNoEnd)
        return {end, end + unit};
    if (!atEnd)
        return {0, 0};
    // The unfinished last line is shown now; half a UTF-16 unit waits, and
    // so does the first half of a surrogate pair.
    size_t shown = whole;
    if (IsUtf16(id) && shown >= 2 && IsHighSurrogate(UnitAt(id, data + shown - 2)))
        shown -= 2;
    return {shown, shown};
}

// Turns the cut lines into the lines of the view: each line converted and
// stripped of carriage returns and line feeds at both ends.
class CLineDecoder {
public:
    CLineDecoder(int id, CWatchLineSink& out) : m_id(id), m_utf8(DecodesAsUtf8(id)), m_out(out) {}
    CLineDecoder(const CLineDecoder&) = delete;
    CLineDecoder& operator=(const CLineDecoder&) = delete;

    void Add(const BYTE* data, size_t length)
    {
        if (m_utf8)
            AddUtf8(data, length);
        else if (IsUtf16(m_id))
            AddUtf16(data, length);
        else
            AddMultiByte(data, length);
    }

    // Converts the multi-byte lines gathered so far.
    void Flush()
    {
        if (m_lineEnds.empty())
            return;
        const std::wstring text = CKelFile::DecodeAs(m_id, reinterpret_cast<const BYTE*>(m_batch.data()),
                                                     m_batch.size()).str();
        if (static_cast<size_t>(std::count(text.begin(), text.end(), L'\n')) == m_lineEnds.size()) {
            for (size_t start = 0, feed; (feed = text.find(L'\n', start)) != std::wstring::npos; start = feed + 1)
                AppendTrimmed(std::wstring_view(text).substr(start, feed - start));
        } else {
            DecodeLinesOneByOne(); // a code set that does not keep line feeds apart
        }
        m_batch.clear();
        m_lineEnds.clear();
    }

private:
    // In UTF-8, carriage returns and line feeds never belong to a longer
    // sequence, so trimming the bytes trims the decoded text the same way.
    void AddUtf8(const BYTE* data, size_t length)
    {
        std::string_view bytes(reinterpret_cast<const char*>(data), length);
        while (!bytes.empty() && IsLineEnd(static_cast<wchar_t>(bytes.front())))
            bytes.remove_prefix(1);
        while (!bytes.empty() && IsLineEnd(static_cast<wchar_t>(bytes.back())))
            bytes.remove_suffix(1);
        m_out.AddUtf8Line(bytes);
    }

    void AddUtf16(const BYTE* data, size_t length)
    {
        if (m_id == CKelFile::UTF16_LE) {
            AppendTrimmed(kel::platform::Utf16LEToWide(data, length / 2));
            return;
        }
        // Big-endian units are turned round, then read as little-endian.
        m_swapped.assign(data, data + length - length % 2);
        for (size_t at = 0; at < m_swapped.size(); at += 2)
            std::swap(m_swapped[at], m_swapped[at + 1]);
        AppendTrimmed(kel::platform::Utf16LEToWide(m_swapped.data(), m_swapped.size() / 2));
    }

    // Code page lines are gathered and converted in one call, joined by line
    // feeds, because each conversion call has a set-up cost.
    void AddMultiByte(const BYTE* data, size_t length)
    {
        m_batch.append(reinterpret_cast<const char*>(data), length);
        m_batch += '\n';
        m_lineEnds.push_back(m_batch.size() - 1);
        if (m_batch.size() >= kBlockSize)
            Flush();
    }

    void DecodeLinesOneByOne()
    {
        size_t start = 0;
        for (size_t end : m_lineEnds) {
            const auto* line = reinterpret_cast<const BYTE*>(m_batch.data() + start);
            AppendTrimmed(CKelFile::DecodeAs(m_id, line, end - start).str());
            start = end + 1;
        }
    }

    void AppendTrimmed(std::wstring_view line)
    {
        while (!line.empty() && IsLineEnd(line.front()))
            line.remove_prefix(1);
        while (!line.empty() && IsLineEnd(line.back()))
            line.remove_suffix(1);
        m_out.AddLine(line);
    }

    const int m_id;
    const bool m_utf8;
    CWatchLineSink& m_out;
    std::string m_batch;
    std::vector<size_t> m_lineEnds;
    std::vector<BYTE> m_swapped; // one UTF-16BE line in little-endian order
};

} // namespace

bool IsUtf16(int id)
{
    return id == CKelFile::UTF16_LE || id == CKelFile::UTF16_BE;
}

// Cuts lines from the read position on until the file ends or `budget`
// bytes of lines are taken, handing them to `lines`. With `sevenBitOnly`
// it stops before the first line that is not 7-bit text.
SCycle ReadLines(CFileHandle& file, ULONGLONG position, int id, ULONGLONG budget,
                 CWatchLineSink& lines, bool sevenBitOnly)
{
    SCycle cycle;
    CLineDecoder decoder(id, lines);
    std::vector<BYTE> block(kBlockSize);
    size_t begin = 0;
    size_t end = 0;
    bool atEnd = false;
    for (;;) {
        const SLine line = CutLine(id, block.data() + begin, end - begin, atEnd);
        if (line.consumed == 0) {
            if (atEnd)
                break;
            // More bytes for a line whose end has not come yet: the block
            // grows when one line fills it.
            std::memmove(block.data(), block.data() + begin, end - begin);
            end -= begin;
            begin = 0;
            if (end == block.size())
                block.resize(block.size() * 2);
            size_t read = 0;
            if (file.ReadAt(block.data() + end, block.size() - end, position + cycle.consumed + end, read)
                && read > 0)
                end += read;
            else
                atEnd = true; // end of file, or a read error: the next cycle retries
            continue;
        }
        if (sevenBitOnly && !IsSevenBit(block.data() + begin, line.consumed)) {
            cycle.highByte = true;
            break;
        }
        decoder.Add(block.data() + begin, line.content);
        ++cycle.lines;
        begin += line.consumed;
        cycle.consumed += line.consumed;
        if (cycle.consumed >= budget || cycle.lines >= kMaxLinesPerCycle) {
            ULONGLONG size = 0;
            cycle.more = begin < end || (!atEnd && file.Size(size) && size > position + cycle.consumed);
            break;
        }
    }
    decoder.Flush();
    return cycle;
}

} // namespace kel::watch
