// CKelNetServer with peers that read slowly or not at all, bursts of
// connects, and a process out of descriptors.
#include "KelNetServer.h"
#include "NetTestSupport.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace kel::test;

namespace {

// Echoes every receive, or on a read of "go" writes what the test put in
// its script; counts the hooks. vOnAccept can be held until released.
class SendingServer : public CKelNetServer {
public:
    ~SendingServer() override
    {
        ReleaseAccepts();
        Stop();
    }

    int StartOnLoopback()
    {
        int port = 0;
        EXPECT_TRUE(Start(L"127.0.0.1", port));
        return port;
    }
    void LimitStalls(DWORD milliseconds) { SetSendStallLimit(milliseconds); }
    // Each "go" from a peer writes these pieces to it, one Write each.
    void Script(std::vector<std::string> pieces) { m_script = std::move(pieces); }
    void HoldAccepts() { m_holdAccepts = true; }
    void ReleaseAccepts()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_holdAccepts = false;
        }
        m_released.notify_all();
    }

    SPerIOCPAddr* LastReader() { return m_lastReader; }
    int Accepts() { return m_accepts; }
    int Closes() { return m_closes; }
    int Errors() { return m_errors; }
    int Listed()
    {
        _g_criticalsectionServer.Lock();
        const int count = _g_plistPerIOHandle.GetCount();
        _g_criticalsectionServer.Unlock();
        return count;
    }

    using CKelNetServer::Write;

protected:
    void vOnStart(const wchar_t*, int&) override {}
    void vOnStop(int) override {}
    void vOnAccept(sockaddr_in*) override
    {
        ++m_accepts;
        std::unique_lock<std::mutex> lock(m_mutex);
        m_released.wait(lock, [&] { return !m_holdAccepts; });
    }
    void vOnRead(SPerIOCPAddr* connection, SPerIOCPData* io, DWORD bytes) override
    {
        m_lastReader = connection;
        if (std::string(reinterpret_cast<const char*>(io->buffer), bytes) == "go") {
            // A fixed small send buffer: the system takes little of the
            // script, and the rest has to be queued.
            const int small = 4096;
            setsockopt(connection->sockClient, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
            for (const std::string& piece : m_script) {
                const int size = static_cast<int>(piece.size());
                Write(connection, reinterpret_cast<const BYTE*>(piece.data()), size);
            }
            return;
        }
        const int size = static_cast<int>(bytes);
        Write(connection, io->buffer, size);
    }
    void vOnWrite(SPerIOCPAddr*, const BYTE*, const int&) override {}
    void vOnWriteAll(const BYTE*, const int&) override {}
    void vOnClose(sockaddr_in*) override { ++m_closes; }
    void vOnError() override { ++m_errors; }

private:
    std::vector<std::string> m_script;
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_holdAccepts = false;
    std::atomic<SPerIOCPAddr*> m_lastReader{nullptr};
    std::atomic<int> m_accepts{0}, m_closes{0}, m_errors{0};
};

// A client whose receive buffer holds `bytes` (about 2 KiB unless told);
// it reads only when told.
Fd ConnectWithSmallReceiveBuffer(int port, int bytes = 2048)
{
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    const sockaddr_in address = Loopback(port);
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("connect to 127.0.0.1 failed");
    return fd;
}

// Sends without ever reading until a send fails (the server ended the
// connection) or `stop` is set; true when a send failed.
bool FloodUntilRefused(int fd, const std::atomic<bool>& stop)
{
    const timeval patience{0, 200 * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
    const std::string chunk(64 * 1024, 'n');
    while (!stop) {
        const ssize_t sent = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return true;
    }
    return false;
}

unsigned ServerThreadCount()
{
    const unsigned processors = std::thread::hardware_concurrency();
    return 2 * (processors ? processors : 1) + 1;
}

} // namespace

