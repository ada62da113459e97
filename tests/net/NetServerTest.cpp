// CKelNetServer against raw loopback clients and against socat and ncat.
#include "KelNetServer.h"
#include "NetTestSupport.h"

#include <gtest/gtest.h>
#include <netinet/tcp.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace kel::test;

namespace {

struct ReadEvent {
    SPerIOCPAddr* connection;
    std::string bytes;
    std::thread::id thread;
};

// Records every hook; optionally echoes or closes from vOnRead.
class RecordingServer : public CKelNetServer {
public:
    enum class OnRead { Record, Echo, CloseConnection };
    explicit RecordingServer(OnRead onRead = OnRead::Record) : m_onRead(onRead) {}
    ~RecordingServer() override { Stop(); }

    int StartOnLoopback()
    {
        int port = 0;
        EXPECT_TRUE(Start(L"127.0.0.1", port));
        return port;
    }

    // Guarded copies of what the hooks saw.
    std::vector<ReadEvent> Reads() { return Locked([&] { return m_reads; }); }
    std::string ReceivedText()
    {
        return Locked([&] {
            std::string all;
            for (const ReadEvent& read : m_reads)
                all += read.bytes;
            return all;
        });
    }
    std::vector<sockaddr_in> Accepts() { return Locked([&] { return m_accepts; }); }
    std::vector<sockaddr_in> Closes() { return Locked([&] { return m_closes; }); }
    std::vector<int> Stops() { return Locked([&] { return m_stops; }); }
    std::vector<int> Writes() { return Locked([&] { return m_writes; }); }
    std::vector<int> WriteAlls() { return Locked([&] { return m_writeAlls; }); }
    int Errors() { return m_errors; }
    int Starts() { return m_starts; }
    int StartPort() { return m_startPort; }
    std::thread::id ErrorThread() { return Locked([&] { return m_errorThread; }); }
    int HookCalls() { return m_hookCalls; }

    // Records currently listed (under the class-wide section).
    static std::vector<SPerIOCPAddr*> Listed()
    {
        _g_criticalsectionServer.Lock();
        std::vector<SPerIOCPAddr*> listed(_g_plistPerIOHandle.begin(), _g_plistPerIOHandle.end());
        _g_criticalsectionServer.Unlock();
        return listed;
    }

    using CKelNetServer::Close;
    using CKelNetServer::Write;

protected:
    void vOnStart(const wchar_t*, int& port) override
    {
        ++m_hookCalls;
        ++m_starts;
        m_startPort = port;
    }
    void vOnStop(int connections) override
    {
        ++m_hookCalls;
        Locked([&] { m_stops.push_back(connections); return 0; });
    }
    void vOnAccept(sockaddr_in* peer) override
    {
        ++m_hookCalls;
        Locked([&] { m_accepts.push_back(*peer); return 0; });
    }
    void vOnRead(SPerIOCPAddr* connection, SPerIOCPData* io, DWORD bytes) override
    {
        ++m_hookCalls;
        const std::string data(reinterpret_cast<const char*>(io->buffer), bytes);
        Locked([&] { m_reads.push_back({connection, data, std::this_thread::get_id()}); return 0; });
        if (m_onRead == OnRead::Echo) {
            const int size = static_cast<int>(bytes);
            Write(connection, io->buffer, size);
        } else if (m_onRead == OnRead::CloseConnection) {
            Close(connection);
        }
    }
    void vOnWrite(SPerIOCPAddr*, const BYTE*, const int& sent) override
    {
        ++m_hookCalls;
        Locked([&] { m_writes.push_back(sent); return 0; });
    }
    void vOnWriteAll(const BYTE*, const int& size) override
    {
        ++m_hookCalls;
        Locked([&] { m_writeAlls.push_back(size); return 0; });
    }
    void vOnClose(sockaddr_in* peer) override
    {
        ++m_hookCalls;
        Locked([&] { m_closes.push_back(*peer); return 0; });
    }
    void vOnError() override
    {
        ++m_hookCalls;
        ++m_errors;
        Locked([&] { m_errorThread = std::this_thread::get_id(); return 0; });
    }

private:
    template <typename Function>
    auto Locked(Function function) -> decltype(function())
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return function();
    }

