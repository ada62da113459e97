// Load: a thousand clients each send ten thousand messages through the
// family's echo server, which runs in a child process so that its memory can
// be read apart from the clients'. Every echoed byte is checked against what
// its own connection sent; the server's heap is read idle, under load and
// after the clients have left. Then the same clients echo one message at a
// time, alone and beside 2 x processors + 1 peers that send and never read,
// and their round trips are compared.
#include "BenchSupport.h"
#include "SlowPeers.h"

#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/epoll.h>
#include <sys/wait.h>
#include <vector>

using namespace kel::benchmark;

namespace {

constexpr int kClients = 1000;
constexpr uint32_t kMessages = 10000;
constexpr size_t kMessageSize = 32;
constexpr size_t kStreamSize = kMessages * kMessageSize;

// Byte `offset` of client `client`'s stream: the message number, the client
// number and a filler that depends on both, so that a byte of any other
// connection or position differs.
char StreamByte(uint32_t client, size_t offset)
{
    const uint32_t message = static_cast<uint32_t>(offset / kMessageSize);
    const size_t at = offset % kMessageSize;
    if (at < 4)
        return static_cast<char>(client >> (8 * at));
    if (at < 8)
        return static_cast<char>(message >> (8 * (at - 4)));
    return static_cast<char>((client * 2654435761u) ^ (message * 40503u) ^ (at * 97u));
}

struct Figures {
    long heapBytes = 0; // in use, all arenas
    long rssKiB = 0;
    long connections = 0;
    long closes = 0; // vOnClose calls so far
};

// The echo server, counting the connections it saw end.
class CountingEchoServer : public KelEchoServer {
public:
    long Closes() const { return m_closes; }

protected:
    void vOnClose(sockaddr_in*) override { ++m_closes; }

private:
    std::atomic<long> m_closes{0};
};

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

// The child: runs the server and answers 'm' (figures) and 'q' (stop).
[[noreturn]] void ServeInChild(int commands, int answers)
{
    CountingEchoServer server;
    int port = 0;
    if (!server.Start(L"127.0.0.1", port))
        _exit(1);
    if (::write(answers, &port, sizeof port) != sizeof port)
        _exit(1);
    char command;
    while (::read(commands, &command, 1) == 1 && command == 'm') {
        CKelNetServer::_g_criticalsectionServer.Lock();
        Figures figures;
        figures.connections = CKelNetServer::_g_plistPerIOHandle.GetCount();
        CKelNetServer::_g_criticalsectionServer.Unlock();
        figures.closes = server.Closes();
        const struct mallinfo2 heap = mallinfo2();
        figures.heapBytes = static_cast<long>(heap.uordblks + heap.hblkhd);
        figures.rssKiB = ResidentKiB();
        if (::write(answers, &figures, sizeof figures) != sizeof figures)
            _exit(1);
    }
    server.Stop();
    _exit(0);
}

class ServerProcess {
public:
    ServerProcess()
    {
        int toChild[2], fromChild[2];
        if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0)
            throw std::runtime_error("pipe");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(toChild[1]);
            ::close(fromChild[0]);
            ServeInChild(toChild[0], fromChild[1]);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        m_commands = toChild[1];
        m_answers = fromChild[0];
        if (::read(m_answers, &m_port, sizeof m_port) != sizeof m_port)
            throw std::runtime_error("the server did not start");
    }
    ~ServerProcess()
    {
        ::write(m_commands, "q", 1);
        ::close(m_commands);
        ::close(m_answers);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    int Port() const { return m_port; }
    Figures Read()
    {
        Figures figures;
        if (::write(m_commands, "m", 1) != 1 || ::read(m_answers, &figures, sizeof figures) != sizeof figures)
            throw std::runtime_error("the server did not answer");
        return figures;
    }

private:
    pid_t m_pid = -1;
    int m_commands = -1, m_answers = -1, m_port = 0;
};

struct Client {
    int fd = -1;
    size_t sent = 0;
    size_t received = 0;
    size_t wrong = 0;
    bool waitingToSend = false;
};

// Drives every client until all streams came back or nothing moves for 30 s.
void RunClients(std::vector<Client>& clients)
{
    const int epoll = epoll_create1(EPOLL_CLOEXEC);
    auto watch = [&](size_t index, bool send) {
        epoll_event event{};
        event.events = EPOLLIN | (send ? EPOLLOUT : 0u);
        event.data.u32 = static_cast<uint32_t>(index);
        epoll_ctl(epoll, EPOLL_CTL_MOD, clients[index].fd, &event);
        clients[index].waitingToSend = send;
    };
    for (size_t i = 0; i < clients.size(); ++i) {
        epoll_event event{};
        event.events = EPOLLIN | EPOLLOUT;
        event.data.u32 = static_cast<uint32_t>(i);
        epoll_ctl(epoll, EPOLL_CTL_ADD, clients[i].fd, &event);
        clients[i].waitingToSend = true;
    }
    size_t done = 0;
    auto lastProgress = std::chrono::steady_clock::now();
    std::vector<epoll_event> events(512);
    std::vector<char> chunk(16384);
    char buffer[65536];
    while (done < clients.size() && SecondsSince(lastProgress) < 30) {
        const int count = epoll_wait(epoll, events.data(), static_cast<int>(events.size()), 200);
        for (int e = 0; e < count; ++e) {
            const uint32_t index = events[e].data.u32;
            Client& client = clients[index];
            if ((events[e].events & EPOLLOUT) && client.sent < kStreamSize) {
                const size_t size = std::min(chunk.size(), kStreamSize - client.sent);
                for (size_t i = 0; i < size; ++i)
                    chunk[i] = StreamByte(index, client.sent + i);
                const ssize_t sent = ::send(client.fd, chunk.data(), size, MSG_NOSIGNAL);
                if (sent > 0)
                    client.sent += static_cast<size_t>(sent);
                if (client.sent == kStreamSize)
                    watch(index, false);
            }
            if (events[e].events & EPOLLIN) {
                ssize_t got;
                while ((got = ::recv(client.fd, buffer, sizeof buffer, 0)) > 0) {
                    for (ssize_t i = 0; i < got; ++i) {
                        if (buffer[i] != StreamByte(index, client.received + static_cast<size_t>(i)))
                            ++client.wrong;
                    }
                    client.received += static_cast<size_t>(got);
                    lastProgress = std::chrono::steady_clock::now();
                }
                if (client.received >= kStreamSize) {
                    ++done; // and no further events for it
                    epoll_ctl(epoll, EPOLL_CTL_DEL, client.fd, nullptr);
                }
            }
        }
    }
    ::close(epoll);
}

struct SlowPeerFigures {
    unsigned peers = 0;
    double aloneP50 = 0, aloneP99 = 0, besideP50 = 0, besideP99 = 0, besideMax = 0;
    size_t aloneTrips = 0, besideTrips = 0, wrong = 0;
    long opened = 0, ended = 0, closesSeen = 0;
    double mibSent = 0;
    long peakHeapBytes = 0, peakRssKiB = 0;
    Figures before;
};

// The well-behaved clients echo one message at a time, first alone, then
// beside 2 x processors + 1 peers that send and never read; the server's
// memory is sampled meanwhile.
SlowPeerFigures EchoBesideNonReadingPeers(ServerProcess& server, const std::vector<int>& fds)
{
    constexpr double kSeconds = 3;
    SlowPeerFigures figures;
    figures.before = server.Read();
    RoundTrips alone = EchoRoundTrips(fds, kSeconds);
    figures.aloneTrips = alone.ms.size();
    figures.aloneP50 = alone.Percentile(0.50);
    figures.aloneP99 = alone.Percentile(0.99);

    const unsigned processors = std::thread::hardware_concurrency();
    figures.peers = 2 * (processors ? processors : 1) + 1;
    std::atomic<bool> sampling{true};
    std::thread sampler([&] {
        while (sampling) {
            const Figures now = server.Read();
            figures.peakHeapBytes = std::max(figures.peakHeapBytes, now.heapBytes);
            figures.peakRssKiB = std::max(figures.peakRssKiB, now.rssKiB);
            usleep(50000);
        }
    });
    NonReadingPeers peers(server.Port(), figures.peers);
    RoundTrips beside = EchoRoundTrips(fds, kSeconds);
    peers.Finish();
    sampling = false;
    sampler.join();
    figures.besideTrips = beside.ms.size();
    figures.besideP50 = beside.Percentile(0.50);
    figures.besideP99 = beside.Percentile(0.99);
    figures.besideMax = beside.Percentile(1.0);
    figures.wrong = alone.wrong + beside.wrong;
    figures.opened = peers.Opened();
    figures.ended = peers.EndedByTheServer();
    figures.mibSent = peers.MiBSent();
    // The server's vOnClose for the last of them may come just after the
    // peer saw its connection end.
    const auto closeBegin = std::chrono::steady_clock::now();
    for (;;) {
        figures.closesSeen = server.Read().closes - figures.before.closes;
        if (figures.closesSeen >= figures.ended || SecondsSince(closeBegin) > 10)
            return figures;
        usleep(10000);
    }
}

bool PrintSlowPeerFigures(const SlowPeerFigures& f)
{
    std::printf("echo round trips of the %d clients, one 32-byte message at a time:\n", kClients);
    std::printf("  alone:                              %7zu round trips, p50 %6.2f ms, p99 %6.2f ms\n",
                f.aloneTrips, f.aloneP50, f.aloneP99);
    std::printf("  beside %2u peers that never read:    %7zu round trips, p50 %6.2f ms, p99 %6.2f ms, "
                "longest %.1f ms (aim: p99 under 100 ms)\n",
                f.peers, f.besideTrips, f.besideP50, f.besideP99, f.besideMax);
    std::printf("  echoes that differed from their message: %zu\n", f.wrong);
    std::printf("  non-reading connections: %ld opened (%u at a time, each sending up to 16 KiB every %d ms; %.0f MiB "
                "sent into them), %ld ended by the server, %ld vOnClose calls: %s\n",
                f.opened, f.peers, NonReadingPeers::kPauseMs, f.mibSent, f.ended, f.closesSeen,
                f.ended == f.opened && f.closesSeen >= f.ended ? "all closed" : "NOT ALL CLOSED");
    std::printf("  server while they ran: heap in use up to %ld KiB (%+ld KiB against before), resident up to "
                "%ld KiB\n",
                f.peakHeapBytes / 1024, (f.peakHeapBytes - f.before.heapBytes) / 1024, f.peakRssKiB);
    return f.wrong == 0 && f.ended == f.opened && f.besideTrips > 0;
}

} // namespace

