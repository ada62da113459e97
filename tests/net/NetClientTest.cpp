// CKelNetClient against raw loopback servers, socat, and the family's own
// server.
#include "KelNetClient.h"
#include "KelNetServer.h"
#include "NetTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace kel::test;

namespace {

class RecordingClient : public CKelNetClient {
public:
    enum class OnRead { Record, CloseClient };
    explicit RecordingClient(OnRead onRead = OnRead::Record) : m_onRead(onRead) {}
    ~RecordingClient() override { Close(); }

    void ConnectTo(int port, const char* ip = "127.0.0.1")
    {
        unsigned int value = static_cast<unsigned int>(port);
        Connect(ip, value);
    }

    std::string Received() { return Locked([&] { return m_received; }); }
    std::vector<DWORD> ReadSizes() { return Locked([&] { return m_readSizes; }); }
    std::vector<std::string> Writes() { return Locked([&] { return m_writes; }); }
    std::string ConnectIp() { return Locked([&] { return m_connectIp; }); }
    std::thread::id ReadThread() { return Locked([&] { return m_readThread; }); }
    std::thread::id CloseThread() { return Locked([&] { return m_closeThread; }); }
    unsigned ConnectPort() { return m_connectPort; }
    int Connects() { return m_connects; }
    int Closes() { return m_closes; }
    int Errors() { return m_errors; }
    bool AliveDuringClose() { return m_aliveDuringClose; }

protected:
    void vOnConnect(const char* ip, unsigned int& port) override
    {
        ++m_connects;
        m_connectPort = port;
        Locked([&] { m_connectIp = ip; return 0; });
    }
    void vOnClose() override
    {
        ++m_closes;
        m_aliveDuringClose = IsAlive();
        Locked([&] { m_closeThread = std::this_thread::get_id(); return 0; });
    }
    void vOnRead(const BYTE* data, const DWORD& bytes) override
    {
        Locked([&] {
            m_received.append(reinterpret_cast<const char*>(data), bytes);
            m_readSizes.push_back(bytes);
            m_readThread = std::this_thread::get_id();
            return 0;
        });
        if (m_onRead == OnRead::CloseClient)
            Close();
    }
    void vOnWrite(const BYTE* data, const int& size) override
    {
        Locked([&] { m_writes.emplace_back(reinterpret_cast<const char*>(data), size); return 0; });
    }
    void vOnError() override { ++m_errors; }

private:
    template <typename Function>
    auto Locked(Function function) -> decltype(function())
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return function();
    }

    OnRead m_onRead;
    std::mutex m_mutex;
    std::string m_received, m_connectIp;
    std::vector<DWORD> m_readSizes;
    std::vector<std::string> m_writes;
    std::thread::id m_readThread, m_closeThread;
    std::atomic<unsigned> m_connectPort{0};
    std::atomic<int> m_connects{0}, m_closes{0}, m_errors{0};
    std::atomic<bool> m_aliveDuringClose{false};
};

// A client whose owner forgets to close it.
class ForgetfulClient : public CKelNetClient {
protected:
    void vOnConnect(const char*, unsigned int&) override {}
    void vOnClose() override {}
    void vOnRead(const BYTE*, const DWORD&) override {}
    void vOnWrite(const BYTE*, const int&) override {}
    void vOnError() override {}
};

// The family's own server, echoing every receive.
class EchoServer : public CKelNetServer {
public:
    ~EchoServer() override { Stop(); }

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

} // namespace

TEST(NetClientConnect, RefusedConnectReportsOneErrorAndStaysIdle)
{
    RecordingClient client;
    client.ConnectTo(UnusedPort());
    EXPECT_EQ(client.Errors(), 1);
    EXPECT_FALSE(client.IsAlive());
    EXPECT_EQ(client.Connects(), 0);
    EXPECT_EQ(*client.GetSocket(), INVALID_SOCKET);
    client.Close(); // idle: nothing happens
    EXPECT_EQ(client.Closes(), 0);
}

TEST(NetClientConnect, BadAddressTextReportsAnError)
{
    for (const char* ip : {"not-an-ip", "", "1.2.3.4.5.6.7.8.9"}) {
        RecordingClient client;
        client.ConnectTo(80, ip);
        EXPECT_EQ(client.Errors(), 1) << ip;
        EXPECT_FALSE(client.IsAlive());
    }
    RecordingClient client;
    unsigned int port = 80;
    client.Connect(nullptr, port);
    EXPECT_EQ(client.Errors(), 1);
}