    OnRead m_onRead;
    std::mutex m_mutex;
    std::vector<ReadEvent> m_reads;
    std::vector<sockaddr_in> m_accepts, m_closes;
    std::vector<int> m_stops, m_writes, m_writeAlls;
    std::thread::id m_errorThread;
    std::atomic<int> m_errors{0}, m_starts{0}, m_startPort{-1}, m_hookCalls{0};
};

bool SamePeer(const sockaddr_in& a, const sockaddr_in& b)
{
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

std::string Pattern(size_t size, unsigned seed = 7)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + seed) % 251);
    return bytes;
}

} // namespace

TEST(NetServerStart, PortZeroIsReportedAndClientsCanConnectAtOnce)
{
    RecordingServer server;
    const int port = server.StartOnLoopback();
    EXPECT_GT(port, 0);
    EXPECT_EQ(server.StartPort(), port);
    EXPECT_EQ(server.Starts(), 1);
    Fd client = ConnectLoopback(port); // bound before Start returned
    EXPECT_TRUE(WaitUntil([&] { return server.Accepts().size() == 1; }));
    int again = 0;
    EXPECT_TRUE(server.Start(L"127.0.0.1", again)); // already started: nothing happens
    EXPECT_EQ(server.Starts(), 1);
    EXPECT_EQ(again, 0);
}

TEST(NetServerStart, BadAddressStartsThenReportsOnTheListenerThread)
{
    for (const wchar_t* address : {L"192.0.2.1", L"not an address", L"127.0.0.1.127.0.0.1", L""}) {
        RecordingServer server;
        int port = 0;
        EXPECT_TRUE(server.Start(address, port)) << address;
        EXPECT_EQ(server.Starts(), 1);
        EXPECT_TRUE(WaitUntil([&] { return server.Errors() == 1; })) << address;
        EXPECT_NE(server.ErrorThread(), std::this_thread::get_id());
        server.Stop();
        EXPECT_EQ(server.Stops(), std::vector<int>{0});
    }
}

TEST(NetServerStart, PortOutOfRangeIsReportedNotCut)
{
    for (int wanted : {-1, 65536, 65536 + 8080}) {
        RecordingServer server;
        int port = wanted;
        EXPECT_TRUE(server.Start(L"127.0.0.1", port));
        EXPECT_EQ(port, wanted);
        EXPECT_TRUE(WaitUntil([&] { return server.Errors() == 1; })) << wanted;
    }
}

TEST(NetServerStart, PortInUseIsReportedAndRestartAfterStopWorks)
{
    RecordingServer first;
    int port = first.StartOnLoopback();
    RecordingServer second;
    int same = port;
    EXPECT_TRUE(second.Start(L"127.0.0.1", same));
    EXPECT_TRUE(WaitUntil([&] { return second.Errors() == 1; }));
    second.Stop();

    {
        Fd client = ConnectLoopback(port);
        SendAll(client.Get(), "x");
        EXPECT_TRUE(WaitUntil([&] { return first.ReceivedText() == "x"; }));
    }
    first.Stop();
    EXPECT_EQ(first.Stops().size(), 1u);
    first.Stop(); // stopped already: no second vOnStop
    EXPECT_EQ(first.Stops().size(), 1u);

    EXPECT_TRUE(first.Start(L"127.0.0.1", port)); // same port again, despite TIME_WAIT
    Fd client = ConnectLoopback(port);
    SendAll(client.Get(), "y");
    EXPECT_TRUE(WaitUntil([&] { return first.ReceivedText() == "xy"; }));
    EXPECT_EQ(first.Errors(), 0);
}

TEST(NetServerConnections, AbcThenCloseGivesAcceptReadAndCloseOfTheSamePeer)
{
    RecordingServer server;
    const int port = server.StartOnLoopback();
    sockaddr_in clientAddress{};
    {
        Fd client = ConnectLoopback(port);
        socklen_t length = sizeof clientAddress;
        getsockname(client.Get(), reinterpret_cast<sockaddr*>(&clientAddress), &length);
        SendAll(client.Get(), "abc");
        ASSERT_TRUE(WaitUntil([&] { return server.Reads().size() == 1; }));
    }
    ASSERT_TRUE(WaitUntil([&] { return server.Closes().size() == 1; }));
    const auto reads = server.Reads();
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].bytes, "abc");
    EXPECT_NE(reads[0].thread, std::this_thread::get_id());
    ASSERT_EQ(server.Accepts().size(), 1u);
    EXPECT_TRUE(SamePeer(server.Accepts()[0], clientAddress));
    EXPECT_TRUE(SamePeer(server.Closes()[0], clientAddress));
    const auto listed = RecordingServer::Listed();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), reads[0].connection), 0);
    EXPECT_EQ(server.Errors(), 0);
}

