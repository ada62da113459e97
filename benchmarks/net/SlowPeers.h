#pragma once

// Pieces of bench_load for peers that misbehave beside well-behaved ones:
// peers that send and never read, and one-message-at-a-time echo round
// trips of the well-behaved clients.
#include "BenchSupport.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <sys/epoll.h>
#include <thread>
#include <vector>

namespace kel::benchmark {

// `count` peers, each on a thread of its own, that connect with a 2 KiB
// receive buffer and send without ever reading, 16 KiB every 2 ms at most
// (8 MB/s each), as clients sending requests would. When the server ends a
// peer's connection (a send fails), the peer connects again, so that
// `count` of them stay beside the other clients until Finish.
class NonReadingPeers {
public:
    NonReadingPeers(int port, unsigned count) : m_port(port)
    {
        for (unsigned i = 0; i < count; ++i)
            m_threads.emplace_back([this] { Run(); });
    }
    ~NonReadingPeers() { Finish(); }

    // No new connections; each peer goes on sending on its last one until
    // the server has ended it too (or a minute has passed).
    void Finish()
    {
        m_finishing = true;
        for (std::thread& thread : m_threads) {
            if (thread.joinable())
                thread.join();
        }
    }
    long Opened() const { return m_opened; }
    long EndedByTheServer() const { return m_ended; }
    double MiBSent() const { return static_cast<double>(m_bytes) / (1 << 20); }

    static constexpr int kPauseMs = 2;

private:
    int Connect() const
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int small = 2048;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        const timeval patience{0, 100 * 1000};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(m_port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    void Run()
    {
        const std::string chunk(16 * 1024, 'n');
        while (!m_finishing) {
            const int fd = Connect();
            if (fd < 0)
                return;
            ++m_opened;
            std::chrono::steady_clock::time_point finishBegin{};
            for (;;) {
                const ssize_t sent = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
                if (sent > 0) {
                    m_bytes += static_cast<uint64_t>(sent);
                    std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMs));
                }
                else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                    ++m_ended;
                    break;
                }
                if (m_finishing && finishBegin == std::chrono::steady_clock::time_point{})
                    finishBegin = std::chrono::steady_clock::now();
                if (m_finishing && SecondsSince(finishBegin) > 60)
                    break; // never ended by the server: counted as still open
            }
            ::close(fd);
        }
    }

    int m_port;
    std::atomic<bool> m_finishing{false};
    std::atomic<long> m_opened{0}, m_ended{0};
    std::atomic<uint64_t> m_bytes{0};
    std::vector<std::thread> m_threads;
};

struct RoundTrips {
    std::vector<double> ms; // one per echoed message
    size_t wrong = 0;       // echoes that differed from their message

    double Percentile(double fraction)
    {
        if (ms.empty())
            return 0;
        std::sort(ms.begin(), ms.end());
        const size_t at = std::min(ms.size() - 1, static_cast<size_t>(fraction * static_cast<double>(ms.size())));
        return ms[at];
    }
};

// Every connection in `fds` (non-blocking, connected to an echo server)
// sends a 32-byte message, waits for its whole echo, and sends the next,
// for `seconds`; the time of each round trip is kept.
inline RoundTrips EchoRoundTrips(const std::vector<int>& fds, double seconds)
{
    using Clock = std::chrono::steady_clock;
    constexpr size_t kSize = 32;
    struct Peer {
        Clock::time_point sentAt;
        std::string message, echo;
        uint32_t number = 0;
    };
    std::vector<Peer> peers(fds.size());
    const int epoll = epoll_create1(EPOLL_CLOEXEC);
    auto sendNext = [&](size_t index) {
        Peer& peer = peers[index];
        peer.message.assign(kSize, static_cast<char>(index * 31 + peer.number++));
        peer.echo.clear();
        peer.sentAt = Clock::now();
        return ::send(fds[index], peer.message.data(), kSize, MSG_NOSIGNAL) == static_cast<ssize_t>(kSize);
    };
    for (size_t i = 0; i < fds.size(); ++i) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u32 = static_cast<uint32_t>(i);
        epoll_ctl(epoll, EPOLL_CTL_ADD, fds[i], &event);
        sendNext(i);
    }
    RoundTrips trips;
    std::vector<epoll_event> events(512);
    char buffer[4096];
    const auto begin = Clock::now();
    while (SecondsSince(begin) < seconds) {
        const int count = epoll_wait(epoll, events.data(), static_cast<int>(events.size()), 100);
        for (int e = 0; e < count; ++e) {
            const size_t index = events[e].data.u32;
            Peer& peer = peers[index];
            ssize_t got;
            while ((got = ::recv(fds[index], buffer, sizeof buffer, 0)) > 0)
                peer.echo.append(buffer, static_cast<size_t>(got));
            if (peer.echo.size() < kSize)
                continue;
            trips.ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - peer.sentAt).count());
            trips.wrong += peer.echo != peer.message;
            sendNext(index);
        }
    }
    // Echoes still on their way are read and dropped, so that the streams
    // are clean for whatever comes next.
    for (size_t i = 0; i < fds.size(); ++i) {
        const auto drainBegin = Clock::now();
        while (peers[i].echo.size() < kSize && SecondsSince(drainBegin) < 5) {
            const ssize_t got = ::recv(fds[i], buffer, kSize - peers[i].echo.size(), 0);
            if (got > 0)
                peers[i].echo.append(buffer, static_cast<size_t>(got));
        }
    }
    ::close(epoll);
    return trips;
}

} // namespace kel::benchmark
