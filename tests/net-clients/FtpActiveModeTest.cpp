// CKelFTP in active mode against a scripted server on 127.0.0.1 that lets
// another address (127.0.0.2) reach the client's data port before it does.
#include "KelException.h"
#include "KelFTP.h"
#include "RaisedMessage.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using kel::test::CaughtMessage;
using kel::test::ReadBytes;
using kel::test::TempDir;
using kel::test::WriteBytes;

namespace {

class QuietFTP : public CKelFTP {
public:
    using CKelFTP::SetTimeout;

protected:
    void vDownloadState(const DWORD&, const DWORD&, const ULONGLONG&, const wchar_t*, const wchar_t*) override {}
    void vUploadState(const DWORD&, const DWORD&, const ULONGLONG&, const wchar_t*, const wchar_t*) override {}
    void vWaitForSpeedBalance() override {}
};

// A TCP socket bound to `from` (port chosen by the system), connected to
// 127.0.0.1:`port`, or -1; every receive gives up after 10 s so no test hangs.
int ConnectFrom(const char* from, int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local {};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from, &local.sin_addr);
    sockaddr_in remote {};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    remote.sin_port = htons(static_cast<uint16_t>(port));
    const timeval limit {10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0
        || connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof(remote)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void SendText(int fd, const std::string& text) { send(fd, text.data(), text.size(), MSG_NOSIGNAL); }

// Everything the peer sends until it closes (or stays silent for 10 s). A
// peer that closes with our bytes unread resets the connection: closed too.
std::string ReceiveAll(int fd, bool& closed)
{
    std::string bytes;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = recv(fd, buffer, sizeof(buffer), 0)) > 0)
        bytes.append(buffer, static_cast<size_t>(got));
    closed = got == 0 || errno == ECONNRESET;
    return bytes;
}

// One control connection speaking just enough FTP for an active-mode upload
// or download of `content`. When the client offers its data port (EPRT), an
// intruder at 127.0.0.2 connects to it first, sending `intruderSends` and
// then reading what reaches it. With `serverConnects` false the server never
// opens the data connection itself.
class ActiveModeServer {
public:
    ActiveModeServer(std::string content, std::string intruderSends, bool serverConnects)
        : m_content(std::move(content)), m_intruderSends(std::move(intruderSends)), m_serverConnects(serverConnects)
    {
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(m_listener, 1) != 0
            || getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot listen");
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { _Serve(); });
    }
    ~ActiveModeServer()
    {
        Finish();
        close(m_listener);
    }

    int Port() const { return m_port; }
    // Waits for the conversation to end (the client closed or said QUIT).
    void Finish()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    std::string stored;            // what the server received for STOR
    std::string intruderReceived;  // what reached the intruder
    bool intruderConnected = false; // the intruder reached the data port
    bool intruderClosed = false;   // the client closed the intruder's connection