TEST(NetServerConnections, ThreeThousandBytesArriveInReadsOfAtMost1024)
{
    RecordingServer server;
    const int port = server.StartOnLoopback();
    const std::string sent = Pattern(3000);
    Fd client = ConnectLoopback(port);
    SendAll(client.Get(), sent);
    ASSERT_TRUE(WaitUntil([&] { return server.ReceivedText().size() == sent.size(); }));
    const auto reads = server.Reads();
    EXPECT_GE(reads.size(), 3u);
    for (const ReadEvent& read : reads) {
        EXPECT_LE(read.bytes.size(), 1024u);
        EXPECT_GT(read.bytes.size(), 0u);
    }
    EXPECT_EQ(server.ReceivedText(), sent);
}

TEST(NetServerConnections, AcceptedSocketsSendSmallWritesAtOnce)
{
    // Without TCP_NODELAY a reply written in pieces waits for the peer's
    // delayed acknowledgement (40 ms on Linux) after its first piece.
    RecordingServer server;
    const int port = server.StartOnLoopback();
    Fd client = ConnectLoopback(port);
    SendAll(client.Get(), "x");
    ASSERT_TRUE(WaitUntil([&] { return server.Reads().size() == 1; }));
    // Looked at under the section, which keeps the record listed meanwhile.
    int noDelay = 0, result = -1;
    socklen_t length = sizeof noDelay;
    CKelNetServer::_g_criticalsectionServer.Lock();
    for (const SPerIOCPAddr* connection : CKelNetServer::_g_plistPerIOHandle)
        result = getsockopt(connection->sockClient, IPPROTO_TCP, TCP_NODELAY, &noDelay, &length);
    CKelNetServer::_g_criticalsectionServer.Unlock();
    ASSERT_EQ(result, 0);
    EXPECT_NE(noDelay, 0);
}

TEST(NetServerConnections, ResetAndVanishingClientsEndTheirConnections)
{
    RecordingServer server;
    const int port = server.StartOnLoopback();
    {
        Fd reset = ConnectLoopback(port);
        SendAll(reset.Get(), "partial");
        ASSERT_TRUE(WaitUntil([&] { return server.ReceivedText() == "partial"; }));
        Reset(reset);
    }
    ASSERT_TRUE(WaitUntil([&] { return server.Closes().size() == 1; }));
    // Clients that connect and go at once, some with a reset before accept.
    for (int i = 0; i < 20; ++i) {
        Fd vanishing = ConnectLoopback(port);
        if (i % 2)
            Reset(vanishing);
    }
    EXPECT_TRUE(WaitUntil([&] { return server.Closes().size() == server.Accepts().size(); }));
    // The server still serves.
    Fd client = ConnectLoopback(port);
    SendAll(client.Get(), "!");
    EXPECT_TRUE(WaitUntil([&] { return server.ReceivedText() == "partial!"; }));
    EXPECT_EQ(server.Errors(), 0);
}

TEST(NetServerConnections, FloodingClientIsReadCompletely)
{
    RecordingServer server;
    const int port = server.StartOnLoopback();
    const std::string flood = Pattern(1 << 20, 3);
    Fd client = ConnectLoopback(port);
    std::thread sender([&] { SendAll(client.Get(), flood); });
    EXPECT_TRUE(WaitUntil([&] { return server.ReceivedText().size() == flood.size(); }, 20000ms));
    sender.join();
    EXPECT_TRUE(server.ReceivedText() == flood);
}

