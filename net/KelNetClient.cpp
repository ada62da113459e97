#include "KelNetClient.h"

#include "KelNetShare.h"
#include "SendQueue.h"
#include "platform/StreamSocket.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <system_error>

using kel::platform::CloseSocket;
using kel::net::CSendQueue;
using kel::platform::SocketReady;

namespace {

constexpr int kEventWaitMs = 300;
constexpr int kReceiveSize = 1024;

// Clears an exported event that still names `descriptor`; another client's
// event is left alone.
void ForgetEvent(std::atomic<int>& exported, int descriptor)
{
    if (descriptor >= 0)
        exported.compare_exchange_strong(descriptor, -1);
}

} // namespace

std::atomic<bool> CKelNetClient::_m_bIsAlive{false};
std::atomic<int> CKelNetClient::_m_hEvenets[2] = {-1, -1};
CCriticalSection CKelNetClient::_g_criticalsectionClient;

CKelNetClient::CKelNetClient() : m_sendQueue(std::make_unique<CSendQueue>(kKelSendQueueLimit))
{
    _m_bIsAlive = false;
    _m_hEvenets[0] = -1;
    _m_hEvenets[1] = -1;
}

CKelNetClient::~CKelNetClient()
{
    // The derived part is gone: the event thread must not call a hook while
    // it is being stopped.
    m_bHooks = false;
    const bool connected = m_bConnected;
    _ReleaseConnection();
    if (connected)
        _m_bIsAlive = false;
}

bool CKelNetClient::IsAlive()
{
    return _m_bIsAlive;
}

SOCKET* CKelNetClient::GetSocket()
{
    return &m_socket;
}

CString CKelNetClient::getstrIP()
{
    return CKelNetShare::getstrIPFromsock(&m_socket);
}

void CKelNetClient::SetConnectTimeout(const DWORD& milliseconds)
{
    m_nConnectTimeoutMs = milliseconds;
}

void CKelNetClient::SetSendStallLimit(const DWORD& milliseconds)
{
    m_nSendStallLimitMs = milliseconds;
}

void CKelNetClient::Connect(const char* ip, unsigned int& port)
{
    // One connection per client: a second Connect would orphan the first.
    if (_m_bIsAlive && m_bConnected) {
        vOnError();
        return;
    }
    _ReleaseConnection(); // what a failed connection left behind
    m_sendQueue->Reset();
    if (!_ConnectSocket(ip, port)) {
        {
            std::lock_guard<std::mutex> lock(m_socketLock);
            CloseSocket(m_socket);
        }
        vOnError();
        return;
    }

    _m_bIsAlive = true;
    m_bConnected = true;
    vOnConnect(ip, port);
    if (!_m_bIsAlive || !m_bConnected)
        return; // the hook closed it again

    if (!m_hStopEvent.Create() || !m_hSendEvent.Create()) {
        vOnError();
        return;
    }
    _m_hEvenets[0] = m_hStopEvent.Descriptor();
    _m_hEvenets[1] = m_socket;
    try {
        m_hThread = std::thread(&CKelNetClient::_EventThread, this);
    } catch (const std::system_error&) {
        vOnError();
    }
}

bool CKelNetClient::_ConnectSocket(const char* ip, unsigned int port)
{
    m_addrServer = sockaddr_in{};
    m_addrServer.sin_family = AF_INET;
    m_addrServer.sin_port = htons(static_cast<uint16_t>(port & 0xFFFF));
    if (!ip || !kel::platform::ParseDottedIPv4(ip, m_addrServer.sin_addr))
        return false;
    // Non-blocking, as the event thread wants it, so that the connect can
    // time out.
    const SOCKET socket = kel::platform::ConnectIPv4(
        m_addrServer, static_cast<int>(std::min<DWORD>(m_nConnectTimeoutMs, INT32_MAX)));
    std::lock_guard<std::mutex> lock(m_socketLock);
    m_socket = socket;
    return m_socket != INVALID_SOCKET;
}

void CKelNetClient::Close()
{
    const bool onEventThread = _OnEventThread();
    // Claimed before the connection is looked at: a Close that another
    // thread finishes just before this one would otherwise be done twice.
    if (m_bClosing.exchange(true)) {
        // Another thread is closing. When that is the event thread, wait for
        // it, so that the caller may destroy the client once Close returns.
        if (!onEventThread)
            _JoinEventThread();
        return;
    }
    if (!_m_bIsAlive || !m_bConnected) {
        m_bClosing = false;
        // Nothing to close, but an event thread that has just failed may
        // still be in a hook: the caller may destroy the client after this.
        if (!onEventThread)
            _JoinEventThread();
        return;
    }
    m_hStopEvent.Set();
    if (!onEventThread)
        _JoinEventThread();
    // The event thread is gone, or it is this thread and ends as soon as
    // Close returns: nobody uses the descriptors any more. Queued bytes
    // that the server cannot take at once are dropped with the connection.
    {
        std::lock_guard<std::mutex> lock(m_socketLock);
        m_sendQueue->Flush(m_socket);
        m_sendQueue->Fail();
        CloseSocket(m_socket);
    }
    m_hStopEvent.Close();
    m_hSendEvent.Close();
    _m_hEvenets[0] = -1;
    _m_hEvenets[1] = -1;
    m_bConnected = false;
    if (m_bHooks)
        vOnClose();
    _m_bIsAlive = false;
    m_bClosing = false;
}

