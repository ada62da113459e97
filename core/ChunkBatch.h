#pragma once

// How the FTP and HTTP clients move a transfer's 4096-byte chunks on.
// Internal to the library.
#include "platform/Types.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string_view>

namespace kel::detail {

// Up to 16 chunks moved on as one piece, so that the disk or the socket
// costs one call per 64 KiB instead of one per chunk. The hooks of the
// chunks are called once the whole piece has been written, so that no hook
// ever reports a chunk that the other side has not taken. The pause before
// each chunk stays before that chunk's read.
class ChunkBatch {
public:
    static constexpr int kChunks = 16;
    static constexpr size_t kChunkSize = 4096;

    // Reads chunk after chunk with `read` (which fills up to one chunk and
    // returns the bytes it put there, 0 at the end), calling `wait` before
    // each. False once the source has ended.
    template <typename Wait, typename Read>
    bool Fill(Wait wait, Read read)
    {
        m_count = 0;
        m_filled = 0;
        while (m_count < kChunks) {
            wait();
            const size_t got = read(m_data.get() + m_filled);
            if (got == 0)
                return false;
            m_sizes[m_count++] = static_cast<DWORD>(got);
            m_filled += got;
        }
        return true;
    }

    bool IsEmpty() const { return m_count == 0; }
    std::string_view Bytes() const { return {m_data.get(), m_filled}; }

    // Calls hook(bytesInChunk, chunkIndex) for each chunk of the piece,
    // counting `chunkIndex` on.
    template <typename Hook>
    void Report(DWORD& chunkIndex, Hook hook) const
    {
        for (int chunk = 0; chunk < m_count; ++chunk)
            hook(m_sizes[chunk], chunkIndex++);
    }

private:
    std::unique_ptr<char[]> m_data = std::make_unique<char[]>(kChunks * kChunkSize);
    std::array<DWORD, kChunks> m_sizes {};
    int m_count = 0;
    size_t m_filled = 0;
};

} // namespace kel::detail
