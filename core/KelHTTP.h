#pragma once

// CKelHTTP: one HTTP session with fixed connection time-outs, one connection
// to one server, a form POST that returns the response text, and a URL
// download to a local file in 4096-byte chunks with a progress hook
// (vDownloadState) and a pacing hook (vWaitForSpeedBalance, 1 ms per chunk
// unless overridden).
//
//     ConnectHttp(server, port); SendRequestHttp(...) / Download(...) ...; CloseHttp();
//
// An object serves one connection: after CloseHttp it cannot connect again.
// Failures raise a CKelException (heap, by pointer) carrying the WinINet
// number's text and what went wrong. A connection that cannot be made in
// 20 s, or a transfer that moves fewer than 1 KiB in 30 s, fails with the
// time-out error. Calls block the calling thread; one
// object serves one thread at a time.
#include "platform/KelExport.h"
#include "platform/StringW.h"
#include "platform/Types.h"

#include <memory>

namespace kel::platform {
class CHttpTransfer;
}

class KELCORE_API CKelHTTP {
public:
    static constexpr DWORD kChunkSize = 4096;
    // The most a response body of SendRequestHttp may come to once
    // decompressed; a larger one fails instead of filling the memory.
    static constexpr size_t kMaxResponseBytes = size_t(64) << 20;

    CKelHTTP();
    virtual ~CKelHTTP();
    CKelHTTP(const CKelHTTP&) = delete;
    CKelHTTP& operator=(const CKelHTTP&) = delete;

    // Port 0 means the default HTTP port (80).
    void ConnectHttp(const wchar_t* server, const int& port);
    void CloseHttp();

    // POSTs `body` (in the system code page) to `object` on the connected
    // server, shows the raw response headers through the message-box hook,
    // and returns the (decompressed) response body for status 200, else "".
    // A body past kMaxResponseBytes fails. Redirects stay on http and https.
    CStringW SendRequestHttp(const wchar_t* object, const wchar_t* body);
    // Saves `url` (http, https or ftp, redirects included; any other scheme
    // fails at once) to `localPath`. The bytes go to a new file beside it
    // that replaces it, with its mode, only once the whole response is in:
    // a failed download leaves the old file as it was. `flags` are cache
    // flags of the original platform and change nothing here. An error
    // status (400 and up) fails before the local file is touched.
    void Download(const wchar_t* url, const wchar_t* localPath, const int& flags);

protected:
    // After each chunk: its size (1-4096), the number of chunks before it,
    // the Content-Length (or, without one, the bytes received so far), the
    // URL and the local path.
    virtual void vDownloadState(const DWORD& bytesInChunk, const DWORD& chunkIndex, const ULONGLONG& totalSize,
                                const wchar_t* url, const wchar_t* localPath) = 0;
    // Before each chunk is read; sleeps 1 ms.
    virtual void vWaitForSpeedBalance();

private:
    struct SSession;
    struct SConnection;

    CStringW _ObjectUrl(const wchar_t* object) const;

    CStringW m_strAgent;
    std::unique_ptr<SSession> m_pSession;
    std::unique_ptr<SConnection> m_pConnection;
};