TEST(NetServerWrites, EchoFromTheReadHookReturnsEveryByte)
{
    RecordingServer server(RecordingServer::OnRead::Echo);
    const int port = server.StartOnLoopback();
    const std::string sent = Pattern(5000);
    Fd client = ConnectLoopback(port);
    SendAll(client.Get(), sent);
    EXPECT_EQ(ReceiveUpTo(client.Get(), sent.size()), sent);
    // vOnWrite follows the send, so the last one may come just after the
    // bytes arrived.
    auto written = [&] {
        int total = 0;
        for (int count : server.Writes())
            total += count;
        return total;
    };
    EXPECT_TRUE(WaitUntil([&] { return written() == 5000; })) << written();
    EXPECT_EQ(server.Errors(), 0);
}

TEST(NetServerWrites, WriteAllReachesEveryClientAndStillReportsWithNone)
{
    RecordingServer server;
    const int port = server.StartOnLoopback();
    const BYTE none[] = {'n'};
    server.WriteAll(none, 1);
    EXPECT_EQ(server.WriteAlls(), std::vector<int>{1});
    EXPECT_EQ(server.Errors(), 0);

    std::vector<Fd> clients;
    for (int i = 0; i < 3; ++i)
        clients.push_back(ConnectLoopback(port));
    ASSERT_TRUE(WaitUntil([&] { return RecordingServer::Listed().size() == 3; }));
    const BYTE hello[] = {'h', 'e', 'l', 'l', 'o'};
    server.WriteAll(hello, 5);
    for (Fd& client : clients)
        EXPECT_EQ(ReceiveUpTo(client.Get(), 5), "hello");
    EXPECT_EQ(server.WriteAlls(), (std::vector<int>{1, 5}));
    EXPECT_EQ(server.Errors(), 0);
}

TEST(NetServerWrites, WriteToAnEndedConnectionFailsWithoutTouchingIt)
{
    RecordingServer server;
    const int port = server.StartOnLoopback();
    SPerIOCPAddr* connection = nullptr;
    {
        Fd client = ConnectLoopback(port);
        SendAll(client.Get(), "z");
        ASSERT_TRUE(WaitUntil([&] { return server.Reads().size() == 1; }));
        connection = server.Reads()[0].connection;
    }
    ASSERT_TRUE(WaitUntil([&] { return server.Closes().size() == 1; }));
    const BYTE data[] = {'q'};
    server.Write(connection, data, 1);
    EXPECT_EQ(server.Errors(), 1);
    EXPECT_EQ(server.Writes(), std::vector<int>{0});
}

TEST(NetServerClose, CloseFromTheReadHookEndsTheConnectionWithoutHook)
{
    RecordingServer server(RecordingServer::OnRead::CloseConnection);
    const int port = server.StartOnLoopback();
    Fd client = ConnectLoopback(port);
    SendAll(client.Get(), "bye");
    EXPECT_TRUE(PeerClosed(client.Get()));
    EXPECT_TRUE(WaitUntil([&] { return RecordingServer::Listed().empty(); }));
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(server.Closes().empty());
    EXPECT_EQ(server.Errors(), 0);
}

TEST(NetServerClose, CloseFromAnotherThreadAndUnknownRecordsAreIgnored)
{
    RecordingServer server;
    const int port = server.StartOnLoopback();
    Fd client = ConnectLoopback(port);
    SendAll(client.Get(), "1");
    ASSERT_TRUE(WaitUntil([&] { return server.Reads().size() == 1; }));
    SPerIOCPAddr* connection = server.Reads()[0].connection;

    SPerIOCPAddr stranger;
    server.Close(&stranger);
    server.Close(nullptr);
    EXPECT_EQ(RecordingServer::Listed().size(), 1u);

    server.Close(connection);
    EXPECT_TRUE(RecordingServer::Listed().empty());
    EXPECT_TRUE(PeerClosed(client.Get()));
    server.Close(connection); // gone already: ignored
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(server.Closes().empty());
}

