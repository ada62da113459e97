#include "KelNetServer.h"

#include "detail/SocketUtil.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <vector>

using kel::net::CloseSocket;

namespace {

constexpr int kListenBacklog = 5;
constexpr int kAcceptBackOffMs = 100;
constexpr int kReceivesPerTurn = 16;

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

bool SendOnce(SOCKET socket, const BYTE* data, int size, int& sent)
{
    sent = 0;
    if (size < 0 || (!data && size > 0))
        return false;
    ssize_t result;
    do
        result = ::send(socket, data, static_cast<size_t>(size), MSG_NOSIGNAL);
    while (result < 0 && errno == EINTR);
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
};

CPerIOHandleList CKelNetServer::_g_plistPerIOHandle;
CCriticalSection CKelNetServer::_g_criticalsectionServer;

void CPerIOHandleList::AddTail(SPerIOCPAddr* connection)
{
    if (Contains(connection))
        return;
    m_list.push_back(connection);
    m_index.emplace(connection, std::prev(m_list.end()));
}

bool CPerIOHandleList::Remove(SPerIOCPAddr* connection)
{
    const auto found = m_index.find(connection);
    if (found == m_index.end())
        return false;
    m_list.erase(found->second);
    m_index.erase(found);
    return true;
}

CKelNetServer::CKelNetServer()
    : m_nThreadCount(ThreadCountForThisMachine()),
      m_phThreadCompletion(std::make_unique<std::thread[]>(m_nThreadCount))
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

    m_hIOCP = epoll_create1(EPOLL_CLOEXEC);
    m_hStopEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // The stop event stays readable once set, so it wakes every thread.
    epoll_event stopEvent{};
    stopEvent.events = EPOLLIN;
    stopEvent.data.ptr = nullptr;
    if (m_hIOCP < 0 || m_hStopEvent < 0 || epoll_ctl(m_hIOCP, EPOLL_CTL_ADD, m_hStopEvent, &stopEvent) != 0) {
        CloseSocket(m_hIOCP);
        CloseSocket(m_hStopEvent);
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
        CloseSocket(m_hIOCP);
        CloseSocket(m_hStopEvent);
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
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(m_nPort));
    // A port out of range would otherwise be cut to 16 bits and bind a
    // port nobody asked for.
    if (m_nPort < 0 || m_nPort > 65535
        || !kel::net::ToMultiByte(m_strIP, kel::net::kMaxDottedLength, text)
        || !kel::net::ParseDotted(text, address.sin_addr))
        return false;

