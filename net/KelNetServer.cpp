#include "KelNetServer.h"

#include "platform/StreamSocket.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <vector>

using kel::platform::CloseSocket;
using kel::platform::ShutdownBoth;

namespace {

constexpr int kListenBacklog = 5;
constexpr int kAcceptBackOffMs = 100;
constexpr int kReceivesPerTurn = 16;
constexpr int kConnectionsPerWait = 8;

// Holds the class-wide section for one scope.
class ServerListLock {
public:
    ServerListLock() { CKelNetServer::_g_criticalsectionServer.Lock(); }
    ~ServerListLock() { CKelNetServer::_g_criticalsectionServer.Unlock(); }
    ServerListLock(const ServerListLock&) = delete;
    ServerListLock& operator=(const ServerListLock&) = delete;
};

// Errors that Linux passes on from a connection that failed before it was
// accepted; the listening socket itself is fine.
bool IsPendingConnectionError(int error)
{
    switch (error) {
    case EINTR: case ECONNABORTED: case EPROTO: case ENETDOWN: case ENOPROTOOPT:
    case EHOSTDOWN: case ENONET: case EHOSTUNREACH: case EOPNOTSUPP: case ENETUNREACH:
    case EAGAIN:
        return true;
    default:
        return false;
    }
}

// Out of descriptors or memory: accepting can succeed again later.
bool IsResourceShortage(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

unsigned ThreadCountForThisMachine()
{
    const unsigned processors = std::thread::hardware_concurrency();
    return 2 * (processors ? processors : 1) + 1;
}

// One blocking send; false when it failed or there was nothing valid to send.
bool SendOnce(SOCKET socket, const BYTE* data, int size, int& sent)
{
    sent = 0;
    if (size < 0 || (!data && size > 0))
        return false;
    const ssize_t result = kel::platform::SendOnce(socket, data, static_cast<size_t>(size), true);
    if (result < 0)
        return false;
    sent = static_cast<int>(result);
    return true;
}

} // namespace

// The server's side of a connection: the application's record, its receive,
// and who may still use it.
struct CKelNetServer::Record : SPerIOCPAddr {
    SPerIOCPData io;
    CKelNetServer* owner = nullptr;
    int pins = 0;          // sends of Write and WriteAll in progress
    std::atomic<bool> closed{false}; // ended by Close or Stop: freed without vOnClose (set under the section)
    bool finished = false; // the server is done with it; freed once unpinned
    // Stored before the record is armed, loaded after epoll hands it over:
    // makes the hand-over between threads visible to the memory model (and
    // to ThreadSanitizer), which cannot see through the kernel.
    std::atomic<unsigned> handOver{0};
    // Held around re-arming, which runs without the section: the completion
    // that the re-arm lets in may reach another thread before the call
    // returns, and the record is freed only once it has.
    std::mutex arming;
};

// Closes the socket and frees the record, once no re-arm is still using it.
void CKelNetServer::_Free(Record* record)
{
    { const std::lock_guard<std::mutex> wait(record->arming); }
    CloseSocket(record->sockClient);
    delete record;
}

// A completion thread claims a slot when it starts. While it hands a record
// to vOnRead, the slot names it: a Write from that hook to that record finds
// it there and needs no section, since only this thread can free it.
struct CKelNetServer::CompletionSlot {
    std::atomic<std::thread::id> thread{}; // set by the thread itself
    Record* serving = nullptr;             // used by that thread only
};

struct CKelNetServer::Records {
    explicit Records(DWORD threads) : slots(std::make_unique<CompletionSlot[]>(threads)) {}
    std::unordered_set<Record*> unfreed; // under the section
    std::unique_ptr<CompletionSlot[]> slots;
};

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
    if (!m_hIOCP.Create() || !m_hStopEvent.Create() || !m_hIOCP.AddWakeEvent(m_hStopEvent)) {
        m_hIOCP.Close();
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
        m_hThreadListen = std::thread(&CKelNetServer::_ThreadListen, this);
    } catch (const std::system_error&) {
        _SignalStop();
        _StopThreads();
        CloseSocket(m_socketListen);
        m_hIOCP.Close();
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
    m_socketListen = kel::platform::ListenIPv4(address, kListenBacklog);
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
    for (;;) {
        sockaddr_in peer{};
        const SOCKET socket = kel::platform::AcceptIPv4(m_socketListen, peer);
        const int error = errno;
        if (m_bStopping) {
            SOCKET unwanted = socket;
            CloseSocket(unwanted);
            return;
        }
        if (socket != INVALID_SOCKET) {
            if (m_bHooks)
                vOnAccept(&peer);
            _AddConnection(socket, peer);
        } else if (IsPendingConnectionError(error)) {
            continue;
        } else if (IsResourceShortage(error)) {
            // Ending here would leave the server deaf for good; report and
            // try again shortly (the stop event cuts the wait short).
            if (m_bHooks)
                vOnError();
            m_hStopEvent.WaitSet(kAcceptBackOffMs);
        } else {
            if (m_bHooks)
                vOnError();
            return;
        }
    }
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
        if (count < 0 && errno != EINTR)
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

// Handles one readiness of a connection. A receive that fills the buffer may
// leave more waiting, so it is followed by another at once (up to a few, so
// that one busy peer cannot hold the thread); a shorter one took everything
// there was, and the connection is armed again. EPOLLONESHOT keeps other
// threads away meanwhile, so there is never more than one receive per
// connection.
void CKelNetServer::_Receive(Record* record, CompletionSlot& slot)
{
    ssize_t received = 0;
    int receiveError = 0;
    for (int turn = 0; turn < kReceivesPerTurn; ++turn) {
        received = kel::platform::ReceiveNow(record->sockClient, record->io.buffer, kPerIOBufferSize);
        receiveError = received < 0 ? errno : 0;
        if (received <= 0 || record->closed.load(std::memory_order_acquire))
            break;
        if (m_bHooks) {
            slot.serving = record;
            vOnRead(record, &record->io, static_cast<DWORD>(received));
            slot.serving = nullptr;
        }
        std::memset(record->io.buffer, 0, sizeof record->io.buffer);
        record->io.wsaBuf = WSABUF{kPerIOBufferSize, reinterpret_cast<char*>(record->io.buffer)};
        if (received < kPerIOBufferSize)
            break;
    }
    // Data taken, or none waiting: the connection goes on. End of stream or a
    // failed receive ends it.
    const bool connectionGoesOn = received > 0 || receiveError == EAGAIN || receiveError == EWOULDBLOCK;
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

void CKelNetServer::Write(SPerIOCPAddr* connection, const BYTE* data, const int& size)
{
    int sent = 0;
    bool sentOk = false;
    if (Record* served = _ServedHere(connection)) {
        // The usual reply, from vOnRead to its own connection.
        sentOk = SendOnce(served->sockClient, data, size, sent);
    } else {
        Record* record = nullptr;
        {
            ServerListLock lock;
            if (connection && _g_plistPerIOHandle.Contains(connection)) {
                record = static_cast<Record*>(connection);
                ++record->pins;
            }
        }
        if (record) {
            sentOk = SendOnce(record->sockClient, data, size, sent);
            ServerListLock lock;
            _Unpin(record);
        }
    }
    if (!sentOk)
        vOnError();
    vOnWrite(connection, data, sent);
}

void CKelNetServer::WriteAll(const BYTE* data, const int& size)
{
    std::vector<Record*> targets;
    {
        ServerListLock lock;
        targets.reserve(static_cast<size_t>(_g_plistPerIOHandle.GetCount()));
        for (SPerIOCPAddr* connection : _g_plistPerIOHandle) {
            auto* record = static_cast<Record*>(connection);
            ++record->pins;
            targets.push_back(record);
        }
    }
    // Sent outside the section, so that one slow peer holds up no accept
    // or close; the pins keep every record alive meanwhile.
    for (Record* record : targets) {
        int sent = 0;
        if (!SendOnce(record->sockClient, data, size, sent))
            vOnError();
    }
    {
        ServerListLock lock;
        for (Record* record : targets)
            _Unpin(record);
    }
    vOnWriteAll(data, size);
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
    if (m_hThreadListen.joinable())
        m_hThreadListen.join();
}
