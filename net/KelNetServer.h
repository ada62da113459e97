#pragma once

// CKelNetServer: an abstract IPv4 TCP server. One listener thread accepts
// connections; 2 x processors + 1 completion threads serve every connection
// through one epoll instance, with exactly one receive of up to 1024 bytes
// outstanding per connection. Everything the server learns goes to the eight
// hooks a derived class implements; the server interprets no data and never
// throws.
//
// Threads: Start and Stop belong to the owner's thread, never to a hook
// running on one of the server's own threads. Write, WriteAll and Close are
// thread safe and may be called from any thread, hooks included. Each hook
// says below on which thread it runs.
// The names kept from the interface this server was written against
// (SPerIOCPAddr, m_hIOCP, WSABUF, ...) are explained in the README's
// glossary, "Names kept from the original interface".
// A derived class calls Stop() in its own destructor, while its hooks can
// still be called; the base destructor stops a running server without hooks.
//
// Sends never wait for a peer: what the system does not take at once is
// queued per connection and sent in order by the server's send thread when
// the peer reads again. A peer that lets more than kKelSendQueueLimit bytes
// pile up, or takes none of its queued bytes for kKelSendStallLimitMs, has
// its connection closed as a failed one: vOnClose on a completion thread.
//
// Idle peers: a peer that connects and then neither sends nor reads holds
// its connection, and a descriptor, until it goes or the application ends
// it; the server does not guess how long an application's clients may
// think. An application that wants a limit runs a thread of its own that
// walks _g_plistPerIOHandle (under _g_criticalsectionServer) now and then,
// notes each record it has not met before, and calls Close on records that
// have had no vOnRead for too long since. vOnAccept comes before the record
// exists, so a peer that never sends is found only by that walk. When the
// process runs out of descriptors, the listener reports vOnError once and
// waits longer and longer (up to two seconds) between attempts to accept,
// until a connection can be accepted again.
#include <KelAddr/NetExport.h>
#include <KelAddr/NetSendLimits.h>
#include <KelCore/platform/CriticalSection.h>
#include <KelCore/platform/EventPoll.h>
#include <KelCore/platform/SocketTypes.h>
#include <KelCore/platform/StringW.h>
#include <KelCore/platform/Types.h>

#include <atomic>
#include <list>
#include <memory>
#include <thread>

inline constexpr int kPerIOBufferSize = 1024;

// One accepted connection. Created by the listener thread, owned and freed by
// the server; the application gets it in vOnRead and hands it back to Write
// and Close.
struct SPerIOCPAddr {
    SOCKET sockClient = INVALID_SOCKET;
    sockaddr_in addrClient{}; // the peer, as accept returned it
};

// Length and address of a receive buffer.
struct WSABUF {
    ULONG len = 0;
    char* buf = nullptr;
};

// The receive of one connection, reused for every receive. (No overlapped
// header on Linux: the connection is found from the epoll event itself.)
struct SPerIOCPData {
    BYTE buffer[kPerIOBufferSize] = {};
    WSABUF wsaBuf{kPerIOBufferSize, reinterpret_cast<char*>(buffer)};
};

// The class-wide list of open connections, in accept order. Read it only
// while holding CKelNetServer::_g_criticalsectionServer; only the server
// changes it.
class KELLISTEN_API CPerIOHandleList {
public:
    using const_iterator = std::list<SPerIOCPAddr*>::const_iterator;

    CPerIOHandleList();
    ~CPerIOHandleList();
    CPerIOHandleList(const CPerIOHandleList&) = delete;
    CPerIOHandleList& operator=(const CPerIOHandleList&) = delete;

    int GetCount() const { return static_cast<int>(m_list.size()); }
    bool IsEmpty() const { return m_list.empty(); }
    // Compares addresses only: safe for a pointer whose record is gone.
    bool Contains(const SPerIOCPAddr* connection) const;
    const_iterator begin() const { return m_list.begin(); }
    const_iterator end() const { return m_list.end(); }

private:
    friend class CKelNetServer;
    struct Index; // where each record sits in the list, by address
    void AddTail(SPerIOCPAddr* connection);
    bool Remove(SPerIOCPAddr* connection);

    std::list<SPerIOCPAddr*> m_list;
    std::unique_ptr<Index> m_index;
};

class KELLISTEN_API CKelNetServer {
public:
    CKelNetServer();
    virtual ~CKelNetServer();
    CKelNetServer(const CKelNetServer&) = delete;
    CKelNetServer& operator=(const CKelNetServer&) = delete;

