#include "KelNetServer.h"

#include "NetServerRecords.h"
#include "platform/StreamSocket.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <vector>

using kel::platform::CloseSocket;
using kel::platform::ESocketFailure;
using kel::platform::LastSocketFailure;
using kel::platform::ShutdownBoth;

namespace {

// Waits of the listener between failed accepts while the process is out of
// descriptors: doubled after each failure, from the first to the longest.
constexpr int kAcceptBackOffFirstMs = 50;
constexpr int kAcceptBackOffLongestMs = 2000;
constexpr size_t kBuffersPerReceive = 16;
constexpr int kConnectionsPerWait = 8;

// A failed accept after which the listener simply goes on.
bool IsPassingAcceptFailure(ESocketFailure failure)
{
    return failure == ESocketFailure::PendingFailed || failure == ESocketFailure::Interrupted
        || failure == ESocketFailure::WouldBlock;
}

unsigned ThreadCountForThisMachine()
{
    const unsigned processors = std::thread::hardware_concurrency();
    return 2 * (processors ? processors : 1) + 1;
}

} // namespace

// Closes the socket and frees the record, once no re-arm is still using it.
void CKelNetServer::_Free(Record* record)
{
    { const std::lock_guard<std::mutex> wait(record->arming); }
    _ForgetSend(record);
    CloseSocket(record->sockClient);
    delete record;
}

struct CPerIOHandleList::Index {
    std::unordered_map<const SPerIOCPAddr*, std::list<SPerIOCPAddr*>::iterator> at;
};

CPerIOHandleList CKelNetServer::_g_plistPerIOHandle;
CCriticalSection CKelNetServer::_g_criticalsectionServer;

CPerIOHandleList::CPerIOHandleList() : m_index(std::make_unique<Index>()) {}
CPerIOHandleList::~CPerIOHandleList() = default;

bool CPerIOHandleList::Contains(const SPerIOCPAddr* connection) const
{
    return m_index->at.count(connection) != 0;
}

void CPerIOHandleList::AddTail(SPerIOCPAddr* connection)
{
    if (Contains(connection))
        return;
    m_list.push_back(connection);
    m_index->at.emplace(connection, std::prev(m_list.end()));
}

bool CPerIOHandleList::Remove(SPerIOCPAddr* connection)
{
    const auto found = m_index->at.find(connection);
    if (found == m_index->at.end())
        return false;
    m_list.erase(found->second);
    m_index->at.erase(found);
    return true;
}

CKelNetServer::CKelNetServer()
    : m_nThreadCount(ThreadCountForThisMachine()),
      m_phThreadCompletion(std::make_unique<std::thread[]>(m_nThreadCount)),
      m_records(std::make_unique<Records>(m_nThreadCount))
{
}

CKelNetServer::~CKelNetServer()
{
    // The derived part is gone: no hook may run any more.
    m_bHooks = false;
    _StopServer(false);
}

bool CKelNetServer::Start(const wchar_t* ip, int& port)
{
    if (m_bStart)
        return true;
    m_strIP = ip ? ip : L"";
    m_nPort = port;
    m_bStopping = false;

    // The stop event stays set once set, so it wakes every thread.
    kel::platform::CEventPoll& sendPoll = m_records->sendPoll;
    if (!m_hIOCP.Create() || !m_hStopEvent.Create() || !m_hIOCP.AddWakeEvent(m_hStopEvent)
        || !sendPoll.Create() || !sendPoll.AddWakeEvent(m_hStopEvent)) {
        m_hIOCP.Close();
        sendPoll.Close();
        m_hStopEvent.Close();
        return false;
    }

    // Bound before Start returns, so that a client may connect at once and an
    // ephemeral port can be reported; failures reach vOnError on the
    // listener thread.
    if (_OpenListenSocket())
        port = m_nPort;

    try {
        for (DWORD i = 0; i < m_nThreadCount; ++i)
            m_phThreadCompletion[i] = std::thread(&CKelNetServer::_ThreadCompletion, this);
        m_records->sendThread = std::thread(&CKelNetServer::_ThreadSend, this);
        m_hThreadListen = std::thread(&CKelNetServer::_ThreadListen, this);
    } catch (const std::system_error&) {
        _SignalStop();
        _StopThreads();
        CloseSocket(m_socketListen);
        m_hIOCP.Close();
        sendPoll.Close();
        m_hStopEvent.Close();
        return false;
    }
    // Marked first, so that a hook that throws or stops the server still
    // leaves a server that Stop and the destructor can end.
    m_bStart = true;
    vOnStart(ip, port);
    return true;
}