TEST(NetServerStop, StopWithThreeConnectionsReportsThreeAndClosesThem)
{
    RecordingServer server;
    const int port = server.StartOnLoopback();
    std::vector<Fd> clients;
    for (int i = 0; i < 3; ++i)
        clients.push_back(ConnectLoopback(port));
    SendAll(clients[0].Get(), "busy");
    ASSERT_TRUE(WaitUntil([&] { return RecordingServer::Listed().size() == 3; }));
    server.Stop();
    EXPECT_EQ(server.Stops(), std::vector<int>{3});
    EXPECT_TRUE(RecordingServer::Listed().empty());
    for (Fd& client : clients)
        EXPECT_TRUE(PeerClosed(client.Get()));
    // No hook runs after Stop has returned, and nobody accepts any more.
    const int hooks = server.HookCalls();
    EXPECT_THROW(ConnectLoopback(port), std::runtime_error);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(server.HookCalls(), hooks);
}

TEST(NetServerStop, StopWhileClientsSendAndConnect)
{
    // Stop races with reads, accepts and peer closes; nothing may crash or
    // call a hook afterwards.
    for (int round = 0; round < 3; ++round) {
        RecordingServer server(RecordingServer::OnRead::Echo);
        const int port = server.StartOnLoopback();
        std::atomic<bool> running{true};
        std::thread traffic([&] {
            while (running) {
                try {
                    Fd client = ConnectLoopback(port);
                    ::send(client.Get(), "ping", 4, MSG_NOSIGNAL);
                } catch (const std::runtime_error&) {
                }
            }
        });
        std::this_thread::sleep_for(30ms);
        server.Stop();
        const int hooks = server.HookCalls();
        running = false;
        traffic.join();
        EXPECT_EQ(server.HookCalls(), hooks);
        EXPECT_TRUE(RecordingServer::Listed().empty());
    }
}

TEST(NetServerStop, ConnectionsAreSharedByEveryServerOfTheProcess)
{
    RecordingServer first, second;
    const int firstPort = first.StartOnLoopback();
    const int secondPort = second.StartOnLoopback();
    Fd toFirst = ConnectLoopback(firstPort);
    Fd toSecond = ConnectLoopback(secondPort);
    ASSERT_TRUE(WaitUntil([&] { return RecordingServer::Listed().size() == 2; }));

    const BYTE all[] = {'a', 'l', 'l'};
    first.WriteAll(all, 3);
    EXPECT_EQ(ReceiveUpTo(toFirst.Get(), 3), "all");
    EXPECT_EQ(ReceiveUpTo(toSecond.Get(), 3), "all");

    // Stopping one server closes the other's connection too; the other
    // server lets go of it without vOnClose and keeps serving.
    first.Stop();
    EXPECT_EQ(first.Stops(), std::vector<int>{2});
    EXPECT_TRUE(PeerClosed(toSecond.Get()));
    Fd again = ConnectLoopback(secondPort);
    SendAll(again.Get(), "on");
    EXPECT_TRUE(WaitUntil([&] { return second.ReceivedText() == "on"; }));
    EXPECT_TRUE(second.Closes().empty());
    second.Stop();
    EXPECT_EQ(second.Stops(), std::vector<int>{1});
}

TEST(NetServerPeers, SocatClientSendsAbcAndCloses)
{
    RecordingServer server;
    const int port = server.StartOnLoopback();
    PeerProcess socat({"socat", "-u", "STDIN", "TCP:127.0.0.1:" + std::to_string(port)});
    socat.Write("abc");
    socat.CloseInput();
    EXPECT_EQ(socat.WaitForExit(), 0);
    ASSERT_TRUE(WaitUntil([&] { return server.Closes().size() == 1; }));
    EXPECT_EQ(server.ReceivedText(), "abc");
    EXPECT_EQ(server.Accepts().size(), 1u);
}

TEST(NetServerPeers, NcatClientGetsItsBytesEchoedInChunks)
{
    RecordingServer server(RecordingServer::OnRead::Echo);
    const int port = server.StartOnLoopback();
    const std::string sent = Pattern(3000, 11);
    PeerProcess ncat({"ncat", "--send-only", "127.0.0.1", std::to_string(port)});
    ncat.Write(sent);
    ncat.CloseInput();
    EXPECT_EQ(ncat.WaitForExit(), 0);
    ASSERT_TRUE(WaitUntil([&] { return server.ReceivedText().size() == sent.size(); }));
    EXPECT_EQ(server.ReceivedText(), sent);
    for (const ReadEvent& read : server.Reads())
        EXPECT_LE(read.bytes.size(), 1024u);
}
