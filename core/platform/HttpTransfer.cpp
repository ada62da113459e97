#include "HttpTransfer.h"

#include "ErrorNumbers.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <thread>

namespace kel::platform {
namespace {

// Beyond this much unread body the transfer pauses until the reader catches up.
constexpr size_t kBufferedLimit = 256 * 1024;
// What libcurl receives at once (its default is 16 KiB; the curl tool uses
// 100 KiB): fewer, larger receives. Not for a compressed answer: while the
// reader lets the transfer pause, libcurl keeps everything one receive
// decompresses to, and 16 KiB of a gzip bomb is already 16 MiB.
constexpr long kReceiveBuffer = 256 * 1024;
// The longest wait for the sockets; libcurl's own timers end it sooner.
constexpr int kPollMs = 1000;

std::atomic<long> g_lowSpeedBytes {HttpLowSpeedLimit {}.bytes};
std::atomic<long> g_lowSpeedSeconds {HttpLowSpeedLimit {}.seconds};

DWORD NumberOfCurlError(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
        return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
        return ERROR_INTERNET_TIMEOUT;
    case CURLE_URL_MALFORMAT:
        return ERROR_INTERNET_INVALID_URL;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_PARTIAL_FILE:
        return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_TOO_MANY_REDIRECTS:
        return ERROR_HTTP_REDIRECT_FAILED;
    case CURLE_BAD_CONTENT_ENCODING:
        return ERROR_INTERNET_DECODING_FAILED;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
        return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    default:
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

bool HasLocation(const std::string& headers)
{
    std::string lower(headers);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("\nlocation:") != std::string::npos;
}

void SetOption(CURL* easy, CURLoption option, const std::string& value)
{
    curl_easy_setopt(easy, option, value.c_str());
}

// Only the schemes asked for, both for the first address and for redirects
// (libcurl otherwise follows any it was built with: file, dict, telnet...).
void LimitProtocols(CURL* easy, const std::string& protocols)
{
#if LIBCURL_VERSION_NUM >= 0x075500
    SetOption(easy, CURLOPT_PROTOCOLS_STR, protocols);
    SetOption(easy, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
#else
    long mask = 0;
    const std::string list = "," + protocols + ",";
    if (list.find(",http,") != std::string::npos)
        mask |= CURLPROTO_HTTP;
    if (list.find(",https,") != std::string::npos)
        mask |= CURLPROTO_HTTPS;
    if (list.find(",ftp,") != std::string::npos)
        mask |= CURLPROTO_FTP;
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS, mask);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS, mask);
#endif
}

} // namespace

void SetHttpLowSpeedLimit(const HttpLowSpeedLimit& limit)
{
    g_lowSpeedBytes = limit.bytes;
    g_lowSpeedSeconds = limit.seconds;
}

HttpLowSpeedLimit GetHttpLowSpeedLimit()
{
    return {g_lowSpeedBytes.load(), g_lowSpeedSeconds.load()};
}

struct CHttpTransfer::Impl {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    char error[CURL_ERROR_SIZE] = {};

    bool active = false;  // the easy handle is in the multi handle
    bool done = false;
    bool headersDone = false;
    bool paused = false;
    bool draining = false; // libcurl is handing over what it held while paused
    size_t wanted = 0;    // what the reader asks for at once
    CURLcode result = CURLE_OK;
    std::string rawHeaders;
    std::string body;     // received, not yet read
    size_t bodyOffset = 0;

    Impl()
    {
        multi = curl_multi_init();
        easy = curl_easy_init();
    }
    ~Impl()
    {
        Detach();
        curl_slist_free_all(headers);
        if (easy)
            curl_easy_cleanup(easy);
        if (multi)
            curl_multi_cleanup(multi);
    }

    size_t Buffered() const { return body.size() - bodyOffset; }

    void Detach()
    {
        if (active)
            curl_multi_remove_handle(multi, easy);
        active = false;
    }

    void Attach()
    {
        done = headersDone = paused = false;
        wanted = 0;
        result = CURLE_OK;
        rawHeaders.clear();
        body.clear();
        bodyOffset = 0;
        error[0] = 0;
        curl_multi_add_handle(multi, easy);
        active = true;
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* self)
    {
        auto& impl = *static_cast<Impl*>(self);
        const std::string_view line(data, size * count);
        if (line.rfind("HTTP/", 0) == 0) {
            impl.rawHeaders.clear(); // a new response (after a redirect or a 100)
            impl.headersDone = false;
        }
        impl.rawHeaders += line;
        if (line == "\r\n" || line == "\n") {
            long status = 0;
            curl_easy_getinfo(impl.easy, CURLINFO_RESPONSE_CODE, &status);
            // A redirect that will be followed is not the final response.
            const bool redirect = status >= 300 && status < 400 && HasLocation(impl.rawHeaders);
            impl.headersDone = status >= 200 && !redirect;
        }
        return size * count;
    }

    // Pauses beyond the limit, or beyond what the reader asked for at once.
    size_t PauseAt() const { return std::max(kBufferedLimit, wanted); }

