#pragma once

// CSocket: an owned TCP stream socket with time-outs on connect, send and
// receive. Failures are reported as WinINet numbers (ErrorNumbers.h), the way
// the FTP and HTTP layers report them; 0 means success.
#include "KelExport.h"
#include "Types.h"

#include <string>
#include <string_view>

namespace kel::platform {

class KELCORE_API CSocket {
public:
    CSocket() = default;
    ~CSocket() { Close(); }
    CSocket(CSocket&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    CSocket& operator=(CSocket&& other) noexcept;
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;

    // Tries every address of `host` in turn, each within `timeoutMs`.
    // `noDelay` sends small writes at once (commands); without it the system
    // joins them into full segments (bulk data).
    DWORD Connect(const std::string& host, WORD port, int timeoutMs, bool noDelay = true);
    // A listening socket on the local address of `peer` (same family), on a
    // port the system picks; for active-mode data connections.
    DWORD ListenBeside(const CSocket& peer);
    // Waits for one connection from `peerAddress` (numeric, as PeerAddress
    // gives it) on a listening socket. Connections from any other address
    // are closed at once and the wait goes on, within `timeoutMs` in all.
    DWORD AcceptFrom(CSocket& accepted, const std::string& peerAddress, int timeoutMs);

    // Sends every byte, waiting at most `timeoutMs` for room each time.
    DWORD SendAll(std::string_view bytes, int timeoutMs);
    // Receives up to `length` bytes; `received` is 0 when the peer closed.
    DWORD Receive(void* buffer, size_t length, size_t& received, int timeoutMs);
    // Tells the peer that nothing more will be sent.
    void ShutdownSend();
    // Holds partial segments back until a full one can go (or the socket
    // closes), so a stream of small writes leaves as large segments.
    void CorkSends();

    bool IsOpen() const { return m_fd >= 0; }
    void Close();

    // Numeric address ("127.0.0.1", "::1") and port of either end.
    bool LocalAddress(std::string& address, WORD& port) const;
    bool PeerAddress(std::string& address, WORD& port) const;
    bool IsIPv6() const;

private:
    int m_fd = -1;
};

} // namespace kel::platform