TEST(NetServerSlowPeers, PeersThatNeverReadAreClosedAndOthersStillGetTheirEcho)
{
    // One non-reading peer per completion thread, and one more: none of
    // them may hold a thread that the well-behaved client needs.
    SendingServer server;
    const int port = server.StartOnLoopback();
    const unsigned flooders = ServerThreadCount();
    std::atomic<bool> stop{false};
    std::atomic<unsigned> refused{0};
    std::vector<Fd> peers;
    std::vector<std::thread> floods;
    for (unsigned i = 0; i < flooders; ++i)
        peers.push_back(ConnectWithSmallReceiveBuffer(port));
    for (Fd& peer : peers) {
        floods.emplace_back([&, fd = peer.Get()] {
            if (FloodUntilRefused(fd, stop))
                ++refused;
        });
    }
    // Every flooder's echo has backed up by now: the system buffers of its
    // connection hold far less than this.
    EXPECT_TRUE(WaitUntil([&] { return server.Listed() == static_cast<int>(flooders); }));

    Fd good = ConnectLoopback(port);
    const std::string ping(3000, 'p');
    SendAll(good.Get(), ping);
    EXPECT_EQ(ReceiveUpTo(good.Get(), ping.size(), 20000ms), ping);

    // Each flooder's queue passes its limit and its connection is closed
    // as a failed one, through vOnClose.
    EXPECT_TRUE(WaitUntil([&] { return refused == flooders; }, 60000ms)) << refused << " of " << flooders;
    EXPECT_TRUE(WaitUntil([&] { return server.Closes() == static_cast<int>(flooders); }));
    stop = true;
    for (std::thread& flood : floods)
        flood.join();
    EXPECT_EQ(server.Listed(), 1);
    SendAll(good.Get(), "again");
    EXPECT_EQ(ReceiveUpTo(good.Get(), 5), "again");
}

TEST(NetServerSlowPeers, PeerThatTakesNothingForTheStallLimitIsClosed)
{
    SendingServer server;
    server.LimitStalls(200);
    server.Script({std::string(1 << 20, 's')}); // well below the queue limit
    const int port = server.StartOnLoopback();
    Fd peer = ConnectWithSmallReceiveBuffer(port);
    SendAll(peer.Get(), "go");
    EXPECT_TRUE(WaitUntil([&] { return server.Closes() == 1; }, 20000ms));
    EXPECT_EQ(server.Listed(), 0);
    EXPECT_EQ(server.Errors(), 0);
    // The peer finds its connection ended before all of it came.
    const std::string received = ReceiveUpTo(peer.Get(), 1 << 20);
    EXPECT_LT(received.size(), size_t{1} << 20);
}

TEST(NetServerSlowPeers, TricklingReaderGetsEveryWriteWholeAndInOrder)
{
    // Four threads write to one connection at once, the read hook among
    // them, while the peer reads a little at a time: the peer must get
    // every write whole, each thread's in order, and stay connected.
    SendingServer server;
    // Shorter than the trickle, which sleeps 3 ms per 512 bytes (4.6 s at
    // least), so that the peer's steady reading must keep it connected.
    server.LimitStalls(3000);
    constexpr int kThreads = 4, kPieces = 96;
    constexpr size_t kPiece = 2048;
    auto piece = [](int thread, int number) {
        std::string bytes(kPiece, static_cast<char>(thread * kPieces + number));
        bytes[0] = static_cast<char>(thread);
        bytes[1] = static_cast<char>(number);
        return bytes;
    };
    std::vector<std::string> script;
    for (int n = 0; n < kPieces; ++n)
        script.push_back(piece(0, n));
    server.Script(script);
    const int port = server.StartOnLoopback();
    // Not 2 KiB: a window that small stays shut between the system's
    // probes for a second and more, and the peer would rightly count as
    // stalled.
    Fd peer = ConnectWithSmallReceiveBuffer(port, 32 * 1024);
    SendAll(peer.Get(), "hi");
    ASSERT_EQ(ReceiveUpTo(peer.Get(), 2), "hi");
    SPerIOCPAddr* connection = server.LastReader();

    std::vector<std::thread> writers;
    SendAll(peer.Get(), "go");
    for (int t = 1; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            for (int n = 0; n < kPieces; ++n) {
                const std::string bytes = piece(t, n);
                const int size = static_cast<int>(bytes.size());
                server.Write(connection, reinterpret_cast<const BYTE*>(bytes.data()), size);
            }
        });
    }
    std::string received;
    const size_t total = kThreads * kPieces * kPiece;
    while (received.size() < total) {
        const std::string part = ReceiveUpTo(peer.Get(), std::min<size_t>(512, total - received.size()));
        if (part.empty())
            break;
        received += part;
        std::this_thread::sleep_for(3ms);
    }
    for (std::thread& writer : writers)
        writer.join();
    ASSERT_EQ(received.size(), total);
    int next[kThreads] = {};
    for (size_t at = 0; at < total; at += kPiece) {
        const int t = received[at], n = received[at + 1];
        ASSERT_TRUE(t >= 0 && t < kThreads) << at;
        EXPECT_EQ(n, next[t]) << "piece " << at / kPiece;
        next[t] = n + 1;
        EXPECT_TRUE(received.compare(at, kPiece, piece(t, n)) == 0) << "piece " << at / kPiece;
    }
    EXPECT_EQ(server.Closes(), 0);
    EXPECT_EQ(server.Errors(), 0);
    EXPECT_EQ(server.Listed(), 1);
}