TEST(NetClientConnect, ServerThatNeverAcceptsTimesOut)
{
    // A full accept queue drops the SYN, so the connect would hang without a
    // time-out.
    Fd listener = ListenLoopback(0);
    const int port = LocalPort(listener.Get());
    Fd queued = ConnectLoopback(port);
    std::vector<Fd> fillers;
    for (int i = 0; i < 4; ++i) {
        Fd filler(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        const sockaddr_in address = Loopback(port);
        ::connect(filler.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
        fillers.push_back(std::move(filler));
    }
    RecordingClient client;
    client.SetConnectTimeout(300);
    const auto begin = std::chrono::steady_clock::now();
    client.ConnectTo(port);
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_EQ(client.Errors(), 1);
    EXPECT_FALSE(client.IsAlive());
    EXPECT_GE(took, 250ms);
    EXPECT_LT(took, 3000ms);
}

TEST(NetClientConnect, SuccessfulConnectReportsAddressPortAndLocalAddress)
{
    Fd listener = ListenLoopback();
    const int port = LocalPort(listener.Get());
    RecordingClient client;
    client.ConnectTo(port);
    EXPECT_TRUE(client.IsAlive());
    EXPECT_EQ(client.Connects(), 1);
    EXPECT_EQ(client.ConnectIp(), "127.0.0.1");
    EXPECT_EQ(client.ConnectPort(), static_cast<unsigned>(port));
    EXPECT_STREQ(client.getstrIP(), L"127.0.0.1");
    EXPECT_EQ(client.Errors(), 0);
    // A second Connect while connected is refused.
    client.ConnectTo(port);
    EXPECT_EQ(client.Errors(), 1);
    EXPECT_EQ(client.Connects(), 1);
    EXPECT_TRUE(client.IsAlive());
}

TEST(NetClientEvents, ServerSendingAbcGivesOneReadOnTheEventThread)
{
    Fd listener = ListenLoopback();
    RecordingClient client;
    client.ConnectTo(LocalPort(listener.Get()));
    Fd server = AcceptWithin(listener.Get());
    SendAll(server.Get(), "abc");
    ASSERT_TRUE(WaitUntil([&] { return client.Received() == "abc"; }));
    EXPECT_EQ(client.ReadSizes(), std::vector<DWORD>{3});
    EXPECT_NE(client.ReadThread(), std::this_thread::get_id());
}

TEST(NetClientEvents, LargeDataArrivesInReadsOfAtMost1024)
{
    Fd listener = ListenLoopback();
    RecordingClient client;
    client.ConnectTo(LocalPort(listener.Get()));
    Fd server = AcceptWithin(listener.Get());
    std::string sent(5000, '\0');
    for (size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<char>(i % 253);
    SendAll(server.Get(), sent);
    ASSERT_TRUE(WaitUntil([&] { return client.Received().size() == sent.size(); }));
    EXPECT_EQ(client.Received(), sent);
    for (DWORD size : client.ReadSizes())
        EXPECT_LE(size, 1024u);
}

TEST(NetClientEvents, OrderlyCloseByTheServerClosesOnTheEventThread)
{
    Fd listener = ListenLoopback();
    RecordingClient client;
    client.ConnectTo(LocalPort(listener.Get()));
    Fd server = AcceptWithin(listener.Get());
    server.Reset();
    ASSERT_TRUE(WaitUntil([&] { return !client.IsAlive(); }));
    EXPECT_EQ(client.Closes(), 1);
    EXPECT_TRUE(client.AliveDuringClose());
    EXPECT_NE(client.CloseThread(), std::this_thread::get_id());
    EXPECT_EQ(client.Errors(), 0);
    client.Close(); // closed already
    EXPECT_EQ(client.Closes(), 1);
}

TEST(NetClientEvents, DataSentJustBeforeTheCloseIsNotLost)
{
    for (int round = 0; round < 20; ++round) {
        Fd listener = ListenLoopback();
        RecordingClient client;
        client.ConnectTo(LocalPort(listener.Get()));
        {
            Fd server = AcceptWithin(listener.Get());
            SendAll(server.Get(), std::string(3000, 'd'));
        }
        ASSERT_TRUE(WaitUntil([&] { return client.Closes() == 1; }));
        EXPECT_EQ(client.Received(), std::string(3000, 'd')) << "round " << round;
    }
}

TEST(NetClientEvents, ResetByTheServerIsAnErrorAndEndsAlive)
{
    Fd listener = ListenLoopback();
    RecordingClient client;
    client.ConnectTo(LocalPort(listener.Get()));
    Fd server = AcceptWithin(listener.Get());
    Reset(server);
    ASSERT_TRUE(WaitUntil([&] { return client.Errors() == 1; }));
    EXPECT_FALSE(client.IsAlive());
    EXPECT_EQ(client.Closes(), 0);
    client.Close(); // failed: Close does nothing
    EXPECT_EQ(client.Closes(), 0);
}

TEST(NetClientEvents, ReleasedDescriptorsAreNoLongerExported)
{
    // A failed connection keeps its descriptors until the next Connect or
    // the destructor releases them; the exported events must not go on
    // naming descriptors that are closed (and may be reused).
    Fd listener = ListenLoopback();
    for (bool reconnect : {true, false}) {
        auto client = std::make_unique<RecordingClient>();
        client->ConnectTo(LocalPort(listener.Get()));
        Fd server = AcceptWithin(listener.Get());
        EXPECT_EQ(CKelNetClient::_m_hEvenets[1], *client->GetSocket());
        Reset(server);
        ASSERT_TRUE(WaitUntil([&] { return client->Errors() == 1; }));
        if (reconnect)
            client->ConnectTo(UnusedPort());
        else
            client.reset();
        EXPECT_EQ(CKelNetClient::_m_hEvenets[0], -1) << (reconnect ? "reconnect" : "destructor");
        EXPECT_EQ(CKelNetClient::_m_hEvenets[1], -1) << (reconnect ? "reconnect" : "destructor");
    }
}

TEST(NetClientEvents, SilentServerKeepsTheClientAliveAndCloseIsPrompt)
{
    Fd listener = ListenLoopback();
    RecordingClient client;
    client.ConnectTo(LocalPort(listener.Get()));
    Fd server = AcceptWithin(listener.Get());
    std::this_thread::sleep_for(700ms); // a few event-thread time-outs
    EXPECT_TRUE(client.IsAlive());
    EXPECT_TRUE(client.ReadSizes().empty());
    const auto begin = std::chrono::steady_clock::now();
    client.Close();
    // The stop event wakes the thread at once; the bound only catches a hang.
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 2000ms);
    EXPECT_EQ(client.Closes(), 1);
    EXPECT_FALSE(client.IsAlive());
    EXPECT_EQ(*client.GetSocket(), INVALID_SOCKET);
    EXPECT_TRUE(PeerClosed(server.Get()));
    client.Close();
    EXPECT_EQ(client.Closes(), 1);
}

TEST(NetClientEvents, CloseFromTheReadHookDoesNotDeadlock)
{
    Fd listener = ListenLoopback();
    RecordingClient client(RecordingClient::OnRead::CloseClient);
    client.ConnectTo(LocalPort(listener.Get()));
    Fd server = AcceptWithin(listener.Get());
    SendAll(server.Get(), "x");
    ASSERT_TRUE(WaitUntil([&] { return client.Closes() == 1; }));
    EXPECT_FALSE(client.IsAlive());
    EXPECT_EQ(client.CloseThread(), client.ReadThread());
    EXPECT_TRUE(PeerClosed(server.Get()));
}

TEST(NetClientEvents, CloseRacingThePeersCloseHappensOnce)
{
    for (int round = 0; round < 30; ++round) {
        Fd listener = ListenLoopback();
        RecordingClient client;
        client.ConnectTo(LocalPort(listener.Get()));
        Fd server = AcceptWithin(listener.Get());
        server.Reset();
        client.Close();
        EXPECT_EQ(client.Closes(), 1);
        EXPECT_FALSE(client.IsAlive());
    }
}

TEST(NetClientEvents, DestroyingAConnectedClientClosesItQuietly)
{
    Fd listener = ListenLoopback();
    Fd server;
    {
        ForgetfulClient client;
        unsigned int port = static_cast<unsigned int>(LocalPort(listener.Get()));
        client.Connect("127.0.0.1", port);
        ASSERT_TRUE(client.IsAlive());
        server = AcceptWithin(listener.Get());
    }
    EXPECT_FALSE(CKelNetClient::_m_bIsAlive);
    EXPECT_TRUE(PeerClosed(server.Get()));
}

TEST(NetClientWrites, WriteBytesSendsAndReports)
{
    Fd listener = ListenLoopback();
    RecordingClient client;
    const BYTE data[] = {'p', 'i', 'n', 'g'};
    EXPECT_EQ(client.WriteBytes(data, 4), 0u); // not alive
    EXPECT_EQ(client.Errors(), 1);
    EXPECT_TRUE(client.Writes().empty());

    client.ConnectTo(LocalPort(listener.Get()));
    Fd server = AcceptWithin(listener.Get());
    EXPECT_EQ(client.WriteBytes(data, 0), 0u);
    EXPECT_TRUE(client.Writes().empty());
    EXPECT_EQ(client.WriteBytes(data, 4), 4u);
    EXPECT_EQ(client.Writes(), std::vector<std::string>{"ping"});
    EXPECT_EQ(ReceiveUpTo(server.Get(), 4), "ping");
    EXPECT_EQ(client.Errors(), 1);
}

// A listener on 127.0.0.1 whose connections take at most about 2 KiB
// before the application reads.
Fd ListenWithSmallReceiveBuffer()
{
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int small = 2048;
    setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    const sockaddr_in address = Loopback(0);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0
        || ::listen(fd.Get(), 16) != 0)
        throw std::runtime_error("listen on 127.0.0.1 failed");
    return fd;
}

// A fixed small send buffer, so that the system cannot take much of what
// the client writes.
bool FixSmallSendBuffer(CKelNetClient& client)
{
    const int small = 4096;
    return setsockopt(*client.GetSocket(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small) == 0;
}

std::string Pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 4096) % 251);
    return bytes;
}

