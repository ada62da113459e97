#pragma once

// The FTP layer under CKelFTP: one logged-in control connection (RFC 959)
// with the binary type set, passive (EPSV, then PASV) or active (EPRT/PORT)
// data connections, CWD, one-level MKD, SIZE, and a remote file opened for
// STOR or RETR. Paths and names are bytes as the server sees them.
//
// Every wait (connect, each reply, each data read or write) is bounded by the
// time-out, so a silent server never hangs the caller. Failures raise
// InternetError with a WinINet number and the server's reply. Not thread
// safe: one session serves one thread.
#include "FtpReply.h"
#include "InternetError.h"
#include "KelExport.h"
#include "Socket.h"
#include "Types.h"

#include <memory>
#include <string>
#include <string_view>

namespace kel::platform {

class CFtpFile;

class KELCORE_API CFtpSession {
public:
    explicit CFtpSession(int timeoutMs) : m_timeoutMs(timeoutMs) {}
    CFtpSession(const CFtpSession&) = delete;
    CFtpSession& operator=(const CFtpSession&) = delete;

    // Connects and logs in; port 0 means 21.
    void Connect(const std::string& host, WORD port, const std::string& user, const std::string& password, bool passive);
    // Says goodbye (QUIT) when the session is still sound, then closes. Never throws.
    void Close();

    bool SetCurrentDirectory(const std::string& path);
    bool CreateDirectory(const std::string& path);
    // The size the server reports now (SIZE, never cached); false when it has none.
    bool FileSize(const std::string& path, ULONGLONG& size);
    // STOR (write) or RETR (read) on a new data connection.
    std::unique_ptr<CFtpFile> OpenFile(const std::string& path, bool write);

    int Timeout() const { return m_timeoutMs; }

private:
    friend class CFtpFile;

    FtpReply _Command(std::string_view command);
    FtpReply _ReadReply();
    void _Login(const std::string& user, const std::string& password);
    CSocket _OpenPassiveData();
    bool _OfferActivePort(CSocket& listener);
    [[noreturn]] void _Fail(DWORD number, const std::string& response = {});

    CSocket m_control;
    std::string m_pending; // bytes received after the last reply
    int m_timeoutMs;
    bool m_bPassive = true;
};

// A file on the server being stored or retrieved. Close checks the server's
// final reply; destroying an unclosed file abandons the transfer.
class KELCORE_API CFtpFile {
public:
    CFtpFile(CFtpSession& session, CSocket data, bool write);
    CFtpFile(const CFtpFile&) = delete;
    CFtpFile& operator=(const CFtpFile&) = delete;

    // Fills `buffer` unless the file ends first; 0 at the end.
    size_t Read(void* buffer, size_t length);
    void Write(std::string_view bytes);
    // Nothing is buffered on this side: every Write has reached the socket.
    void Flush() {}
    void Close();

private:
    CFtpSession& m_session;
    CSocket m_data;
    bool m_bWrite;
    bool m_bClosed = false;
    // Received but not yet read: a download takes the socket's bytes in large
    // pieces and hands them out in the caller's chunks.
    std::unique_ptr<char[]> m_pReceived;
    size_t m_nReceivedAt = 0;
    size_t m_nReceivedEnd = 0;
};

} // namespace kel::platform