TEST(NetServerSlowPeers, WriteAllReachesEveryoneBehindAPeerThatNeverReads)
{
    SendingServer server;
    const int port = server.StartOnLoopback();
    Fd slow = ConnectWithSmallReceiveBuffer(port); // first in the list
    ASSERT_TRUE(WaitUntil([&] { return server.Listed() == 1; }));
    Fd good = ConnectLoopback(port);
    ASSERT_TRUE(WaitUntil([&] { return server.Listed() == 2; }));

    // More than the system takes for the slow peer, less than its queue
    // may hold. Sent from a thread of its own, so that a WriteAll that
    // waited for the slow peer would fail the test rather than hang it.
    std::string all(3 << 20, '\0');
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<char>(i % 253);
    std::thread writer([&] {
        const int size = static_cast<int>(all.size());
        server.WriteAll(reinterpret_cast<const BYTE*>(all.data()), size);
    });
    EXPECT_TRUE(ReceiveUpTo(good.Get(), all.size(), 30000ms) == all);
    server.Stop(); // ends a WriteAll still waiting, if there is one
    writer.join();
    EXPECT_EQ(server.Errors(), 0);
    EXPECT_EQ(server.Closes(), 0);
}

TEST(NetServerAccept, ConnectsInARowAllCompleteWhileTheListenerIsBusy)
{
    // The listener is held in vOnAccept of the first client: the system
    // must still complete the others' handshakes and queue them.
    SendingServer server;
    server.HoldAccepts();
    const int port = server.StartOnLoopback();
    Fd first = ConnectLoopback(port);
    ASSERT_TRUE(WaitUntil([&] { return server.Accepts() == 1; }));

    constexpr int kClients = 200;
    std::vector<Fd> clients;
    for (int i = 0; i < kClients; ++i) {
        Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        const sockaddr_in address = Loopback(port);
        ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
        clients.push_back(std::move(fd));
    }
    auto connected = [&] {
        int count = 0;
        for (Fd& client : clients) {
            pollfd wait{client.Get(), POLLOUT, 0};
            int error = 0;
            socklen_t length = sizeof error;
            if (::poll(&wait, 1, 0) == 1 && getsockopt(client.Get(), SOL_SOCKET, SO_ERROR, &error, &length) == 0
                && error == 0)
                ++count;
        }
        return count;
    };
    EXPECT_TRUE(WaitUntil([&] { return connected() == kClients; }, 10000ms)) << connected();
    server.ReleaseAccepts();
    EXPECT_TRUE(WaitUntil([&] { return server.Listed() == kClients + 1; }, 20000ms)) << server.Listed();
    EXPECT_EQ(server.Errors(), 0);
}

TEST(NetServerAccept, RunningOutOfDescriptorsIsReportedOnceAndAcceptingResumes)
{
    SendingServer server;
    const int port = server.StartOnLoopback();
    Fd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    Fd second(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));

    // Every descriptor the process may have is taken, so that the server
    // cannot accept.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 512;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<Fd> filler;
    for (int fd; (fd = ::dup(client.Get())) >= 0;)
        filler.emplace_back(fd);
    ASSERT_EQ(errno, EMFILE);

    // A listener waiting in accept has its descriptor already, so the first
    // client may still be accepted; after that none can be.
    const sockaddr_in address = Loopback(port);
    ASSERT_EQ(::connect(client.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::connect(second.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_TRUE(WaitUntil([&] { return server.Errors() == 1; }));
    const int acceptedBefore = server.Accepts();
    EXPECT_LE(acceptedBefore, 1);
    // The shortage goes on for a while: it is not reported again.
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(server.Errors(), 1);
    EXPECT_EQ(server.Accepts(), acceptedBefore);

    filler.clear();
    setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(WaitUntil([&] { return server.Accepts() == 2; }, 10000ms));
    for (Fd* fd : {&client, &second}) {
        SendAll(fd->Get(), "back");
        EXPECT_EQ(ReceiveUpTo(fd->Get(), 4), "back");
    }
    EXPECT_EQ(server.Errors(), 1);
}