TEST(NetClientWrites, FullSendBufferIsQueuedAndSentInOrderOnceTheServerReads)
{
    // The server reads nothing at first: the system soon takes no more, and
    // the rest must wait in the client, not fail.
    Fd listener = ListenWithSmallReceiveBuffer();
    RecordingClient client;
    client.ConnectTo(LocalPort(listener.Get()));
    Fd server = AcceptWithin(listener.Get());
    ASSERT_TRUE(FixSmallSendBuffer(client));
    const std::string sent = Pattern(2 << 20);
    const size_t piece = 16 * 1024;
    for (size_t at = 0; at < sent.size(); at += piece) {
        const int size = static_cast<int>(piece);
        EXPECT_EQ(client.WriteBytes(reinterpret_cast<const BYTE*>(sent.data() + at), size), piece);
    }
    EXPECT_EQ(client.Errors(), 0);
    EXPECT_TRUE(client.IsAlive());
    EXPECT_TRUE(ReceiveUpTo(server.Get(), sent.size(), 60000ms) == sent);
    EXPECT_EQ(client.Errors(), 0);
}

TEST(NetClientWrites, ServerThatNeverReadsFailsTheConnectionPastTheQueueLimit)
{
    Fd listener = ListenWithSmallReceiveBuffer();
    RecordingClient client;
    client.ConnectTo(LocalPort(listener.Get()));
    Fd server = AcceptWithin(listener.Get());
    const std::string chunk(1 << 16, 'f');
    const int size = static_cast<int>(chunk.size());
    // The system's buffers take a few MiB at most; the queue its limit.
    size_t taken = 0;
    for (int i = 0; i < 1000 && client.Errors() == 0; ++i)
        taken += client.WriteBytes(reinterpret_cast<const BYTE*>(chunk.data()), size);
    EXPECT_EQ(client.Errors(), 1);
    EXPECT_FALSE(client.IsAlive());
    EXPECT_GE(taken, kKelSendQueueLimit);
    // The server sees the connection end after what it was sent.
    EXPECT_TRUE(WaitUntil([&] {
        char buffer[65536];
        return ::recv(server.Get(), buffer, sizeof buffer, MSG_DONTWAIT) == 0;
    }, 20000ms));
}

