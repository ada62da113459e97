#include "StreamSocket.h"

#include "CodePage.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cwchar>
#include <memory>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kel::platform {

ESocketFailure LastSocketFailure()
{
    switch (errno) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
        return ESocketFailure::WouldBlock;
    case EINTR:
        return ESocketFailure::Interrupted;
    // What Linux passes on from a connection that failed before accept.
    case ECONNABORTED: case EPROTO: case ENETDOWN: case ENOPROTOOPT: case EHOSTDOWN:
    case ENONET: case EHOSTUNREACH: case EOPNOTSUPP: case ENETUNREACH:
        return ESocketFailure::PendingFailed;
    case EMFILE: case ENFILE: case ENOBUFS: case ENOMEM:
        return ESocketFailure::OutOfResources;
    default:
        return ESocketFailure::Other;
    }
}
namespace {

constexpr size_t kHostNameBuffer = 512;

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

// Waits for a non-blocking connect to finish; false on failure or time-out.
bool FinishConnect(SOCKET socket, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            errno = ETIMEDOUT;
            return false;
        }
        pollfd wait{socket, POLLOUT, 0};
        const int ready = ::poll(&wait, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            return false;
        errno = error;
        return error == 0;
    }
}

} // namespace

SOCKET ListenIPv4(sockaddr_in& address, int backlog)
{
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener == INVALID_SOCKET)
        return INVALID_SOCKET;
    const int reuse = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    socklen_t length = sizeof address;
    address.sin_family = AF_INET;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener, backlog) != 0
        || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        CloseSocket(listener);
        errno = error;
    }
    return listener;
}

int MostPendingConnections()
{
    return SOMAXCONN;
}

SOCKET AcceptIPv4(SOCKET listener, sockaddr_in& peer)
{
    socklen_t length = sizeof peer;
    return ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC | SOCK_NONBLOCK);
}

SOCKET ConnectIPv4(const sockaddr_in& server, int timeoutMs)
{
    // Non-blocking from the start, so that the connect can time out.
    SOCKET socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket == INVALID_SOCKET)
        return INVALID_SOCKET;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0)
        return socket;
    if ((errno != EINPROGRESS && errno != EINTR) || !FinishConnect(socket, timeoutMs)) {
        const int error = errno;
        CloseSocket(socket);
        errno = error;
    }
    return socket;
}

ssize_t ReceiveNow(SOCKET socket, void* buffer, size_t length, bool peek)
{
    const int flags = MSG_DONTWAIT | (peek ? MSG_PEEK : 0);
    ssize_t received;
    do
        received = ::recv(socket, buffer, length, flags);
    while (received < 0 && errno == EINTR);
    return received;
}

ssize_t SendOnce(SOCKET socket, const void* data, size_t length, bool wait)
{
    const int flags = MSG_NOSIGNAL | (wait ? 0 : MSG_DONTWAIT);
    ssize_t sent;
    do
        sent = ::send(socket, data, length, flags);
    while (sent < 0 && errno == EINTR);
    return sent;
}

bool SetNoDelay(SOCKET socket)
{
    const int on = 1;
    return setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

void ShutdownBoth(SOCKET socket)
{
    ::shutdown(socket, SHUT_RDWR);
}

void CloseSocket(SOCKET& socket)
{
    if (socket != INVALID_SOCKET) {
        ::close(socket);
        socket = INVALID_SOCKET;
    }
}

bool LocalAddressIPv4(SOCKET socket, sockaddr_in& address)
{
    socklen_t length = sizeof address;
    return socket != INVALID_SOCKET && getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0
        && address.sin_family == AF_INET;
}

bool AddressBytes(const wchar_t* text, size_t maxBytes, std::string& out)
{
    // Every character takes at least one byte: a text longer than the limit
    // is refused before it is converted.
    if (!text || std::wcslen(text) > maxBytes)
        return false;
    std::string bytes = WideToMultiByte(text, CodePage::System);
    if (bytes.size() > maxBytes)
        return false;
    out = std::move(bytes);
    return true;
}

bool ParseDottedIPv4(const std::string& text, in_addr& address)
{
    if (text.empty() || text.size() > kMaxDottedLength)
        return false;
    return inet_aton(text.c_str(), &address) != 0;
}

std::string DottedIPv4(const in_addr& address)
{
    char text[INET_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET, &address, text, sizeof text) ? text : "";
}

bool ResolveFirstIPv4(const std::string& name, in_addr& address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found)
        return false;
    const std::unique_ptr<addrinfo, AddrInfoFree> list(found);
    for (const addrinfo* entry = list.get(); entry; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr) {
            address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr;
            return true;
        }
    }
    return false;
}

bool LocalHostName(std::string& name)
{
    char buffer[kHostNameBuffer] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0)
        return false;
    name = buffer;
    return true;
}

} // namespace kel::platform