    m_socketListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_socketListen == INVALID_SOCKET)
        return false;
    // A restarted server must not be refused its port while old connections
    // linger in TIME_WAIT; Linux still refuses a second listener.
    const int reuse = 1;
    setsockopt(m_socketListen, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    socklen_t length = sizeof address;
    if (::bind(m_socketListen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_socketListen, kListenBacklog) != 0
        || getsockname(m_socketListen, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        CloseSocket(m_socketListen);
        return false;
    }
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
        socklen_t length = sizeof peer;
        const SOCKET socket = ::accept4(m_socketListen, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
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
            pollfd stop{m_hStopEvent, POLLIN, 0};
            ::poll(&stop, 1, kAcceptBackOffMs);
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

    bool armed;
    {
        ServerListLock lock;
        _g_plistPerIOHandle.AddTail(record);
        m_records.insert(record);
        epoll_event event{};
        event.events = EPOLLIN | EPOLLONESHOT;
        event.data.ptr = record;
        record->handOver.store(1, std::memory_order_release);
        armed = epoll_ctl(m_hIOCP, EPOLL_CTL_ADD, socket, &event) == 0;
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
    for (;;) {
        epoll_event event{};
        const int count = epoll_wait(m_hIOCP, &event, 1, -1);
        if (count < 0 && errno != EINTR)
            return; // the epoll instance is unusable: nothing more can arrive
        if (count <= 0)
            continue;
        if (!event.data.ptr)
            return; // the stop event
        auto* record = static_cast<Record*>(event.data.ptr);
        record->handOver.load(std::memory_order_acquire);
        _Receive(record);
    }
}

// Handles one readiness of a connection. The next receive is posted right
// away: while data are waiting it completes at once on this thread (up to a
// few receives, so that one busy peer cannot hold the thread), otherwise the
// connection is armed again. EPOLLONESHOT keeps other threads away meanwhile,
// so there is never more than one receive per connection.
void CKelNetServer::_Receive(Record* record)
{
    ssize_t received = 0;
    int receiveError = 0;
    for (int turn = 0; turn < kReceivesPerTurn; ++turn) {
        do
            received = ::recv(record->sockClient, record->io.buffer, kPerIOBufferSize, MSG_DONTWAIT);
        while (received < 0 && errno == EINTR);
        receiveError = received < 0 ? errno : 0;
        if (received <= 0 || record->closed.load(std::memory_order_acquire))
            break;
        if (m_bHooks)
            vOnRead(record, &record->io, static_cast<DWORD>(received));
        std::memset(record->io.buffer, 0, sizeof record->io.buffer);
        record->io.wsaBuf = WSABUF{kPerIOBufferSize, reinterpret_cast<char*>(record->io.buffer)};
    }
    // Data taken, or none waiting: the connection goes on. End of stream or a
    // failed receive ends it.
    const bool connectionGoesOn = received > 0 || receiveError == EAGAIN || receiveError == EWOULDBLOCK;

    {
        ServerListLock lock;
        if (record->closed) {
            _Finish(record);
            return;
        }
        if (connectionGoesOn) {
            epoll_event event{};
            event.events = EPOLLIN | EPOLLONESHOT;
            event.data.ptr = record;
            record->handOver.fetch_add(1, std::memory_order_release);
            if (epoll_ctl(m_hIOCP, EPOLL_CTL_MOD, record->sockClient, &event) == 0)
                return;
            // The next receive could not be posted: the connection cannot go on.
        }
    }
    _EndConnection(record);
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
        ::shutdown(record->sockClient, SHUT_RDWR);
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
    record->owner->m_records.erase(record);
    if (record->pins == 0) {
        CloseSocket(record->sockClient);
        delete record;
    } else {
        ::shutdown(record->sockClient, SHUT_RDWR);
    }
}

// Under the section.
void CKelNetServer::_Unpin(Record* record)
{
    if (--record->pins == 0 && record->finished) {
        CloseSocket(record->sockClient);
        delete record;
    }
}

void CKelNetServer::Write(SPerIOCPAddr* connection, const BYTE* data, const int& size)
{
    Record* record = nullptr;
    {
        ServerListLock lock;
        if (connection && _g_plistPerIOHandle.Contains(connection)) {
            record = static_cast<Record*>(connection);
            ++record->pins;
        }
    }
    int sent = 0;
    bool sentOk = false;
    if (record) {
        sentOk = SendOnce(record->sockClient, data, size, sent);
        ServerListLock lock;
        _Unpin(record);
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
    ::shutdown(record->sockClient, SHUT_RDWR);
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
        ::shutdown(m_socketListen, SHUT_RDWR); // wakes the blocking accept
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
            ::shutdown(record->sockClient, SHUT_RDWR);
        }
    }
    _StopThreads();
    {
        // Nothing runs on this server's threads any more: free what is left.
        ServerListLock lock;
        const std::vector<Record*> remaining(m_records.begin(), m_records.end());
        for (Record* record : remaining)
            _Finish(record);
    }
    CloseSocket(m_hIOCP);
    CloseSocket(m_hStopEvent);
    if (callHooks && m_bHooks)
        vOnStop(open);
    m_bStart = false;
}

void CKelNetServer::_SignalStop()
{
    m_bStopping = true;
    const uint64_t one = 1;
    // An eventfd refuses a write only when its counter is full: set already.
    [[maybe_unused]] const ssize_t written = ::write(m_hStopEvent, &one, sizeof one);
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