TEST(NetClientWrites, ServerThatTakesNothingForTheStallLimitFailsTheConnection)
{
    Fd listener = ListenWithSmallReceiveBuffer();
    RecordingClient client;
    client.SetSendStallLimit(200);
    client.ConnectTo(LocalPort(listener.Get()));
    Fd server = AcceptWithin(listener.Get());
    ASSERT_TRUE(FixSmallSendBuffer(client));
    const std::string chunk(1 << 16, 's');
    const int size = static_cast<int>(chunk.size());
    // Well below the queue limit, but more than the system takes.
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(client.WriteBytes(reinterpret_cast<const BYTE*>(chunk.data()), size), chunk.size());
    EXPECT_EQ(client.Errors(), 0);
    EXPECT_TRUE(WaitUntil([&] { return !client.IsAlive(); }, 10000ms));
    EXPECT_EQ(client.Errors(), 1);
    EXPECT_EQ(client.Closes(), 0);
}

TEST(NetClientWrites, WritesFromSeveralThreadsKeepEachWriteWhole)
{
    Fd listener = ListenWithSmallReceiveBuffer();
    RecordingClient client;
    client.ConnectTo(LocalPort(listener.Get()));
    Fd server = AcceptWithin(listener.Get());
    ASSERT_TRUE(FixSmallSendBuffer(client));
    // Each write is a piece naming its thread and number, filled with a
    // byte of both.
    constexpr int kThreads = 4, kPieces = 64;
    constexpr size_t kPiece = 4096;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&client, t] {
            for (int n = 0; n < kPieces; ++n) {
                std::string piece(kPiece, static_cast<char>(t * kPieces + n));
                piece[0] = static_cast<char>(t);
                piece[1] = static_cast<char>(n);
                const int size = static_cast<int>(kPiece);
                client.WriteBytes(reinterpret_cast<const BYTE*>(piece.data()), size);
            }
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    const std::string received = ReceiveUpTo(server.Get(), kThreads * kPieces * kPiece, 60000ms);
    ASSERT_EQ(received.size(), kThreads * kPieces * kPiece);
    int next[kThreads] = {};
    for (size_t at = 0; at < received.size(); at += kPiece) {
        const int t = received[at], n = received[at + 1];
        ASSERT_TRUE(t >= 0 && t < kThreads) << at;
        EXPECT_EQ(n, next[t]) << "piece " << at / kPiece;
        next[t] = n + 1;
        const std::string fill(kPiece - 2, static_cast<char>(t * kPieces + n));
        EXPECT_TRUE(received.compare(at + 2, kPiece - 2, fill) == 0) << "piece " << at / kPiece;
    }
    EXPECT_EQ(client.Errors(), 0);
}

