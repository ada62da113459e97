// CKelHTTP against a real HTTP server on 127.0.0.1 (tests/support/http_server.py).
#include "KelException.h"
#include "KelHTTP.h"
#include "ServerProcess.h"
#include "TestSupport.h"
#include "platform/UiHooks.h"
#include "RaisedMessage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using kel::test::CaughtMessage;

using kel::test::PyHttpServer;
using kel::test::ReadBytes;
using kel::test::TempDir;
using kel::test::WriteBytes;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::StartsWith;

namespace {

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class RecordingHTTP : public CKelHTTP {
public:
    std::vector<std::string> events; // "bytes index size" per chunk
    int waits = 0;

protected:
    void vDownloadState(const DWORD& bytes, const DWORD& index, const ULONGLONG& size, const wchar_t*,
                        const wchar_t*) override
    {
        events.push_back(std::to_string(bytes) + " " + std::to_string(index) + " " + std::to_string(size));
    }
    void vWaitForSpeedBalance() override { ++waits; }
};

// Collects what the library shows in message boxes.
class HttpClient : public testing::Test {
protected:
    void SetUp() override
    {
        kel::platform::SetMessageBoxHook([this](const CStringW& text, const CStringW&, UINT) {
            boxes.push_back(text.str());
            return kel::platform::kIdOk;
        });
        client.ConnectHttp(L"127.0.0.1", server.Port());
    }
    void TearDown() override { kel::platform::SetMessageBoxHook(nullptr); }

    std::string Request(int number) { return ReadBytes(server.RecordDir() + "/request-" + std::to_string(number) + ".txt"); }
    std::wstring Url(const std::string& path)
    {
        return Wide("http://127.0.0.1:" + std::to_string(server.Port()) + path);
    }

    PyHttpServer server;
    TempDir local;
    RecordingHTTP client;
    std::vector<std::wstring> boxes;
};

const std::wstring kKorean(5000, L'가');

} // namespace

TEST_F(HttpClient, PostSendsTheSevenHeadersInOrderAndTheBodyBytes)
{
    const CStringW result = client.SendRequestHttp(L"/form", L"name=홍길동&x=1");
    EXPECT_EQ(result.str(), L"ok");
    const std::string request = Request(1);
    const std::string expectedHeaders = "POST /form HTTP/1.1\n"
                                        "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\n"
                                        "Accept: text/html, application/xhtml+xml, */*\n"
                                        "Referer: http://localhost/kelcommon/\n"
                                        "Accept-Language: ko-KR\n"
                                        "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\n"
                                        "Content-Type: application/x-www-form-urlencoded\n"
                                        "Accept-Encoding: gzip, deflate\n"
                                        "Connection: Keep-Alive\n"
                                        "Content-Length: 18\n\n";
    EXPECT_EQ(request, expectedHeaders + "name=홍길동&x=1");

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_THAT(boxes[0], StartsWith(L"HTTP/1.1 200 OK\r\n"));
    EXPECT_THAT(boxes[0], HasSubstr(L"\r\nContent-Length: 2\r\n"));
    EXPECT_THAT(boxes[0], testing::EndsWith(L"\r\n\r\n"));
}

TEST_F(HttpClient, AnEmptyBodySendsAnEmptyRequestBody)
{
    client.SendRequestHttp(L"/form", L"");
    EXPECT_THAT(Request(1), testing::EndsWith("Content-Length: 0\n\n"));
}

TEST_F(HttpClient, AStatusOtherThan200GivesAnEmptyResultAfterTheHeaderBox)
{
    EXPECT_EQ(client.SendRequestHttp(L"/missing", L"a=1").str(), L"");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_THAT(boxes[0], StartsWith(L"HTTP/1.1 404 Not Found\r\n"));
}

TEST_F(HttpClient, CharactersAcrossChunkBoundariesAndCompressedAnswersComeOutWhole)
{
    // 15000 bytes of three-byte characters: 4096 is not a multiple of three.
    EXPECT_EQ(client.SendRequestHttp(L"/korean", L"").str(), kKorean);
    EXPECT_EQ(client.SendRequestHttp(L"/gzip", L"").str(), kKorean);
    EXPECT_EQ(client.SendRequestHttp(L"/deflate", L"").str(), kKorean);
    EXPECT_THAT(boxes[1], HasSubstr(L"Content-Encoding: gzip\r\n"));
}

TEST_F(HttpClient, DownloadReportsTheContentLengthWithEveryChunk)
{
    const std::string path = local / "bytes.bin";
    client.Download(Url("/bytes?n=10000").c_str(), Wide(path).c_str(), 0);
    EXPECT_THAT(client.events, ElementsAre("4096 0 10000", "4096 1 10000", "1808 2 10000"));
    EXPECT_EQ(client.waits, 4);
    const std::string bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 10000u);
    for (size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(static_cast<unsigned char>(bytes[i]), i % 256) << i;
}

