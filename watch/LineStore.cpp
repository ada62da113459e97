#include "LineStore.h"

#include "TextCells.h"

#include "platform/Unicode.h"

#include <algorithm>
#include <cstring>

namespace {

// Chunks grow from small (a short log costs little) to this size; a longer
// line gets a chunk of its own.
constexpr size_t kFirstChunk = 64 << 10;
constexpr size_t kLargestChunk = 4 << 20;

// The UTF-8 form of wide text, with the replacements the class comment names.
std::string EncodeWide(std::wstring_view line)
{
    std::string text;
    text.reserve(line.size());
    std::wstring run;
    for (const wchar_t ch : line) {
        const auto value = static_cast<char32_t>(ch);
        if (value >= 0xD800 && value <= 0xDFFF) {
            kel::platform::AppendWideAsUtf8(run, text);
            run.clear();
            text += '?';
        } else {
            run += ch;
        }
    }
    kel::platform::AppendWideAsUtf8(run, text);
    return text;
}

} // namespace

void CWatchLineSink::AddUtf8Line(std::string_view bytes)
{
    AddLine(kel::platform::Utf8ToWide(bytes));
}

std::string_view CLineStore::Line(LineNumber line) const
{
    const size_t wanted = line.Get();
    if (wanted >= m_nLineCount)
        return {};
    SPlace place{wanted / kIndexStride * kIndexStride, _ChunkIndexOf(wanted), 0};
    const SChunk& chunk = m_chunks[place.chunk];
    if (place.line >= chunk.firstLine)
        place.offset = m_indexedStarts[wanted / kIndexStride];
    else
        place.line = chunk.firstLine; // the indexed line is in an earlier chunk
    if (m_lastLookUp.chunk == place.chunk && m_lastLookUp.line <= wanted && m_lastLookUp.line > place.line)
        place = m_lastLookUp;
    const char* data = chunk.data.get();
    for (; place.line < wanted; ++place.line)
        place.offset = static_cast<size_t>(static_cast<const char*>(std::memchr(data + place.offset, '\n', chunk.used - place.offset)) - data) + 1;
    m_lastLookUp = place;
    const auto* end = static_cast<const char*>(std::memchr(data + place.offset, '\n', chunk.used - place.offset));
    return {data + place.offset, static_cast<size_t>(end - data) - place.offset};
}

size_t CLineStore::_ChunkIndexOf(size_t line) const
{
    const auto after = std::upper_bound(m_chunks.begin(), m_chunks.end(), line,
                                        [](size_t value, const SChunk& chunk) { return value < chunk.firstLine; });
    return static_cast<size_t>(after - m_chunks.begin()) - 1;
}

void CLineStore::AddUtf8Line(std::string_view bytes)
{
    const kel::watch::SUtf8Scan scan = kel::watch::ScanUtf8(bytes);
    if (scan.wellFormed && bytes.find('\n') == std::string_view::npos)
        _AddWellFormed(bytes, scan.cells);
    else
        AddLine(kel::platform::Utf8ToWide(bytes));
}

void CLineStore::AddLine(std::wstring_view line)
{
    std::string text = EncodeWide(line);
    for (size_t feed = text.find('\n'); feed != std::string::npos; feed = text.find('\n', feed))
        text.replace(feed, 1, "\xEF\xBF\xBD");
    _AddWellFormed(text, kel::watch::ScanUtf8(text).cells);
}

void CLineStore::_AddWellFormed(std::string_view text, size_t cells)
{
    char* at = _Reserve(text.size() + 1);
    if (!text.empty()) // an empty view may hold no pointer at all
        std::memcpy(at, text.data(), text.size());
    at[text.size()] = '\n';
    m_nMaxLineCells = std::max(m_nMaxLineCells, cells);
    m_nTextBytes += text.size() + 1;
}

// Room for one line of `bytes` at the end of the last chunk (a new chunk
// when it does not fit), recorded as the next line's start.
char* CLineStore::_Reserve(size_t bytes)
{
    if (m_chunks.empty() || m_chunks.back().capacity - m_chunks.back().used < bytes) {
        const size_t grown = m_chunks.empty() ? kFirstChunk : std::min(m_chunks.back().capacity * 2, kLargestChunk);
        SChunk chunk;
        chunk.capacity = std::max(grown, bytes);
        chunk.data = std::make_unique_for_overwrite<char[]>(chunk.capacity);
        chunk.firstLine = m_nLineCount;
        m_chunks.push_back(std::move(chunk));
    }
    SChunk& chunk = m_chunks.back();
    if (m_nLineCount % kIndexStride == 0)
        m_indexedStarts.push_back(chunk.used);
    ++m_nLineCount;
    char* at = chunk.data.get() + chunk.used;
    chunk.used += bytes;
    return at;
}

void CLineStore::Clear()
{
    std::vector<SChunk>().swap(m_chunks);
    std::vector<size_t>().swap(m_indexedStarts);
    m_nLineCount = 0;
    m_nMaxLineCells = 0;
    m_nTextBytes = 0;
    m_lastLookUp = {};
}

size_t CLineStore::ReservedBytes() const
{
    size_t bytes = m_indexedStarts.capacity() * sizeof(size_t);
    for (const SChunk& chunk : m_chunks)
        bytes += chunk.capacity;
    return bytes;
}
