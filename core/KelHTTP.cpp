#include "KelHTTP.h"

#include "ChunkBatch.h"
#include "ClientErrors.h"
#include "KelException.h"
#include "KelUtil.h"
#include "platform/CodePage.h"
#include "platform/ErrorNumbers.h"
#include "platform/FileHandle.h"
#include "platform/HttpTransfer.h"
#include "platform/LocalFile.h"
#include "platform/UiHooks.h"
#include "platform/Unicode.h"

#include <chrono>
#include <thread>

using kel::platform::CHttpTransfer;
using kel::platform::HttpRequest;
using kel::platform::InternetError;

using kel::detail::ChunkBatch;
using kel::detail::ThrowInternetError;
using kel::detail::ThrowLocalError;

namespace {

constexpr const wchar_t* kAgent = L"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0; .NET CLR 1.1.4322; "
                                  L".NET CLR 2.0.50727; .NET CLR 3.5.30729; .NET CLR 3.0.30729)";
constexpr long kConnectTimeoutMs = 20000;
constexpr long kConnectBackoffMs = 1000;
constexpr int kConnectRetries = 1;

// Any web site will do as the referrer; the project's own name says who asks.
const char* const kFormHeaders[] = {
    "Accept: text/html, application/xhtml+xml, */*",
    "Referer: http://localhost/kelcommon/",
    "Accept-Language: ko-KR",
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
    "Content-Type: application/x-www-form-urlencoded",
    "Accept-Encoding: gzip, deflate",
    "Connection: Keep-Alive",
};

HttpRequest SessionRequest(const CStringW& agent, const CStringW& url)
{
    HttpRequest request;
    request.url = kel::platform::WideToUtf8(url.str());
    request.agent = kel::platform::WideToUtf8(agent.str());
    request.connectTimeoutMs = kConnectTimeoutMs;
    request.connectBackoffMs = kConnectBackoffMs;
    request.connectRetries = kConnectRetries;
    return request;
}

} // namespace

// The session: the transfer used for URL downloads.
struct CKelHTTP::SSession {
    CHttpTransfer transfer;
};

// The connection: a server, a port and a transfer of its own, whose
// connection stays open between requests.
struct CKelHTTP::SConnection {
    CStringW server;
    WORD port = 0;
    CHttpTransfer transfer;
};

CKelHTTP::CKelHTTP() : m_strAgent(kAgent), m_pSession(std::make_unique<SSession>()) {}

CKelHTTP::~CKelHTTP()
{
    CloseHttp();
}

void CKelHTTP::ConnectHttp(const wchar_t* server, const int& port)
{
    m_pConnection.reset();
    // The session ends with CloseHttp; this object cannot connect again.
    if (!m_pSession)
        throw new CKelException(static_cast<DWORD>(kel::platform::ERROR_INTERNET_INCORRECT_HANDLE_STATE));
    // Nothing goes over the network until a request; only the name is checked.
    if (!server || !*server)
        throw new CKelException(static_cast<DWORD>(kel::platform::ERROR_INTERNET_NAME_NOT_RESOLVED));
    auto connection = std::make_unique<SConnection>();
    connection->server = server;
    connection->port = static_cast<WORD>(port);
    m_pConnection = std::move(connection);
}

void CKelHTTP::CloseHttp()
{
    m_pConnection.reset();
    m_pSession.reset();
}

CStringW CKelHTTP::_ObjectUrl(const wchar_t* object) const
{
    CStringW host = m_pConnection->server;
    if (host.Find(L':') >= 0 && host.GetAt(0) != L'[')
        host = L"[" + host + L"]";
    CStringW path(object ? object : L"");
    if (path.IsEmpty() || path.GetAt(0) != L'/')
        path = L"/" + path;
    CStringW url;
    // Port 0 asks for the service's default port (80), as the platform's
    // connection call does.
    if (m_pConnection->port == 0)
        url.Format(L"http://%ls%ls", host.GetString(), path.GetString());
    else
        url.Format(L"http://%ls:%u%ls", host.GetString(), static_cast<unsigned>(m_pConnection->port),
                   path.GetString());
    return url;
}

