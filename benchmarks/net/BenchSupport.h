#pragma once

// Shared pieces of the network benchmarks: the family's echo server, raising
// the descriptor limit, and non-blocking loopback connections.
#include "KelNetServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kel::benchmark {

// Echoes every receive back with one Write, as an application would.
class KelEchoServer : public CKelNetServer {
public:
    ~KelEchoServer() override { Stop(); }

protected:
    void vOnStart(const wchar_t*, int&) override {}
    void vOnStop(int) override {}
    void vOnAccept(sockaddr_in*) override {}
    void vOnRead(SPerIOCPAddr* connection, SPerIOCPData* io, DWORD bytes) override
    {
        const int size = static_cast<int>(bytes);
        Write(connection, io->buffer, size);
    }
    void vOnWrite(SPerIOCPAddr*, const BYTE*, const int&) override {}
    void vOnWriteAll(const BYTE*, const int&) override {}
    void vOnClose(sockaddr_in*) override {}
    void vOnError() override {}
};

// A thousand clients and their server connections need more than the usual
// 1024 descriptors.
inline void RaiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// A connected, non-blocking client socket to 127.0.0.1:port.
inline int ConnectNonBlocking(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    // The driver must not wait on its own Nagle timer: the figures are to
    // be the servers'.
    const int noDelay = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    return fd;
}

// A connected, blocking client socket to 127.0.0.1:port.
inline int ConnectBlocking(int port)
{
    const int fd = ConnectNonBlocking(port);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

inline double SecondsSince(std::chrono::steady_clock::time_point begin)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

} // namespace kel::benchmark