private:
    void _Serve()
    {
        const int control = accept(m_listener, nullptr, nullptr);
        const timeval limit {10, 0};
        setsockopt(control, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
        SendText(control, "220 ready\r\n");
        int intruder = -1;
        int dataPort = 0;
        for (std::string line; _ReadLine(control, line);) {
            if (line.rfind("EPRT ", 0) == 0) {
                dataPort = std::stoi(line.substr(line.rfind('|', line.size() - 2) + 1));
                intruder = ConnectFrom("127.0.0.2", dataPort);
                intruderConnected = intruder >= 0;
                SendText(intruder, m_intruderSends);
                shutdown(intruder, SHUT_WR);
                SendText(control, "200 ok\r\n");
            } else if (line.rfind("STOR ", 0) == 0 || line.rfind("RETR ", 0) == 0) {
                SendText(control, "150 opening\r\n");
                if (!m_serverConnects)
                    continue;
                const int data = ConnectFrom("127.0.0.1", dataPort);
                if (data < 0) {
                    SendText(control, "425 cannot open the data connection\r\n");
                    continue;
                }
                bool closed = false;
                if (line[0] == 'S')
                    stored = ReceiveAll(data, closed);
                else
                    SendText(data, m_content);
                close(data);
                SendText(control, "226 done\r\n");
            } else if (line.rfind("SIZE ", 0) == 0) {
                SendText(control, "213 " + std::to_string(m_content.size()) + "\r\n");
            } else if (line == "QUIT") {
                SendText(control, "221 bye\r\n");
                break;
            } else {
                SendText(control, line.rfind("USER ", 0) == 0 ? "230 in\r\n" : "200 ok\r\n");
            }
        }
        close(control);
        if (intruder >= 0) {
            intruderReceived = ReceiveAll(intruder, intruderClosed);
            close(intruder);
        }
    }

    bool _ReadLine(int fd, std::string& line)
    {
        for (;;) {
            const size_t end = m_pending.find("\r\n");
            if (end != std::string::npos) {
                line = m_pending.substr(0, end);
                m_pending.erase(0, end + 2);
                return true;
            }
            char buffer[512];
            const ssize_t got = recv(fd, buffer, sizeof(buffer), 0);
            if (got <= 0)
                return false;
            m_pending.append(buffer, static_cast<size_t>(got));
        }
    }

    std::string m_content;
    std::string m_intruderSends;
    bool m_serverConnects;
    int m_listener = -1;
    int m_port = 0;
    std::string m_pending;
    std::thread m_thread;
};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

} // namespace

TEST(FtpActiveMode, AnUploadGoesToTheServerAndNothingToAnotherAddress)
{
    TempDir local;
    const std::string bytes(10000, 'u');
    WriteBytes(local / "a.bin", bytes);
    ActiveModeServer server("", "", true);
    QuietFTP client;
    client.SetTimeout(5000);
    client.Connection(L"127.0.0.1", L"kel", L"secret", server.Port(), 0);
    EXPECT_EQ(kel::test::RaisedText(
                  [&] { client.Upload(Wide(local / "a.bin").c_str(), L"a.bin", CKelFTP::kTransferBinary); }),
              std::nullopt);
    client.Close();
    server.Finish();
    EXPECT_EQ(server.stored.size(), bytes.size());
    EXPECT_TRUE(server.stored == bytes);
    EXPECT_EQ(server.intruderReceived.size(), 0u);
    EXPECT_TRUE(server.intruderConnected);
    EXPECT_TRUE(server.intruderClosed);
}

TEST(FtpActiveMode, ADownloadTakesTheServersBytesNotThoseOfAnotherAddress)
{
    TempDir local;
    ActiveModeServer server("the file on the server", "forged bytes", true);
    QuietFTP client;
    client.SetTimeout(5000);
    client.Connection(L"127.0.0.1", L"kel", L"secret", server.Port(), 0);
    EXPECT_EQ(kel::test::RaisedText(
                  [&] { client.Download(L"a.bin", Wide(local / "b.bin").c_str(), CKelFTP::kTransferBinary); }),
              std::nullopt);
    client.Close();
    server.Finish();
    EXPECT_EQ(ReadBytes(local / "b.bin"), "the file on the server");
    EXPECT_TRUE(server.intruderConnected);
    EXPECT_TRUE(server.intruderClosed);
}

// Only another address ever connects: the wait for the server goes on to
// its time-out, and the one who did connect got nothing.
TEST(FtpActiveMode, OnlyAnotherAddressConnectingEndsInTheTimeOut)
{
    TempDir local;
    WriteBytes(local / "a.bin", std::string(5000, 'u'));
    ActiveModeServer server("", "", false);
    QuietFTP client;
    client.SetTimeout(1000);
    client.Connection(L"127.0.0.1", L"kel", L"secret", server.Port(), 0);
    EXPECT_EQ(CaughtMessage([&] { client.Upload(Wide(local / "a.bin").c_str(), L"a.bin", CKelFTP::kTransferBinary); }),
              L"KelException : The operation timed out.\r\n");
    EXPECT_FALSE(client.IsConnected());
    server.Finish();
    EXPECT_EQ(server.intruderReceived.size(), 0u);
    EXPECT_TRUE(server.intruderConnected);
    EXPECT_TRUE(server.intruderClosed);
}
