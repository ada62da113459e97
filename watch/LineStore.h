#pragma once

// CLineStore: all text a view was ever given, as lines of UTF-8 in large
// chunks, each line followed by a line feed, so the text of consecutive lines
// of a chunk is one contiguous run, as a search or a copy wants it. Lines are
// only added at the end, never changed; Clear removes them all at once. The
// index keeps where every 64th line starts; a line is found from there (or
// from the line looked up last, so reading lines in order costs nothing
// extra). A line so costs one byte besides its text, and a file of empty lines
// stays as small as it is on disk.
//
// The text is what the view shows and what saving writes: a wide character
// that UTF-8 cannot hold (a lone surrogate) is stored as '?', one beyond
// U+10FFFF as U+FFFD, and ill-formed UTF-8 bytes as U+FFFD per sequence. A
// line feed inside a line (which the read cycle never gives) is stored as
// U+FFFD, so that it cannot split the line.
//
// Not thread safe; owned by one view.
#include "LineSource.h"
#include "WatchLineSink.h"

#include <cstdint>
#include <memory>
#include <vector>

class CLineStore : public CLineSource, public CWatchLineSink {
public:
    CLineStore() = default;
    CLineStore(const CLineStore&) = delete;
    CLineStore& operator=(const CLineStore&) = delete;

    // CLineSource
    size_t LineCount() const override { return m_nLineCount; }
    std::string_view Line(LineNumber line) const override;
    size_t MaxLineCells() const override { return m_nMaxLineCells; }

    // CWatchLineSink: a line is added at the end, without its line end.
    void AddLine(std::wstring_view line) override;
    void AddUtf8Line(std::string_view bytes) override;

    // Removes every line and gives back the memory, as a new store.
    void Clear();

    // Bytes of text held (line feeds included) and bytes reserved for it.
    size_t TextBytes() const { return m_nTextBytes; }
    size_t ReservedBytes() const;

private:
    static constexpr size_t kIndexStride = 64;

    struct SChunk {
        std::unique_ptr<char[]> data;
        size_t capacity = 0;
        size_t used = 0;
        size_t firstLine = 0;
    };
    struct SPlace {
        size_t line = 0;
        size_t chunk = 0;
        size_t offset = 0;
    };

    void _AddWellFormed(std::string_view text, size_t cells);
    char* _Reserve(size_t bytes);
    size_t _ChunkIndexOf(size_t line) const;

    std::vector<SChunk> m_chunks;
    // Offset of every 64th line in its chunk.
    std::vector<size_t> m_indexedStarts;
    size_t m_nLineCount = 0;
    size_t m_nMaxLineCells = 0;
    size_t m_nTextBytes = 0;
    mutable SPlace m_lastLookUp;
};