bool CKelNetServer::_OpenListenSocket()
{
    std::string text;
    sockaddr_in address{};
    address.sin_port = htons(static_cast<uint16_t>(m_nPort));
    // A port out of range would otherwise be cut to 16 bits and bind a
    // port nobody asked for.
    if (m_nPort < 0 || m_nPort > 65535
        || !kel::platform::AddressBytes(m_strIP, kel::platform::kMaxDottedLength, text)
        || !kel::platform::ParseDottedIPv4(text, address.sin_addr))
        return false;
    m_socketListen = kel::platform::ListenIPv4(address, kel::platform::MostPendingConnections());
    if (m_socketListen == INVALID_SOCKET)
        return false;
    m_nPort = ntohs(address.sin_port);
    return true;
}

unsigned CKelNetServer::_ThreadListen(void* server)
{
    static_cast<CKelNetServer*>(server)->_AcceptLoop();
    return 0;
}

void CKelNetServer::_AcceptLoop()
{
    if (m_socketListen == INVALID_SOCKET) {
        if (m_bHooks)
            vOnError();
        return;
    }
    int backOffMs = 0; // 0 while accepting goes well
    for (;;) {
        sockaddr_in peer{};
        const SOCKET socket = kel::platform::AcceptIPv4(m_socketListen, peer);
        const ESocketFailure failure = socket == INVALID_SOCKET ? LastSocketFailure() : ESocketFailure::Other;
        if (m_bStopping) {
            SOCKET unwanted = socket;
            CloseSocket(unwanted);
            return;
        }
        if (socket != INVALID_SOCKET) {
            backOffMs = 0;
            if (m_bHooks)
                vOnAccept(&peer);
            _AddConnection(socket, peer);
        } else if (IsPassingAcceptFailure(failure)) {
            continue;
        } else if (failure == ESocketFailure::OutOfResources) {
            _BackOff(backOffMs);
        } else {
            if (m_bHooks)
                vOnError();
            return;
        }
    }
}

// Out of descriptors or memory. Ending here would leave the server deaf for
// good: report the shortage once, then try again after longer and longer
// waits, since the connection waiting to be accepted keeps the next attempt
// failing until something is released (the stop event cuts a wait short).
void CKelNetServer::_BackOff(int& waitMs)
{
    if (waitMs == 0) {
        if (m_bHooks)
            vOnError();
        waitMs = kAcceptBackOffFirstMs;
    } else {
        waitMs = std::min(2 * waitMs, kAcceptBackOffLongestMs);
    }
    m_hStopEvent.WaitSet(waitMs);
}

void CKelNetServer::_AddConnection(SOCKET socket, const sockaddr_in& peer)
{
    auto* record = new (std::nothrow) Record;
    if (!record) {
        SOCKET unserved = socket;
        CloseSocket(unserved);
        if (m_bHooks)
            vOnError();
        return;
    }
    record->sockClient = socket;
    record->addrClient = peer;
    record->owner = this;
    // Replies go out as they are written: a request answered in several
    // writes would otherwise wait for the peer's delayed acknowledgement.
    kel::platform::SetNoDelay(socket);

    bool armed;
    {
        ServerListLock lock;
        _g_plistPerIOHandle.AddTail(record);
        m_records->unfreed.insert(record);
        record->handOver.store(1, std::memory_order_release);
        armed = m_hIOCP.AddOneShot(socket, record);
        if (!armed) {
            _g_plistPerIOHandle.Remove(record);
            _Finish(record);
        }
    }
    if (!armed && m_bHooks)
        vOnError();
}

