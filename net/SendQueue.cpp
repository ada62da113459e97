#include "SendQueue.h"

#include "platform/StreamSocket.h"

#include <algorithm>

namespace kel::net {
namespace {

bool WouldBlock()
{
    return platform::LastSocketFailure() == platform::ESocketFailure::WouldBlock;
}

} // namespace

CSendQueue::Written CSendQueue::Write(SOCKET socket, const void* data, std::size_t size, std::size_t& taken)
{
    taken = 0;
    const auto* bytes = static_cast<const char*>(data);
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_failed)
        return Written::Failed;
    const bool wasEmpty = m_queued == 0;
    if (wasEmpty) {
        // Nothing waits ahead of these bytes: the system may take them now.
        const ssize_t sent = platform::SendOnce(socket, bytes, size, false);
        if (sent < 0 && !WouldBlock()) {
            Clear();
            m_failed = true;
            return Written::Failed;
        }
        taken = sent > 0 ? static_cast<std::size_t>(sent) : 0;
        if (taken == size)
            return Written::Sent;
    }
    const std::size_t rest = size - taken;
    if (rest > m_limit - m_queued) {
        Clear();
        m_failed = true;
        return Written::Overflow;
    }
    Append(bytes + taken, rest);
    taken = size;
    if (!wasEmpty)
        return Written::Queued;
    m_lastProgress = Clock::now();
    return Written::StartedQueue;
}

CSendQueue::Flushed CSendQueue::Flush(SOCKET socket)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_failed)
        return Flushed::Failed;
    while (!m_chunks.empty()) {
        const std::string& front = m_chunks.front();
        const ssize_t sent = platform::SendOnce(socket, front.data() + m_offset, front.size() - m_offset, false);
        if (sent < 0) {
            if (WouldBlock())
                return Flushed::Pending;
            Clear();
            m_failed = true;
            return Flushed::Failed;
        }
        if (sent == 0)
            return Flushed::Pending;
        m_lastProgress = Clock::now();
        m_offset += static_cast<std::size_t>(sent);
        m_queued -= static_cast<std::size_t>(sent);
        if (m_offset == front.size()) {
            m_chunks.pop_front();
            m_offset = 0;
        }
    }
    Clear(); // gives the memory back
    return Flushed::Drained;
}

bool CSendQueue::Stalled(Clock::duration limit) const
{
    const std::lock_guard<std::mutex> lock(m_lock);
    return m_queued > 0 && Clock::now() - m_lastProgress >= limit;
}

bool CSendQueue::Pending() const
{
    const std::lock_guard<std::mutex> lock(m_lock);
    return m_queued > 0;
}

std::size_t CSendQueue::QueuedBytes() const
{
    const std::lock_guard<std::mutex> lock(m_lock);
    return m_queued;
}

void CSendQueue::Fail()
{
    const std::lock_guard<std::mutex> lock(m_lock);
    Clear();
    m_failed = true;
}

void CSendQueue::Reset()
{
    const std::lock_guard<std::mutex> lock(m_lock);
    Clear();
    m_failed = false;
}

// Small writes share a chunk, so that a queue of many tiny replies goes out
// in few sends. A chunk starts with room for several of them rather than
// growing through every small size.
void CSendQueue::Append(const char* data, std::size_t size)
{
    while (size > 0) {
        if (m_chunks.empty() || m_chunks.back().size() >= kChunk) {
            m_chunks.emplace_back();
            m_chunks.back().reserve(std::clamp(size, kFirstChunkRoom, kChunk));
        }
        std::string& back = m_chunks.back();
        const std::size_t part = std::min(size, kChunk - back.size());
        back.append(data, part);
        data += part;
        size -= part;
        m_queued += part;
    }
}

void CSendQueue::Clear()
{
    m_chunks.clear();
    m_offset = 0;
    m_queued = 0;
}

} // namespace kel::net
