// Echo throughput in the ping-pong method: every connection sends a message,
// waits until the server has echoed all of it, and sends it again. The
// family's server (1024-byte receives, one Write per receive) runs beside an
// echo server on standalone asio with the same thread count, the same
// 1024-byte reads and the same TCP_NODELAY, both driven by the same client in
// the same run. Small messages show the cost of each message, large ones the
// cost of each byte.
#include "BenchSupport.h"

#include <asio.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <sys/epoll.h>
#include <thread>
#include <vector>

using namespace kel::benchmark;
using asio::ip::tcp;

namespace {

constexpr size_t kReadSize = 1024;
constexpr int kRounds = 4;

unsigned ServerThreadCount()
{
    const unsigned processors = std::thread::hardware_concurrency();
    return 2 * (processors ? processors : 1) + 1;
}

class AsioEchoServer {
public:
    AsioEchoServer(unsigned threads, bool noDelay)
        : m_acceptor(m_io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)), m_noDelay(noDelay)
    {
        Accept();
        for (unsigned i = 0; i < threads; ++i)
            m_threads.emplace_back([this] { m_io.run(); });
    }
    ~AsioEchoServer()
    {
        m_io.stop();
        for (std::thread& thread : m_threads)
            thread.join();
    }
    int Port() const { return m_acceptor.local_endpoint().port(); }

private:
    class Session : public std::enable_shared_from_this<Session> {
    public:
        explicit Session(tcp::socket socket) : m_socket(std::move(socket)) {}
        void Read()
        {
            auto self = shared_from_this();
            m_socket.async_read_some(asio::buffer(m_buffer), [this, self](std::error_code error, size_t bytes) {
                if (error)
                    return;
                asio::async_write(m_socket, asio::buffer(m_buffer, bytes), [this, self](std::error_code error, size_t) {
                    if (!error)
                        Read();
                });
            });
        }

    private:
        tcp::socket m_socket;
        std::array<char, kReadSize> m_buffer{};
    };

    void Accept()
    {
        m_acceptor.async_accept([this](std::error_code error, tcp::socket socket) {
            if (!error) {
                socket.set_option(tcp::no_delay(m_noDelay), error);
                std::make_shared<Session>(std::move(socket))->Read();
            }
            Accept();
        });
    }

    asio::io_context m_io;
    tcp::acceptor m_acceptor;
    bool m_noDelay;
    std::vector<std::thread> m_threads;
};

struct Connection {
    int fd = -1;
    size_t sent = 0;
    size_t received = 0;
    bool waitingToSend = false;
};

class PingPongClient {
public:
    // `ready()` waits until the server is ready for a new round.
    PingPongClient(int port, int connections, size_t messageSize, const std::function<void()>& ready)
        : m_message(messageSize), m_connections(static_cast<size_t>(connections)), m_epoll(epoll_create1(EPOLL_CLOEXEC))
    {
        for (size_t i = 0; i < messageSize; ++i)
            m_message[i] = static_cast<char>(i * 7);
        ready();
        for (size_t i = 0; i < m_connections.size(); ++i) {
            m_connections[i].fd = ConnectNonBlocking(port);
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.u32 = static_cast<uint32_t>(i);
            epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_connections[i].fd, &event);
        }
    }
    ~PingPongClient()
    {
        for (Connection& connection : m_connections)
            ::close(connection.fd);
        ::close(m_epoll);
    }

    // Echoed bytes per second over `seconds`, after a short warm-up.
    double Run(double seconds)
    {
        for (size_t i = 0; i < m_connections.size(); ++i)
            SendMore(i);
        Drive(0.3);
        m_echoed = 0;
        const auto begin = std::chrono::steady_clock::now();
        Drive(seconds);
        return static_cast<double>(m_echoed) / SecondsSince(begin);
    }

private:
    void Drive(double seconds)
    {
        const auto begin = std::chrono::steady_clock::now();
        std::vector<epoll_event> events(512);
        char buffer[65536];
        while (SecondsSince(begin) < seconds) {
            const int count = epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), 100);
            for (int e = 0; e < count; ++e) {
                const size_t index = events[e].data.u32;
                Connection& connection = m_connections[index];
                if (events[e].events & EPOLLOUT)
                    SendMore(index);
                if (!(events[e].events & EPOLLIN))
                    continue;
                for (;;) {
                    const ssize_t got = ::recv(connection.fd, buffer, sizeof buffer, 0);
                    if (got <= 0)
                        break;
                    connection.received += static_cast<size_t>(got);
                    m_echoed += static_cast<uint64_t>(got);
                }
                // Acknowledge at once, so that the servers' Nagle wait does
                // not meet this side's delayed acknowledgement: the round
                // trip is then bound by the servers, not by a 40 ms timer.
                const int quickAck = 1;
                setsockopt(connection.fd, IPPROTO_TCP, TCP_QUICKACK, &quickAck, sizeof quickAck);
                if (connection.received >= m_message.size()) {
                    connection.received = 0;
                    connection.sent = 0;
                    SendMore(index);
                }
            }
        }
    }

    void SendMore(size_t index)
    {
        Connection& connection = m_connections[index];
        while (connection.sent < m_message.size()) {
            const ssize_t sent = ::send(connection.fd, m_message.data() + connection.sent,
                                        m_message.size() - connection.sent, MSG_NOSIGNAL);
            if (sent <= 0)
                break;
            connection.sent += static_cast<size_t>(sent);
        }
        const bool waiting = connection.sent < m_message.size();
        if (waiting != connection.waitingToSend) {
            connection.waitingToSend = waiting;
            epoll_event event{};
            event.events = EPOLLIN | (waiting ? EPOLLOUT : 0u);
            event.data.u32 = static_cast<uint32_t>(index);
            epoll_ctl(m_epoll, EPOLL_CTL_MOD, connection.fd, &event);
        }
    }

    std::vector<char> m_message;
    std::vector<Connection> m_connections;
    int m_epoll;
    uint64_t m_echoed = 0;
};

