#include "Socket.h"

#include "ErrorNumbers.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

namespace kel::platform {
namespace {

// Waits for `events` on `fd`; 0 when ready, else a WinINet number.
DWORD WaitFor(int fd, short events, int timeoutMs)
{
    pollfd entry {fd, events, 0};
    for (;;) {
        const int ready = poll(&entry, 1, timeoutMs);
        if (ready > 0)
            return 0;
        if (ready == 0)
            return ERROR_INTERNET_TIMEOUT;
        if (errno != EINTR)
            return ERROR_INTERNET_CONNECTION_ABORTED;
    }
}

DWORD NumberOfSocketError(int error)
{
    switch (error) {
    case ECONNRESET:
    case EPIPE:
        return ERROR_INTERNET_CONNECTION_RESET;
    case ETIMEDOUT:
    case EAGAIN:
        return ERROR_INTERNET_TIMEOUT;
    default:
        return ERROR_INTERNET_CONNECTION_ABORTED;
    }
}

bool SetNonBlocking(int fd, bool on)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0)
        return false;
    return fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

// Connects one non-blocking socket to one address within the time-out.
DWORD ConnectOne(int fd, const addrinfo& address, int timeoutMs)
{
    if (connect(fd, address.ai_addr, address.ai_addrlen) == 0)
        return 0;
    if (errno != EINPROGRESS && errno != EINTR)
        return ERROR_INTERNET_CANNOT_CONNECT;
    if (const DWORD waited = WaitFor(fd, POLLOUT, timeoutMs))
        return waited;
    int error = 0;
    socklen_t length = sizeof(error);
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
        return ERROR_INTERNET_CANNOT_CONNECT;
    return 0;
}

bool NumericAddress(const sockaddr_storage& storage, std::string& address, WORD& port)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (storage.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(storage);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof(text));
        port = ntohs(v4.sin_port);
    } else if (storage.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(storage);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof(text));
        port = ntohs(v6.sin6_port);
    } else {
        return false;
    }
    address = text;
    return true;
}

} // namespace

CSocket& CSocket::operator=(CSocket&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

void CSocket::Close()
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

DWORD CSocket::Connect(const std::string& host, WORD port, int timeoutMs, bool noDelay)
{
    Close();
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (host.empty() || getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found)
        return ERROR_INTERNET_NAME_NOT_RESOLVED;

    DWORD result = ERROR_INTERNET_CANNOT_CONNECT;
    for (const addrinfo* address = found; address; address = address->ai_next) {
        const int fd = socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address->ai_protocol);
        if (fd < 0)
            continue;
        result = ConnectOne(fd, *address, timeoutMs);
        if (result == 0 && SetNonBlocking(fd, false)) {
            const int on = noDelay ? 1 : 0;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
            m_fd = fd;
            break;
        }
        close(fd);
    }
    freeaddrinfo(found);
    return m_fd >= 0 ? 0 : result;
}

DWORD CSocket::ListenBeside(const CSocket& peer)
{
    Close();
    sockaddr_storage local {};
    socklen_t length = sizeof(local);
    if (getsockname(peer.m_fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return ERROR_INTERNET_INTERNAL_ERROR;
    if (local.ss_family == AF_INET)
        reinterpret_cast<sockaddr_in&>(local).sin_port = 0;
    else
        reinterpret_cast<sockaddr_in6&>(local).sin6_port = 0;
    // Non-blocking, so that a connection gone before it is taken never
    // leaves the accept waiting without its time-out.
    const int fd = socket(local.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return ERROR_INTERNET_OUT_OF_HANDLES;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), length) != 0 || listen(fd, 1) != 0) {
        close(fd);
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
    m_fd = fd;
    return 0;
}

DWORD CSocket::AcceptFrom(CSocket& accepted, const std::string& peerAddress, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        using std::chrono::milliseconds;
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        if (const DWORD waited = WaitFor(m_fd, POLLIN, std::max<int>(0, static_cast<int>(left.count()))))
            return waited;
        sockaddr_storage from {};
        socklen_t length = sizeof(from);
        const int fd = accept4(m_fd, reinterpret_cast<sockaddr*>(&from), &length, SOCK_CLOEXEC);
        if (fd < 0) {
            // A connection reset before it was taken leaves nothing to accept.
            if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN)
                continue;
            return NumberOfSocketError(errno);
        }
        std::string address;
        WORD port = 0;
        if (NumericAddress(from, address, port) && address == peerAddress) {
            accepted.Close();
            accepted.m_fd = fd;
            return 0;
        }
        // Anyone else who found the port gets nothing and sends nothing.
        close(fd);
    }
}

DWORD CSocket::SendAll(std::string_view bytes, int timeoutMs)
{
    while (!bytes.empty()) {
        const ssize_t sent = send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0) {
            bytes.remove_prefix(static_cast<size_t>(sent));
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return NumberOfSocketError(errno);
        if (const DWORD waited = WaitFor(m_fd, POLLOUT, timeoutMs))
            return waited;
    }
    return 0;
}

DWORD CSocket::Receive(void* buffer, size_t length, size_t& received, int timeoutMs)
{
    received = 0;
    for (;;) {
        // Try first: on a busy transfer the data is usually there already.
        const ssize_t got = recv(m_fd, buffer, length, MSG_DONTWAIT);
        if (got >= 0) {
            received = static_cast<size_t>(got);
            return 0;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return NumberOfSocketError(errno);
        if (const DWORD waited = WaitFor(m_fd, POLLIN, timeoutMs))
            return waited;
    }
}

void CSocket::ShutdownSend()
{
    if (m_fd >= 0)
        shutdown(m_fd, SHUT_WR);
}

void CSocket::CorkSends()
{
    const int on = 1;
    if (m_fd >= 0)
        setsockopt(m_fd, IPPROTO_TCP, TCP_CORK, &on, sizeof(on));
}

bool CSocket::LocalAddress(std::string& address, WORD& port) const
{
    sockaddr_storage storage {};
    socklen_t length = sizeof(storage);
    return getsockname(m_fd, reinterpret_cast<sockaddr*>(&storage), &length) == 0
        && NumericAddress(storage, address, port);
}

bool CSocket::PeerAddress(std::string& address, WORD& port) const
{
    sockaddr_storage storage {};
    socklen_t length = sizeof(storage);
    return getpeername(m_fd, reinterpret_cast<sockaddr*>(&storage), &length) == 0
        && NumericAddress(storage, address, port);
}

bool CSocket::IsIPv6() const
{
    sockaddr_storage storage {};
    socklen_t length = sizeof(storage);
    return getsockname(m_fd, reinterpret_cast<sockaddr*>(&storage), &length) == 0 && storage.ss_family == AF_INET6;
}

} // namespace kel::platform