unsigned CKelNetServer::_ThreadCompletion(void* server)
{
    static_cast<CKelNetServer*>(server)->_CompletionLoop();
    return 0;
}

void CKelNetServer::_CompletionLoop()
{
    CompletionSlot* slot = nullptr;
    for (DWORD i = 0; !slot; i = (i + 1) % m_nThreadCount) {
        std::thread::id free;
        if (m_records->slots[i].thread.compare_exchange_strong(free, std::this_thread::get_id()))
            slot = &m_records->slots[i];
    }
    // A few ready connections per wait save a wait per message when many
    // are busy; each is still this thread's alone until it is armed again.
    void* keys[kConnectionsPerWait];
    for (bool running = true; running;) {
        const int count = m_hIOCP.Wait(keys, kConnectionsPerWait);
        if (count < 0 && LastSocketFailure() != ESocketFailure::Interrupted)
            break; // the epoll instance is unusable: nothing more can arrive
        for (int i = 0; i < count && running; ++i) {
            running = keys[i] != nullptr; // the stop event
            if (!running)
                break;
            auto* record = static_cast<Record*>(keys[i]);
            record->handOver.load(std::memory_order_acquire);
            _Receive(record, *slot);
        }
    }
    slot->thread = std::thread::id();
}

// Handles one readiness of a connection: one receive of up to 16 receive
// buffers' worth, handed to vOnRead a buffer (1024 bytes) at a time. A
// receive shorter than that took everything there was, without a second
// call to find out; a full one may leave more waiting, and the connection,
// armed again, comes straight back (so that one busy peer cannot hold the
// thread). EPOLLONESHOT keeps other threads away meanwhile, so there is
// never more than one receive per connection.
void CKelNetServer::_Receive(Record* record, CompletionSlot& slot)
{
    thread_local BYTE staging[kBuffersPerReceive * kPerIOBufferSize];
    const ssize_t received = kel::platform::ReceiveNow(record->sockClient, staging, sizeof staging);
    const bool nothingWaiting = received < 0 && LastSocketFailure() == ESocketFailure::WouldBlock;
    for (ssize_t at = 0; at < received; at += kPerIOBufferSize) {
        if (record->closed.load(std::memory_order_acquire) || record->dropped)
            break;
        // The hook sees its bytes followed by zeros, as in a cleared buffer.
        const size_t part = std::min<size_t>(kPerIOBufferSize, static_cast<size_t>(received - at));
        std::memcpy(record->io.buffer, staging + at, part);
        std::memset(record->io.buffer + part, 0, kPerIOBufferSize - part);
        record->io.wsaBuf = WSABUF{kPerIOBufferSize, reinterpret_cast<char*>(record->io.buffer)};
        if (m_bHooks) {
            slot.serving = record;
            vOnRead(record, &record->io, static_cast<DWORD>(part));
            slot.serving = nullptr;
        }
    }
    // Data taken, or none waiting: the connection goes on. End of stream, a
    // failed receive or failed sends end it.
    const bool connectionGoesOn = (received > 0 || nothingWaiting) && !record->dropped;
    if (connectionGoesOn && !record->closed.load(std::memory_order_acquire)) {
        // Armed without the section: a Close or Stop that comes meanwhile
        // shuts the socket down, which makes it readable, so the record still
        // comes back to a completion thread that frees it.
        record->handOver.fetch_add(1, std::memory_order_release);
        bool rearmed;
        {
            const std::lock_guard<std::mutex> arming(record->arming);
            rearmed = m_hIOCP.Rearm(record->sockClient, record);
        }
        if (rearmed)
            return;
        // The next receive could not be posted: the connection cannot go on.
    }
    _EndConnection(record);
}

