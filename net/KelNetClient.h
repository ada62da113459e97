#pragma once

// CKelNetClient: an abstract IPv4 TCP client. Connect opens one connection
// (waiting at most the connect time-out) and starts an event thread that
// waits on the socket and a stop event, waking at least every 300 ms, and
// reads whatever arrives. Writes never wait: what the system does not take at
// once is queued and sent, in order, by the event thread when the server
// reads again; a server that lets more than kKelSendQueueLimit bytes pile up,
// or takes none of them for the send stall limit (kKelSendStallLimitMs unless
// set), fails the connection (vOnError, not alive). Every event goes to the
// five hooks a derived class implements; nothing throws.
//
// The alive flag and the events are class-wide, as the family's applications
// expect: a process has one connected client at a time, and constructing a
// client resets them.
//
// Threads: Connect and Close run on the owner's thread, and Close also on the
// event thread when the peer closes; WriteBytes may be called from any
// thread. Close from the owner waits for the event thread to end, so it must
// not be called while holding a lock that a hook takes. A derived class
// calls Close() in its own destructor, while its hooks can still be called:
// by the time the base destructor runs, the event thread may be about to call
// a hook of a derived part that is gone. The base destructor then only
// releases the connection quietly, without hooks. A client is never destroyed
// from one of its own hooks.
#include <KelAddr/NetExport.h>
#include <KelAddr/NetSendLimits.h>
#include <KelCore/platform/CriticalSection.h>
#include <KelCore/platform/EventPoll.h>
#include <KelCore/platform/SocketTypes.h>
#include <KelCore/platform/StringW.h>
#include <KelCore/platform/Types.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace kel::net {
class CSendQueue;
}

class KELREACH_API CKelNetClient {
public:
    CKelNetClient();
    // Quietly releases a client that is still connected, without hooks.
    virtual ~CKelNetClient();
    CKelNetClient(const CKelNetClient&) = delete;
    CKelNetClient& operator=(const CKelNetClient&) = delete;

    // `ip` is a dotted IPv4 address in the system code page; the low 16 bits
    // of `port` are used. Failures are reported by vOnError only.
    void Connect(const char* ip, unsigned int& port);
    // Ends the connection: stops the event thread, closes the socket, then
    // vOnClose. Queued bytes that the server cannot take at once are
    // dropped. Does nothing unless the client is alive.
    void Close();
    bool IsAlive();
    // Sends without waiting; what the server cannot take yet is queued
    // behind bytes queued before. Returns the count taken (`size`), or after
    // vOnError what the system took when the send failed or the queue would
    // pass kKelSendQueueLimit (the connection then fails). Any thread.
    DWORD WriteBytes(const BYTE* data, const int& size);
    SOCKET* GetSocket();
    // Dotted form of the local address of the socket.
    CString getstrIP();
    // How long Connect waits for the server; 10 seconds unless set.
    void SetConnectTimeout(const DWORD& milliseconds);
    // How long queued bytes may wait with none taken before the connection
    // fails; kKelSendStallLimitMs unless set.
    void SetSendStallLimit(const DWORD& milliseconds);

    static std::atomic<bool> _m_bIsAlive;
    // [0] the stop event, [1] the socket whose events the thread waits for;
    // -1 when none.
    static std::atomic<int> _m_hEvenets[2];
    // For derived classes; the client's own operations do not take it.
    static CCriticalSection _g_criticalsectionClient;

protected:
    // Caller's thread of Connect, once connected, before the event thread.
    virtual void vOnConnect(const char* ip, unsigned int& port) = 0;
    // The thread that called Close (the event thread when the peer closed),
    // before the alive flag is cleared.
    virtual void vOnClose() = 0;
    // Event thread; up to 1024 bytes (0 after a failed receive).
    virtual void vOnRead(const BYTE* data, const DWORD& bytes) = 0;
    // Caller's thread of WriteBytes, after the send.
    virtual void vOnWrite(const BYTE* data, const int& size) = 0;
    // Whichever thread found the failure.
    virtual void vOnError() = 0;

private:
    DWORD _ReadBytes();
    static unsigned _EventThread(void* client);
    void _EventLoop();
    bool _ConnectSocket(const char* ip, unsigned int port);
    void _ReleaseConnection();
    void _JoinEventThread();
    bool _OnEventThread() const;
    bool _FlushQueued();
    void _FailSending();

    SOCKET m_socket = INVALID_SOCKET;
    sockaddr_in m_addrServer{};
    std::thread m_hThread;

    kel::platform::CWakeEvent m_hStopEvent;
    kel::platform::CWakeEvent m_hSendEvent; // a queue has started: the event thread watches for room
    std::unique_ptr<kel::net::CSendQueue> m_sendQueue;
    std::atomic<DWORD> m_nSendStallLimitMs{kKelSendStallLimitMs};
    std::mutex m_socketLock;           // a send never meets a closing socket
    std::atomic<bool> m_bClosing{false};
    std::atomic<bool> m_bHooks{true};  // false once the destructor has begun
    std::atomic<bool> m_bConnected{false}; // this object holds the connection
    std::atomic<std::thread::id> m_eventThreadId{};
    std::mutex m_joinLock;             // one thread at a time joins the event thread
    DWORD m_nConnectTimeoutMs = 10000;
};
