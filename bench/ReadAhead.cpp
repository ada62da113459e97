#include "ReadAhead.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace kel::bench {

namespace {

// Bytes read per call: large enough for full speed, small enough that the
// reader publishes its progress often.
constexpr size_t kReadBlock = 1 << 20;

} // namespace

CReadAhead::CReadAhead(kel::platform::CFileHandle& file, BYTE* data, size_t count)
    : m_file(file)
    , m_pData(data)
    , m_nCount(count)
{
    try {
        m_thread = std::thread([this] { _Run(); });
    } catch (const std::system_error&) {
        _Run(); // no thread to be had: the file is read here and now, whole
    }
}

CReadAhead::~CReadAhead()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    if (m_thread.joinable())
        m_thread.join();
}

CReadAhead::SState CReadAhead::Wait(size_t seen, std::chrono::milliseconds wait)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, wait, [&] { return m_state.ready > seen || m_state.bFinished; });
    return m_state;
}

void CReadAhead::_Run()
{
    size_t total = 0;
    int error = 0;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_bStop)
                break;
        }
        const size_t want = std::min(kReadBlock, m_nCount - total);
        size_t read = 0;
        if (want > 0 && !m_file.Read(m_pData + total, want, read)) {
            error = errno != 0 ? errno : EIO;
            break;
        }
        total += read;
        if (read < kReadBlock)
            break; // the end of the file, or the buffer is full
        std::lock_guard<std::mutex> lock(m_mutex);
        m_state.ready = total;
        m_changed.notify_all();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_state.ready = total;
    m_state.nError = error;
    m_state.bFinished = true;
    m_changed.notify_all();
}

} // namespace kel::bench