    // Binds `ip`:`port` and starts the threads; true also when already
    // started. A bind or listen failure is reported by vOnError on the
    // listener thread and leaves the server started. Port 0 binds an
    // ephemeral port, which is written back to `port` before vOnStart.
    // False only when the threads or the epoll instance cannot be created.
    bool Start(const wchar_t* ip, int& port);
    // Closes every connection of the process, joins every thread of this
    // server, then calls vOnStop with the number of connections that were
    // open. No hook runs on a server thread after Stop returns.
    void Stop();
    // Sends `size` bytes on a listed connection without waiting (what the
    // peer cannot take yet is queued, behind bytes queued before), then
    // vOnWrite with the count taken: `size`, or after vOnError what the
    // system took when the send failed, the connection is gone, or its queue
    // would pass kKelSendQueueLimit (the connection is then closed as a
    // failed one).
    void Write(SPerIOCPAddr* connection, const BYTE* data, const int& size);
    // Sends the same bytes to every listed connection as Write does; each
    // failure calls vOnError; at the end vOnWriteAll.
    void WriteAll(const BYTE* data, const int& size);
    // Ends a listed connection without any hook; other pointers are ignored.
    // Bytes still queued for it are dropped.
    void Close(SPerIOCPAddr* connection);

    // The connections of every server of the process and their lock.
    static CPerIOHandleList _g_plistPerIOHandle;
    static CCriticalSection _g_criticalsectionServer;

protected:
    // How long queued bytes may wait with none taken before their connection
    // is closed; kKelSendStallLimitMs unless set. Any thread.
    void SetSendStallLimit(DWORD milliseconds);

    // Caller's thread of Start, after the threads started.
    virtual void vOnStart(const wchar_t* ip, int& port) = 0;
    // Caller's thread of Stop, at the end.
    virtual void vOnStop(int connections) = 0;
    // Listener thread, before the connection's record exists.
    virtual void vOnAccept(sockaddr_in* peer) = 0;
    // A completion thread; the data are the first `bytes` bytes of
    // io->buffer. Calls for one connection never overlap.
    virtual void vOnRead(SPerIOCPAddr* connection, SPerIOCPData* io, DWORD bytes) = 0;
    // Caller's thread of Write.
    virtual void vOnWrite(SPerIOCPAddr* connection, const BYTE* data, const int& sent) = 0;
    // Caller's thread of WriteAll, after all sends.
    virtual void vOnWriteAll(const BYTE* data, const int& size) = 0;
    // A completion thread, when the peer closed or the connection failed.
    virtual void vOnClose(sockaddr_in* peer) = 0;
    // Listener thread when it ends on a failure or first runs out of
    // descriptors; caller's thread of Write or WriteAll when a send fails.
    virtual void vOnError() = 0;

private:
    struct Record;          // a connection with its receive, as the server keeps it
    struct CompletionSlot;  // a completion thread and the record it serves
    struct Records;         // this server's records and completion slots

    static unsigned _ThreadListen(void* server);
    static unsigned _ThreadCompletion(void* server);

    bool _OpenListenSocket();
    void _AcceptLoop();
    void _BackOff(int& waitMs);
    void _AddConnection(SOCKET socket, const sockaddr_in& peer);
    void _CompletionLoop();
    void _Receive(Record* record, CompletionSlot& slot);
    Record* _ServedHere(SPerIOCPAddr* connection) const;
    void _EndConnection(Record* record);
    void _SignalStop();
    void _StopThreads();
    void _StopServer(bool callHooks);
    bool _Send(Record* record, const BYTE* data, int size, int& sent);
    static unsigned _ThreadSend(void* server);
    void _SendLoop();
    void _FlushQueued(Record* record);
    void _DropStalled();
    static void _WatchSend(Record* record);
    static void _ForgetSend(Record* record);
    static void _DropConnection(Record* record);
    static void _Unpin(Record* record);
    static void _Finish(Record* record);
    static void _Free(Record* record);

    bool m_bStart = false;
    DWORD m_nThreadCount = 0;
    CStringW m_strIP;
    int m_nPort = 0;
    SOCKET m_socketListen = INVALID_SOCKET;
    std::thread m_hThreadListen;
    kel::platform::CEventPoll m_hIOCP;
    std::unique_ptr<std::thread[]> m_phThreadCompletion;

    kel::platform::CWakeEvent m_hStopEvent;    // wakes every completion thread
    std::atomic<bool> m_bStopping{false};
    std::atomic<bool> m_bHooks{true};          // false while the destructor stops the server
    std::atomic<DWORD> m_nSendStallLimitMs{kKelSendStallLimitMs};
    std::unique_ptr<Records> m_records;
};