int main()
{
    RaiseDescriptorLimit();
    ServerProcess server;
    const Figures idle = server.Read();

    // All in one burst: the listen queue holds them until accepted.
    std::vector<Client> clients(kClients);
    const auto connectBegin = std::chrono::steady_clock::now();
    for (Client& client : clients)
        client.fd = ConnectNonBlocking(server.Port());
    while (server.Read().connections < kClients && SecondsSince(connectBegin) < 30)
        usleep(1000);
    const double connectSeconds = SecondsSince(connectBegin);
    const Figures connected = server.Read();

    const auto begin = std::chrono::steady_clock::now();
    RunClients(clients);
    const double seconds = SecondsSince(begin);
    const Figures loaded = server.Read();

    size_t wrong = 0, missing = 0;
    std::vector<int> fds;
    for (Client& client : clients) {
        wrong += client.wrong;
        missing += client.received < kStreamSize ? kStreamSize - client.received : 0;
        fds.push_back(client.fd);
    }
    const SlowPeerFigures slow = EchoBesideNonReadingPeers(server, fds);
    for (Client& client : clients)
        ::close(client.fd);
    Figures after = server.Read();
    const auto leaveBegin = std::chrono::steady_clock::now();
    while (after.connections > 0 && SecondsSince(leaveBegin) < 10) {
        usleep(20000);
        after = server.Read();
    }

    const double total = static_cast<double>(kStreamSize) * kClients;
    std::printf("load: %d clients x %u messages of %zu bytes (%.0f MB each way)\n",
                kClients, kMessages, kMessageSize, total / 1e6);
    std::printf("  connected in one burst in %.2f s; %ld connections listed by the server\n", connectSeconds,
                connected.connections);
    std::printf("  echoed in %.2f s: %.0f messages/s, %.1f MB/s each way\n", seconds,
                kClients * static_cast<double>(kMessages) / seconds, total / seconds / 1e6);
    std::printf("  bytes missing %zu, bytes wrong or on the wrong connection %zu: %s\n", missing, wrong,
                missing == 0 && wrong == 0 ? "every byte delivered to its own connection" : "FAILED");
    std::printf("  server heap in use: idle %ld KiB, 1000 connected %ld KiB, after the load %ld KiB, "
                "after they left %ld KiB (%+ld KiB against idle)\n",
                idle.heapBytes / 1024, connected.heapBytes / 1024, loaded.heapBytes / 1024, after.heapBytes / 1024,
                (after.heapBytes - idle.heapBytes) / 1024);
    std::printf("  server resident size: idle %ld KiB, after they left %ld KiB; connections left %ld\n",
                idle.rssKiB, after.rssKiB, after.connections);
    // The list's hash index keeps its grown bucket array: a few KiB.
    const bool backToIdle = after.connections == 0 && after.heapBytes - idle.heapBytes < 64 * 1024;
    std::printf("  heap back to its idle size (within 64 KiB): %s\n", backToIdle ? "yes" : "NO");
    const bool slowOk = PrintSlowPeerFigures(slow);
    return missing == 0 && wrong == 0 && backToIdle && slowOk ? 0 : 1;
}