double Measure(int port, int connections, size_t messageSize, double seconds,
               const std::function<void()>& ready = [] {})
{
    PingPongClient client(port, connections, messageSize, ready);
    return client.Run(seconds);
}

// Request-response on one connection: a request of `size` bytes, then the
// whole echo, which the servers write in 1024-byte pieces. The client
// acknowledges as the system likes (delayed), as most clients do.
double RoundTripsPerSecond(int port, size_t size, double seconds)
{
    const int fd = ConnectBlocking(port);
    std::vector<char> request(size, 'r'), reply(size);
    long trips = 0;
    const auto begin = std::chrono::steady_clock::now();
    while (SecondsSince(begin) < seconds) {
        if (::send(fd, request.data(), size, MSG_NOSIGNAL) != static_cast<ssize_t>(size))
            break;
        size_t got = 0;
        while (got < size) {
            const ssize_t n = ::recv(fd, reply.data() + got, size - got, 0);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        if (got < size)
            break;
        ++trips;
    }
    const double rate = static_cast<double>(trips) / SecondsSince(begin);
    ::close(fd);
    return rate;
}

int KelConnectionCount()
{
    CKelNetServer::_g_criticalsectionServer.Lock();
    const int count = CKelNetServer::_g_plistPerIOHandle.GetCount();
    CKelNetServer::_g_criticalsectionServer.Unlock();
    return count;
}

// Both servers listen with the system's longest backlog, so the clients
// connect in one burst; the family's server first lets the last round's
// clients go, so that their closes do not fall into the measurement.
void KelReady()
{
    while (KelConnectionCount() > 0)
        std::this_thread::yield();
}

} // namespace

int main(int argc, char** argv)
{
    RaiseDescriptorLimit();
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    const unsigned threads = ServerThreadCount();

    KelEchoServer kel;
    int kelPort = 0;
    if (!kel.Start(L"127.0.0.1", kelPort)) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    AsioEchoServer asio(threads, true);

    std::printf("echo ping-pong, %u server threads, %zu-byte receives on both servers;\n"
                "best of %d alternating rounds of %.1f s each (the machine may be shared: compare the ratios)\n",
                threads, kReadSize, kRounds, seconds);
    bool reached = true;
    for (size_t messageSize : {size_t{128}, size_t{1024}, size_t{16 * 1024}}) {
        for (int connections : {100, 1000}) {
            // Alternating rounds; the best of each, so that a neighbour's
            // burst on a shared machine does not decide the ratio.
            double bestKel = 0, bestAsio = 0;
            for (int round = 0; round < kRounds; ++round) {
                // Each server goes first in every other round.
                if (round % 2 == 0)
                    bestKel = std::max(bestKel, Measure(kelPort, connections, messageSize, seconds, KelReady));
                bestAsio = std::max(bestAsio, Measure(asio.Port(), connections, messageSize, seconds));
                if (round % 2 == 1)
                    bestKel = std::max(bestKel, Measure(kelPort, connections, messageSize, seconds, KelReady));
            }
            const double ratio = bestKel / bestAsio;
            const double size = static_cast<double>(messageSize);
            std::printf("%6zu B %5d connections: KelListen %9.0f msg/s %8.1f MiB/s   asio %9.0f msg/s %8.1f MiB/s"
                        "   ratio %.2f (aim >= 1.00)\n",
                        messageSize, connections, bestKel / size, bestKel / (1 << 20), bestAsio / size,
                        bestAsio / (1 << 20), ratio);
            std::fflush(stdout);
            reached = reached && ratio >= 1.0;
        }
    }

    // A reply in several writes: without TCP_NODELAY each one after the
    // first waits for the client's delayed acknowledgement.
    AsioEchoServer asioNagle(threads, false);
    const size_t requestSize = 4096;
    double kelTrips = 0, asioTrips = 0, nagleTrips = 0;
    for (int round = 0; round < 2; ++round) {
        kelTrips = std::max(kelTrips, RoundTripsPerSecond(kelPort, requestSize, seconds));
        asioTrips = std::max(asioTrips, RoundTripsPerSecond(asio.Port(), requestSize, seconds));
        nagleTrips = std::max(nagleTrips, RoundTripsPerSecond(asioNagle.Port(), requestSize, seconds));
    }
    std::printf("%6zu B request-response, 1 connection: KelListen %8.0f/s   asio %8.0f/s (ratio %.2f)   "
                "asio without TCP_NODELAY %6.0f/s (KelListen %.0fx that)\n",
                requestSize, kelTrips, asioTrips, kelTrips / asioTrips, nagleTrips, kelTrips / nagleTrips);
    reached = reached && kelTrips >= asioTrips;
    std::printf("%s\n", reached ? "aim reached" : "aim NOT reached");
    return 0;
}
