#pragma once

// CSendQueue: the bytes of one connection that the system has not taken
// yet. Writes go straight to the socket while nothing is queued; the rest
// waits here, in order, and later writes queue behind it. Thread safe: any
// thread may write while another flushes.
#include <KelCore/platform/SocketTypes.h>

#include <chrono>
#include <cstddef>
#include <list>
#include <mutex>
#include <string>

namespace kel::net {

class CSendQueue {
public:
    using Clock = std::chrono::steady_clock;

    enum class Written {
        Sent,          // all taken by the system
        Queued,        // the rest waits behind bytes queued before
        StartedQueue,  // the rest waits; the queue was empty: watch the socket
        Overflow,      // the queue would pass its limit: the connection is to end
        Failed         // the socket failed
    };
    enum class Flushed { Drained, Pending, Failed };

    explicit CSendQueue(std::size_t limit) : m_limit(limit) {}
    CSendQueue(const CSendQueue&) = delete;
    CSendQueue& operator=(const CSendQueue&) = delete;

    // Sends or queues `size` bytes; `taken` receives how many were accepted
    // (sent or queued).
    Written Write(SOCKET socket, const void* data, std::size_t size, std::size_t& taken);
    // Sends what the socket takes now. Drained means the queue is empty and
    // the socket need not be watched any more.
    Flushed Flush(SOCKET socket);
    // True when bytes are queued and none was taken for `limit`.
    bool Stalled(Clock::duration limit) const;
    bool Pending() const;
    std::size_t QueuedBytes() const;
    // Drops what is queued; later writes fail (the connection is ending).
    void Fail();
    // Empty and usable again, for a new connection.
    void Reset();

private:
    static constexpr std::size_t kChunk = 64 * 1024;
    static constexpr std::size_t kFirstChunkRoom = 4 * 1024;
    void Append(const char* data, std::size_t size);
    void Clear();

    mutable std::mutex m_lock;
    const std::size_t m_limit;
    // A list, which takes no memory while empty (most connections, most of
    // the time). The first chunk is sent from m_offset on.
    std::list<std::string> m_chunks;
    std::size_t m_offset = 0;
    std::size_t m_queued = 0;
    Clock::time_point m_lastProgress{};
    bool m_failed = false;
};

} // namespace kel::net