CStringW CKelHTTP::SendRequestHttp(const wchar_t* object, const wchar_t* body)
{
    if (!m_pConnection)
        throw new CKelException(L"Connection이 없습니다.");

    HttpRequest request = SessionRequest(m_strAgent, _ObjectUrl(object));
    request.post = true;
    request.body = kel::platform::WideToMultiByte(body ? body : L"", kel::platform::CodePage::System);
    request.headers.assign(std::begin(kFormHeaders), std::end(kFormHeaders));
    // The request offers gzip and deflate, so the answer is decoded here.
    request.decodeContent = true;

    CHttpTransfer& transfer = m_pConnection->transfer;
    std::string bytes;
    long status = 0;
    try {
        transfer.Start(request);
        status = transfer.Status();
        kel::platform::ShowMessageBox(CStringW(kel::platform::Utf8ToWide(transfer.RawHeaders())));
        if (status == 200) {
            char buffer[kChunkSize];
            while (const size_t read = transfer.Read(buffer, sizeof(buffer))) {
                if (bytes.size() + read > kMaxResponseBytes) {
                    transfer.Finish();
                    throw new CKelException(L"응답 본문이 %u MiB를 넘어 읽기를 멈췄습니다.",
                                            static_cast<unsigned>(kMaxResponseBytes >> 20));
                }
                bytes.append(buffer, read);
            }
        }
        transfer.Finish();
    } catch (const InternetError& error) {
        transfer.Finish();
        ThrowInternetError(error);
    }
    // Converted as a whole, so a character split between two reads stays whole.
    return CStringW(kel::platform::MultiByteToWide(bytes, kel::platform::CodePage::System));
}

void CKelHTTP::vWaitForSpeedBalance()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void CKelHTTP::Download(const wchar_t* url, const wchar_t* localPath, const int& flags)
{
    (void)flags;
    if (!m_pConnection || !m_pSession)
        throw new CKelException(L"Connection이 없습니다.");

    CHttpTransfer& transfer = m_pSession->transfer;
    kel::platform::CLocalFile local;
    try {
        HttpRequest request = SessionRequest(m_strAgent, CStringW(url ? url : L""));
        request.protocols = "http,https,ftp";
        transfer.Start(request);
        const long status = transfer.Status();
        if (status >= 400) {
            std::string statusLine = transfer.RawHeaders();
            statusLine.erase(std::min(statusLine.find("\r\n"), statusLine.size()));
            throw InternetError {kel::platform::ERROR_INTERNET_EXTENDED_ERROR, statusLine};
        }
        ULONGLONG totalSize = 0;
        if (!transfer.ContentLength(totalSize))
            totalSize = 0;

        int error = 0;
        if (!local.CreateForWriting(kel::platform::NarrowPath(localPath), error))
            ThrowLocalError(localPath, error);
        ChunkBatch batch;
        DWORD chunkIndex = 0;
        for (bool more = true; more;) {
            more = batch.Fill([this] { vWaitForSpeedBalance(); },
                              [&](char* into) { return transfer.Read(into, kChunkSize); });
            if (batch.IsEmpty())
                break;
            if (!local.Write(batch.Bytes(), error))
                ThrowLocalError(localPath, error);
            batch.Report(chunkIndex, [&](const DWORD& bytesInChunk, const DWORD& index) {
                // Without a Content-Length the hook sees the bytes received so far.
                const ULONGLONG size = totalSize != 0 ? totalSize : ULONGLONG(index * kChunkSize + bytesInChunk);
                vDownloadState(bytesInChunk, index, size, url, localPath);
            });
        }
        transfer.Finish();
        // Only a whole response replaces the local file.
        if (!local.Commit(error))
            ThrowLocalError(localPath, error);
    } catch (const InternetError& error) {
        transfer.Finish();
        m_pConnection.reset();
        ThrowInternetError(error);
    } catch (...) {
        transfer.Finish();
        throw;
    }
}
