#pragma once

// CReadAhead: reads an open file into a buffer on a thread of its own, so
// that the caller can look at what has arrived (hash it, scan it) while the
// rest is still being read, and can wait for more without holding up its
// window: a wait ends after a short time even when nothing came. The
// reading stops at the end of the file or of the buffer, on an error, or
// when the object goes (the destructor stops the thread and joins it).
#include <platform/FileHandle.h>
#include <platform/Types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace kel::bench {

class CReadAhead {
public:
    struct SState {
        size_t ready = 0;      // bytes read into the buffer so far
        bool bFinished = false; // no more will come
        int nError = 0;        // the system's error that ended the reading, or 0
    };

    // Starts reading `file` (at its position) into `data`, at most `count`
    // bytes; both must outlive the object.
    CReadAhead(kel::platform::CFileHandle& file, BYTE* data, size_t count);
    ~CReadAhead();
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;

    // Waits at most `wait` until more than `seen` bytes are ready or the
    // reading has finished; returns the state then.
    SState Wait(size_t seen, std::chrono::milliseconds wait);

private:
    void _Run();

    kel::platform::CFileHandle& m_file;
    BYTE* m_pData;
    size_t m_nCount;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    SState m_state;
    bool m_bStop = false;
    std::thread m_thread; // started when the rest is ready
};

} // namespace kel::bench
