#pragma once

// CHttpTransfer: the HTTP layer under CKelHTTP, over libcurl. One object
// keeps its connections alive between the requests it makes (one at a time).
// Start sends a request and returns once the response headers are in; Read
// then pulls the body in pieces of the caller's size. About 256 KiB of the
// body at most waits unread: beyond that the transfer pauses until the
// reader catches up. Failures raise InternetError with a WinINet
// number and libcurl's description.
// Not thread safe: one object serves one thread.
#include "InternetError.h"
#include "KelExport.h"
#include "Types.h"

#include <memory>
#include <string>
#include <vector>

namespace kel::platform {

struct HttpRequest {
    std::string url;
    std::string agent;
    bool post = false;
    std::string body;                 // sent as is (POST only)
    std::vector<std::string> headers; // "Name: value", in the order given
    bool decodeContent = false;       // undo gzip / deflate content encoding
    long connectTimeoutMs = 20000;
    long connectBackoffMs = 1000;     // pause before a connection is tried again
    int connectRetries = 1;
    // The schemes the first address and every redirect may use ("http,https"
    // style); anything else fails at once as an unrecognised scheme.
    std::string protocols = "http,https";
};

// The slowest a transfer may move before it fails with a time-out: fewer
// than `bytes` in `seconds` (waiting for the answer included). Process wide,
// read when a request starts; tests lower it so as not to wait for the
// usual limit.
struct HttpLowSpeedLimit {
    long bytes = 1024;
    long seconds = 30;
};
KELCORE_API void SetHttpLowSpeedLimit(const HttpLowSpeedLimit& limit);
KELCORE_API HttpLowSpeedLimit GetHttpLowSpeedLimit();

class KELCORE_API CHttpTransfer {
public:
    CHttpTransfer();
    ~CHttpTransfer();
    CHttpTransfer(const CHttpTransfer&) = delete;
    CHttpTransfer& operator=(const CHttpTransfer&) = delete;

    void Start(const HttpRequest& request);
    long Status() const;
    // Status line and header lines of the final response, each ending in
    // CR LF, then the empty line.
    const std::string& RawHeaders() const;
    // The Content-Length of the response; false when it has none.
    bool ContentLength(ULONGLONG& length) const;
    // Fills `buffer` unless the body ends first; 0 at the end.
    size_t Read(void* buffer, size_t length);
    // Ends the current request (a body not read is discarded).
    void Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};

} // namespace kel::platform