unsigned CKelNetClient::_EventThread(void* client)
{
    static_cast<CKelNetClient*>(client)->_EventLoop();
    return 0;
}

void CKelNetClient::_EventLoop()
{
    // The descriptors stay open while this thread runs: Close joins it first,
    // or is this thread itself.
    m_eventThreadId = std::this_thread::get_id();
    const SOCKET socket = m_socket;
    while (_m_bIsAlive) {
        const bool sending = m_sendQueue->Pending();
        const SocketReady ready =
            kel::platform::WaitForSocketIO(socket, m_hStopEvent, m_hSendEvent, sending, kEventWaitMs);
        if (ready.stopped)
            return;
        if (ready.failed) {
            // The connection failed (reset, unreachable): not alive; the
            // socket stays open until Close or the next Connect.
            _m_bIsAlive = false;
            if (m_bHooks)
                vOnError();
            return;
        }
        if (ready.kicked)
            m_hSendEvent.Reset(); // the queue is looked at on every pass
        if (sending && !_FlushQueued())
            return;
        if (!ready.readable)
            continue; // time-out, interrupted, or only room to send
        // Data still waiting is read before an orderly close is taken, so
        // that bytes sent just before the peer closed are not lost.
        char probe;
        const ssize_t waiting = kel::platform::ReceiveNow(socket, &probe, 1, true);
        if (waiting == 0) {
            Close();
            return;
        }
        if (waiting < 0 && kel::platform::LastSocketFailure() != kel::platform::ESocketFailure::WouldBlock) {
            _m_bIsAlive = false;
            if (m_bHooks)
                vOnError();
            return;
        }
        if (waiting > 0)
            _ReadBytes();
    }
}

// Event thread: sends what the server takes now; false when the sends
// failed or stalled, and the connection with them.
bool CKelNetClient::_FlushQueued()
{
    const std::chrono::milliseconds limit(m_nSendStallLimitMs.load());
    if (m_sendQueue->Flush(m_socket) != CSendQueue::Flushed::Failed && !m_sendQueue->Stalled(limit))
        return true;
    _FailSending();
    return false;
}

// The connection fails for its sends: not alive, the server sees it end,
// vOnError once. The socket stays open until Close or the next Connect.
void CKelNetClient::_FailSending()
{
    m_sendQueue->Fail();
    if (!_m_bIsAlive.exchange(false))
        return;
    {
        std::lock_guard<std::mutex> lock(m_socketLock);
        if (m_socket != INVALID_SOCKET)
            kel::platform::ShutdownBoth(m_socket);
    }
    if (m_bHooks)
        vOnError();
}

DWORD CKelNetClient::_ReadBytes()
{
    if (!_m_bIsAlive) {
        if (m_bHooks)
            vOnError();
        return 0;
    }
    BYTE buffer[kReceiveSize] = {};
    const ssize_t received = kel::platform::ReceiveNow(m_socket, buffer, sizeof buffer);
    const DWORD bytes = received > 0 ? static_cast<DWORD>(received) : 0;
    if (m_bHooks) {
        if (received < 0)
            vOnError();
        vOnRead(buffer, bytes);
    }
    return bytes;
}

DWORD CKelNetClient::WriteBytes(const BYTE* data, const int& size)
{
    if (!_m_bIsAlive) {
        vOnError();
        return 0;
    }
    if (size == 0)
        return 0;
    size_t taken = 0;
    CSendQueue::Written written = CSendQueue::Written::Failed;
    if (size > 0 && data) {
        std::lock_guard<std::mutex> lock(m_socketLock);
        if (m_socket != INVALID_SOCKET)
            written = m_sendQueue->Write(m_socket, data, static_cast<size_t>(size), taken);
        if (written == CSendQueue::Written::StartedQueue)
            m_hSendEvent.Set(); // the event thread sends the rest
    }
    if (written == CSendQueue::Written::Overflow)
        _FailSending(); // the server reads nothing: give up on it
    else if (written == CSendQueue::Written::Failed)
        vOnError();
    vOnWrite(data, size);
    return static_cast<DWORD>(taken);
}

// Stops the event thread and releases the descriptors, without hooks.
void CKelNetClient::_ReleaseConnection()
{
    // An event thread that is closing on the peer's close owns the
    // descriptors until it has been joined; once this thread has claimed the
    // close, the event thread leaves them alone.
    if (!m_bClosing.exchange(true))
        m_hStopEvent.Set();
    _JoinEventThread();
    ForgetEvent(_m_hEvenets[0], m_hStopEvent.Descriptor());
    ForgetEvent(_m_hEvenets[1], m_socket);
    {
        std::lock_guard<std::mutex> lock(m_socketLock);
        m_sendQueue->Fail();
        CloseSocket(m_socket);
    }
    m_hStopEvent.Close();
    m_hSendEvent.Close();
    m_bConnected = false;
    m_bClosing = false;
}

bool CKelNetClient::_OnEventThread() const
{
    return m_eventThreadId.load() == std::this_thread::get_id();
}

void CKelNetClient::_JoinEventThread()
{
    if (_OnEventThread()) {
        // Destroyed from one of its own hooks: the thread cannot wait for
        // itself. It ends as soon as the hook returns.
        std::lock_guard<std::mutex> lock(m_joinLock);
        if (m_hThread.joinable())
            m_hThread.detach();
        return;
    }
    std::lock_guard<std::mutex> lock(m_joinLock);
    if (m_hThread.joinable())
        m_hThread.join();
    m_eventThreadId = std::thread::id();
}
