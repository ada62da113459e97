#pragma once

// Readiness of descriptors for the network libraries: an epoll instance that
// hands each ready descriptor to one waiting thread (one-shot), an event that
// wakes every waiter once set, and a wait on one socket and such an event.
#include "KelExport.h"
#include "SocketTypes.h"

namespace kel::platform {

// CWakeEvent: an eventfd that stays readable once set.
class KELCORE_API CWakeEvent {
public:
    CWakeEvent() = default;
    ~CWakeEvent() { Close(); }
    CWakeEvent(const CWakeEvent&) = delete;
    CWakeEvent& operator=(const CWakeEvent&) = delete;

    bool Create();
    bool IsOpen() const { return m_fd >= 0; }
    int Descriptor() const { return m_fd; }
    void Set();
    // True when the event was set within `timeoutMs`.
    bool WaitSet(int timeoutMs) const;
    void Close();

private:
    int m_fd = -1;
};

// CEventPoll: an epoll instance. Connections are armed one-shot: once one is
// handed to a thread, no other thread gets it until it is armed again.
class KELCORE_API CEventPoll {
public:
    CEventPoll() = default;
    ~CEventPoll() { Close(); }
    CEventPoll(const CEventPoll&) = delete;
    CEventPoll& operator=(const CEventPoll&) = delete;

    bool Create();
    bool IsOpen() const { return m_fd >= 0; }
    // `event` wakes every waiter (its key is null) and keeps them awake.
    bool AddWakeEvent(const CWakeEvent& event);
    // Hands `socket` with `key` to one waiter when it becomes readable (data,
    // end of stream or failure); Rearm hands it out once more.
    bool AddOneShot(SOCKET socket, void* key);
    bool Rearm(SOCKET socket, void* key);
    // Waits without time-out for ready descriptors and puts up to
    // `capacity` of their keys (null for the wake event) into `keys`: the
    // count, or -1 when interrupted (errno EINTR) or when the instance is
    // unusable.
    int Wait(void** keys, int capacity);
    void Close();

private:
    int m_fd = -1;
};

// What WaitForSocket found.
enum class SocketWait { TimedOut, Stopped, Readable, Failed };

// Waits up to `timeoutMs` for `socket` to become readable (data or the end
// of the stream: Readable; an error condition: Failed) or `stop` to be set.
KELCORE_API SocketWait WaitForSocket(SOCKET socket, const CWakeEvent& stop, int timeoutMs);

} // namespace kel::platform