// The record of `connection` when this thread is inside vOnRead for it (and
// nobody closed it meanwhile); otherwise null.
CKelNetServer::Record* CKelNetServer::_ServedHere(SPerIOCPAddr* connection) const
{
    const auto self = std::this_thread::get_id();
    for (DWORD i = 0; i < m_nThreadCount; ++i) {
        const CompletionSlot& slot = m_records->slots[i];
        if (slot.thread.load(std::memory_order_relaxed) != self)
            continue;
        if (!connection || slot.serving != connection || slot.serving->closed.load(std::memory_order_acquire))
            return nullptr;
        return slot.serving;
    }
    return nullptr;
}

// The peer closed, the connection failed, or it could not be armed again.
void CKelNetServer::_EndConnection(Record* record)
{
    {
        ServerListLock lock;
        if (record->closed) {
            _Finish(record);
            return;
        }
        _g_plistPerIOHandle.Remove(record);
        record->closed = true;
        ShutdownBoth(record->sockClient);
    }
    if (m_bHooks)
        vOnClose(&record->addrClient);
    ServerListLock lock;
    _Finish(record);
}

// Under the section. The server lets go of the record; the last sender
// still using it frees it (see _Unpin).
void CKelNetServer::_Finish(Record* record)
{
    record->finished = true;
    record->owner->m_records->unfreed.erase(record);
    if (record->pins == 0) {
        _Free(record);
    } else {
        ShutdownBoth(record->sockClient);
    }
}

// Under the section.
void CKelNetServer::_Unpin(Record* record)
{
    if (--record->pins == 0 && record->finished)
        _Free(record);
}

void CKelNetServer::Close(SPerIOCPAddr* connection)
{
    ServerListLock lock;
    if (!connection || !_g_plistPerIOHandle.Remove(connection))
        return;
    // Shut down now; the completion that this causes frees the record, so a
    // thread still inside vOnRead for it keeps a valid record.
    auto* record = static_cast<Record*>(connection);
    record->closed = true;
    ShutdownBoth(record->sockClient);
}

void CKelNetServer::Stop()
{
    _StopServer(true);
}

void CKelNetServer::_StopServer(bool callHooks)
{
    if (!m_bStart)
        return;
    // A hook cannot stop its own server: the thread would have to join itself.
    const auto self = std::this_thread::get_id();
    if (m_hThreadListen.get_id() == self)
        return;
    for (DWORD i = 0; i < m_nThreadCount; ++i) {
        if (m_phThreadCompletion[i].get_id() == self)
            return;
    }

    _SignalStop();
    if (m_socketListen != INVALID_SOCKET)
        ShutdownBoth(m_socketListen); // wakes the blocking accept
    if (m_hThreadListen.joinable())
        m_hThreadListen.join();
    CloseSocket(m_socketListen);

    int open = 0;
    {
        ServerListLock lock;
        open = _g_plistPerIOHandle.GetCount();
        while (!_g_plistPerIOHandle.IsEmpty()) {
            auto* record = static_cast<Record*>(*_g_plistPerIOHandle.begin());
            _g_plistPerIOHandle.Remove(record);
            record->closed = true;
            ShutdownBoth(record->sockClient);
        }
    }
    _StopThreads();
    {
        // Nothing runs on this server's threads any more: free what is left.
        ServerListLock lock;
        const std::vector<Record*> remaining(m_records->unfreed.begin(), m_records->unfreed.end());
        for (Record* record : remaining)
            _Finish(record);
    }
    m_hIOCP.Close();
    m_records->sendPoll.Close();
    m_hStopEvent.Close();
    if (callHooks && m_bHooks)
        vOnStop(open);
    m_bStart = false;
}

void CKelNetServer::_SignalStop()
{
    m_bStopping = true;
    m_hStopEvent.Set();
}

void CKelNetServer::_StopThreads()
{
    for (DWORD i = 0; i < m_nThreadCount; ++i) {
        if (m_phThreadCompletion[i].joinable())
            m_phThreadCompletion[i].join();
    }
    if (m_records->sendThread.joinable())
        m_records->sendThread.join();
    if (m_hThreadListen.joinable())
        m_hThreadListen.join();
}
