#pragma once

// Readiness of descriptors for the network libraries: an epoll instance that
// hands each ready descriptor to one waiting thread (one-shot), an event that
// wakes every waiter once set, and a wait on one socket and such events.
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
    // Clears the event, for an event used more than once.
    void Reset();
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
    // Hands `socket` with `key` to a waiter whenever it can take more bytes
    // (or has failed), until it is removed. A socket already watched by
    // another instance for reading may be watched here for writing.
    bool AddWritable(SOCKET socket, void* key);
    bool Remove(SOCKET socket);
    // Waits for ready descriptors, without time-out or up to `timeoutMs`,
    // and puts up to `capacity` of their keys (null for the wake event) into
    // `keys`: the count (0 after the time-out), or -1 when interrupted
    // (errno EINTR) or when the instance is unusable.
    int Wait(void** keys, int capacity, int timeoutMs = -1);
    void Close();

private:
    int m_fd = -1;
};

// What WaitForSocketIO found; several at once are possible.
struct SocketReady {
    bool stopped = false;  // the stop event is set
    bool kicked = false;   // the kick event is set
    bool readable = false; // data or the end of the stream
    bool writable = false; // asked for, and the socket takes more bytes
    bool failed = false;   // an error condition on the socket
};

// Waits up to `timeoutMs` for `socket` (readable, and writable when
// `wantWrite`), `stop` or `kick`. Nothing set means the time-out (or an
// interrupted wait: the caller looks again).
KELCORE_API SocketReady WaitForSocketIO(SOCKET socket, const CWakeEvent& stop, const CWakeEvent& kick,
                                        bool wantWrite, int timeoutMs);

} // namespace kel::platform
