#pragma once

// CKelFTP: one connection to one FTP server and whole-file transfers in
// 4096-byte chunks. A derived class watches each chunk through
// vDownloadState / vUploadState and paces the transfer with
// vWaitForSpeedBalance (1 ms before every chunk unless overridden).
//
//     Connection(...); Upload(...) / Download(...) ...; Close();
//
// Transfers always use the binary (image) type. Every failure raises a
// CKelException (heap, by pointer): network failures with the WinINet number's
// text followed by the server's answer, local file failures with the path and
// the reason. A failed transfer leaves the object unconnected. Calls block the
// calling thread; one object serves one thread at a time.
#include "platform/KelExport.h"
#include "platform/StringW.h"
#include "platform/Types.h"

#include <functional>
#include <memory>

namespace kel::platform {
class CFtpSession;
}

class KELCORE_API CKelFTP {
public:
    static constexpr DWORD kChunkSize = 4096;
    static constexpr int kTransferText = 1;
    static constexpr int kTransferBinary = 2;

    CKelFTP();
    virtual ~CKelFTP();
    CKelFTP(const CKelFTP&) = delete;
    CKelFTP& operator=(const CKelFTP&) = delete;

    // Logs in; port 0 means 21, `passive` non-zero selects passive mode.
    void Connection(const wchar_t* server, const wchar_t* user, const wchar_t* password, const int& port, int passive);
    // Safe when not connected and when called twice.
    void Close();
    bool IsConnected() const { return m_pConnection != nullptr; }

    // Makes the remote folder current first (creating its last level when it
    // is missing). `transferType` is 1 (text) or 2 (binary); both copy bytes.
    void Upload(const wchar_t* localPath, const wchar_t* remotePath, const int& transferType);
    void Download(const wchar_t* remotePath, const wchar_t* localPath, const int& transferType);

    // Raises the CKelException that Upload would raise for a local source
    // that cannot be opened (missing, unreadable, a folder). A source that
    // another holder has locked passes: it may be free on a later attempt.
    static void CheckUploadSource(const wchar_t* localPath);

protected:
    // After each chunk has been written to its destination: its size
    // (1-4096), the number of chunks before it, the file size measured
    // before the transfer, source and destination. Chunks are written in
    // pieces of up to 16, so the hooks of a piece come one after another.
    virtual void vDownloadState(const DWORD& bytesInChunk, const DWORD& chunkIndex, const ULONGLONG& totalSize,
                                const wchar_t* remotePath, const wchar_t* localPath) = 0;
    virtual void vUploadState(const DWORD& bytesInChunk, const DWORD& chunkIndex, const ULONGLONG& totalSize,
                              const wchar_t* localPath, const wchar_t* remotePath) = 0;
    // Before each chunk is read; sleeps 1 ms.
    virtual void vWaitForSpeedBalance();

    // Bound on connecting and on every wait for the server (30 s by default),
    // so a silent server ends in a time-out error instead of a hang.
    void SetTimeout(const int& milliseconds) { m_nTimeoutMs = milliseconds; }

private:
    void _RequireConnection(const int& transferType) const;
    void _DropConnection();
    void _Transfer(const std::function<void()>& work);

    int m_nTimeoutMs;
    std::unique_ptr<kel::platform::CFtpSession> m_pConnection;
};