TEST(NetClientPeers, SocatSendsAbcAndClosesInOrder)
{
    SocatServer socat("SYSTEM:printf abc");
    RecordingClient client;
    client.ConnectTo(socat.Port());
    ASSERT_TRUE(WaitUntil([&] { return client.Closes() == 1; }));
    EXPECT_EQ(client.Received(), "abc");
    EXPECT_FALSE(client.IsAlive());
    EXPECT_EQ(client.Errors(), 0);
}

TEST(NetClientPeers, SocatEchoesWhatTheClientWrites)
{
    SocatServer socat("EXEC:cat");
    RecordingClient client;
    client.ConnectTo(socat.Port());
    const std::string message = "hello over socat";
    EXPECT_EQ(client.WriteBytes(reinterpret_cast<const BYTE*>(message.data()), static_cast<int>(message.size())),
              message.size());
    EXPECT_TRUE(WaitUntil([&] { return client.Received() == message; }));
    client.Close();
    EXPECT_EQ(client.Closes(), 1);
}

TEST(NetClientPeers, FamilyServerEchoesTheFamilyClient)
{
    EchoServer server;
    int port = 0;
    ASSERT_TRUE(server.Start(L"127.0.0.1", port));
    RecordingClient client;
    client.ConnectTo(port);
    ASSERT_TRUE(client.IsAlive());
    std::string expected;
    for (int i = 0; i < 50; ++i) {
        const std::string message = "message " + std::to_string(i) + ";";
        expected += message;
        client.WriteBytes(reinterpret_cast<const BYTE*>(message.data()), static_cast<int>(message.size()));
    }
    EXPECT_TRUE(WaitUntil([&] { return client.Received() == expected; }));
    server.Stop(); // the server ends the connection: an orderly close
    EXPECT_TRUE(WaitUntil([&] { return client.Closes() == 1; }));
    EXPECT_EQ(client.Errors(), 0);
}