TEST_F(HttpClient, WithoutAContentLengthTheSizeIsWhatArrivedSoFar)
{
    const std::string path = local / "chunked.bin";
    client.Download(Url("/chunked?sizes=4096,4096,100").c_str(), Wide(path).c_str(), 0);
    EXPECT_THAT(client.events, ElementsAre("4096 0 4096", "4096 1 8192", "100 2 8292"));
    EXPECT_EQ(ReadBytes(path).size(), 8292u);
}

TEST_F(HttpClient, AnEmptyDownloadCreatesAnEmptyFileWithoutProgress)
{
    const std::string path = local / "empty.bin";
    client.Download(Url("/bytes?n=0").c_str(), Wide(path).c_str(), 0);
    EXPECT_TRUE(client.events.empty());
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(ReadBytes(path), "");
}

TEST_F(HttpClient, AnErrorStatusFailsTheDownloadAndKeepsTheLocalFile)
{
    const std::string path = local / "keep.bin";
    WriteBytes(path, "precious");
    const std::wstring message = CaughtMessage([&] { client.Download(Url("/missing").c_str(), Wide(path).c_str(), 0); });
    EXPECT_THAT(message, HasSubstr(L"404 Not Found"));
    EXPECT_EQ(ReadBytes(path), "precious");
    // The connection is dropped with the failure.
    EXPECT_EQ(CaughtMessage([&] { client.Download(Url("/bytes?n=1").c_str(), Wide(path).c_str(), 0); }),
              L"KelException : Connection이 없습니다.");
}

TEST_F(HttpClient, AnUnwritableDestinationNamesTheFile)
{
    const std::string path = local / "no-folder/a.bin";
    EXPECT_EQ(CaughtMessage([&] { client.Download(Url("/bytes?n=10").c_str(), Wide(path).c_str(), 0); }),
              L"KelException : " + Wide(path) + L" : No such file or directory");
}

TEST_F(HttpClient, NothingWorksAfterCloseHttp)
{
    client.CloseHttp();
    const std::wstring noConnection = L"KelException : Connection이 없습니다.";
    EXPECT_EQ(CaughtMessage([&] { client.SendRequestHttp(L"/form", L""); }), noConnection);
    EXPECT_EQ(CaughtMessage([&] { client.Download(Url("/bytes?n=1").c_str(), Wide(local / "a").c_str(), 0); }),
              noConnection);
    EXPECT_THAT(CaughtMessage([&] { client.ConnectHttp(L"127.0.0.1", server.Port()); }),
                StartsWith(L"KelException : The requested operation cannot be carried out because the handle"));
    client.CloseHttp();
}

TEST(HttpClientFailures, AClosedPortFailsWithCannotConnectAfterOneRetry)
{
    RecordingHTTP client;
    client.ConnectHttp(L"127.0.0.1", kel::test::FreeLoopbackPort());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THAT(CaughtMessage([&] { client.SendRequestHttp(L"/form", L""); }),
                StartsWith(L"KelException : A connection with the server could not be established. : "));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

// Port 0 asks for the service's default port (80). Through a proxy (the test
// server) the request line shows the address the client meant.
TEST(HttpClientPorts, PortZeroMeansTheDefaultHttpPort)
{
    PyHttpServer proxy;
    const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.Port());
    setenv("http_proxy", proxyUrl.c_str(), 1);
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");
    kel::platform::SetMessageBoxHook([](const CStringW&, const CStringW&, UINT) { return kel::platform::kIdOk; });
    RecordingHTTP client;
    client.ConnectHttp(L"kel.invalid", 0);
    const CStringW result = client.SendRequestHttp(L"/form", L"a=1");
    kel::platform::SetMessageBoxHook(nullptr);
    unsetenv("http_proxy");
    EXPECT_EQ(result.str(), L"ok");
    EXPECT_THAT(ReadBytes(proxy.RecordDir() + "/request-1.txt"), StartsWith("POST http://kel.invalid/form HTTP/1.1\n"));
}

TEST(HttpClientFailures, DownloadBeforeConnectHttpNeedsAConnection)
{
    RecordingHTTP client;
    EXPECT_EQ(CaughtMessage([&] { client.Download(L"http://127.0.0.1:1/", L"/nonexistent/x", 0); }),
              L"KelException : Connection이 없습니다.");
    EXPECT_THAT(CaughtMessage([&] { client.ConnectHttp(L"", 80); }),
                StartsWith(L"KelException : The server name or address could not be resolved."));
}