    static size_t OnBody(char* data, size_t size, size_t count, void* self)
    {
        auto& impl = *static_cast<Impl*>(self);
        if (!impl.draining && impl.Buffered() >= impl.PauseAt()) {
            impl.paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        // What was read goes once it is at least as much as what is left, so
        // the bytes left are moved a bounded number of times.
        if (impl.bodyOffset == impl.body.size()) {
            impl.body.clear();
            impl.bodyOffset = 0;
        } else if (impl.bodyOffset >= kBufferedLimit && impl.bodyOffset >= impl.Buffered()) {
            impl.body.erase(0, impl.bodyOffset);
            impl.bodyOffset = 0;
        }
        impl.body.append(data, size * count);
        impl.headersDone = true;
        return size * count;
    }

    // Lets a paused transfer go on once the reader has made room. libcurl
    // hands over what it held back within this call, and all of it is taken:
    // pausing again halfway would make libcurl copy the rest of what it holds
    // once more each time (a compressed answer can leave megabytes there).
    void Resume()
    {
        if (paused && Buffered() < PauseAt()) {
            paused = false;
            draining = true;
            curl_easy_pause(easy, CURLPAUSE_CONT);
            draining = false;
        }
    }

    // Moves whatever the sockets have; sets `done` and `result` when the
    // transfer ended.
    void Perform()
    {
        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                done = true;
                result = message->data.result;
            }
        }
    }

    // Runs the transfer until `ready` holds or it ends. It waits on the
    // sockets only when the last round brought nothing that helps: a paused
    // transfer has no socket to wait on, and waiting then would only sit
    // out the whole poll time.
    template <typename Ready>
    void RunUntil(Ready ready)
    {
        while (active && !done && !ready()) {
            Resume();
            Perform();
            if (done || ready() || paused)
                continue;
            curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
        }
    }

    [[noreturn]] void Fail()
    {
        const DWORD number = NumberOfCurlError(result);
        std::string text = error[0] ? error : curl_easy_strerror(result);
        Detach();
        throw InternetError {number, text};
    }
};

CHttpTransfer::CHttpTransfer() : m_pImpl(std::make_unique<Impl>()) {}

CHttpTransfer::~CHttpTransfer() = default;

void CHttpTransfer::Start(const HttpRequest& request)
{
    Impl& impl = *m_pImpl;
    if (!impl.multi || !impl.easy)
        throw InternetError {ERROR_INTERNET_OUT_OF_HANDLES, {}};
    impl.Detach();
    CURL* easy = impl.easy;
    curl_easy_reset(easy);
    curl_slist_free_all(impl.headers);
    impl.headers = nullptr;
    for (const std::string& header : request.headers)
        impl.headers = curl_slist_append(impl.headers, header.c_str());
    // A large body would otherwise wait for "100 Continue" first.
    impl.headers = curl_slist_append(impl.headers, "Expect:");

    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_USERAGENT, request.agent.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, impl.headers);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, impl.error);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    if (!request.decodeContent)
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, request.connectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, g_lowSpeedBytes.load());
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, g_lowSpeedSeconds.load());
    LimitProtocols(easy, request.protocols);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &impl);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &impl);
    if (request.decodeContent) // our own Accept-Encoding header is the one sent
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    if (request.post) {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request.body.c_str());
    }

    for (int attempt = 0;; ++attempt) {
        impl.Attach();
        impl.RunUntil([&impl] { return impl.headersDone; });
        const bool retry = impl.done && impl.result == CURLE_COULDNT_CONNECT && attempt < request.connectRetries;
        if (!retry)
            break;
        impl.Detach();
        std::this_thread::sleep_for(std::chrono::milliseconds(request.connectBackoffMs));
    }
    if (impl.done && impl.result != CURLE_OK)
        impl.Fail();
}

long CHttpTransfer::Status() const
{
    long status = 0;
    curl_easy_getinfo(m_pImpl->easy, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

const std::string& CHttpTransfer::RawHeaders() const
{
    return m_pImpl->rawHeaders;
}

bool CHttpTransfer::ContentLength(ULONGLONG& length) const
{
    curl_off_t value = -1;
    if (curl_easy_getinfo(m_pImpl->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &value) != CURLE_OK || value < 0)
        return false;
    length = static_cast<ULONGLONG>(value);
    return true;
}

size_t CHttpTransfer::Read(void* buffer, size_t length)
{
    Impl& impl = *m_pImpl;
    impl.wanted = length;
    impl.RunUntil([&impl, length] { return impl.Buffered() >= length; });
    const size_t take = std::min(length, impl.Buffered());
    if (take == 0 && impl.done && impl.result != CURLE_OK)
        impl.Fail();
    std::memcpy(buffer, impl.body.data() + impl.bodyOffset, take);
    impl.bodyOffset += take;
    return take;
}

void CHttpTransfer::Finish()
{
    m_pImpl->Detach();
}

} // namespace kel::platform
