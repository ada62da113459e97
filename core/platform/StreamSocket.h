#pragma once

// IPv4 stream sockets for the network libraries: plain calls with the
// options they always want (close-on-exec, no SIGPIPE, retried on EINTR).
// Failures return false, INVALID_SOCKET or -1 and leave errno set.
#include "KelExport.h"
#include "SocketTypes.h"

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace kel::platform {

// A listening socket bound to `address` (which receives the bound address,
// its port included) with SO_REUSEADDR, so that a restarted server is not
// refused its port while old connections linger in TIME_WAIT.
KELCORE_API SOCKET ListenIPv4(sockaddr_in& address, int backlog);
// The longest queue of connections waiting for accept that the system
// allows (SOMAXCONN; the kernel caps it further by net.core.somaxconn).
KELCORE_API int MostPendingConnections();
// Waits for one connection (blocking); `peer` receives its address. The
// accepted socket is non-blocking: sends take what fits and never wait.
KELCORE_API SOCKET AcceptIPv4(SOCKET listener, sockaddr_in& peer);
// A non-blocking socket connected to `server` within `timeoutMs`.
KELCORE_API SOCKET ConnectIPv4(const sockaddr_in& server, int timeoutMs);

// One receive without waiting: the count, 0 at the end of the stream, -1
// (EAGAIN when nothing is waiting). `peek` leaves the bytes in the socket.
KELCORE_API ssize_t ReceiveNow(SOCKET socket, void* buffer, size_t length, bool peek = false);
// One send: with `wait` it blocks until the socket takes something,
// otherwise it takes what fits now. The count sent, or -1.
KELCORE_API ssize_t SendOnce(SOCKET socket, const void* data, size_t length, bool wait);
// Sends small writes at once instead of holding them for a full segment.
KELCORE_API bool SetNoDelay(SOCKET socket);
KELCORE_API void ShutdownBoth(SOCKET socket);
// Closes and clears `socket`; on Linux the descriptor is released even when
// close reports EINTR, so nothing is retried.
KELCORE_API void CloseSocket(SOCKET& socket);

// What the last failed call of this thread (a socket call, or a wait on an
// event poll) means to the code that made it.
enum class ESocketFailure {
    WouldBlock,     // nothing to take or no room now; try when the socket is ready
    Interrupted,    // a signal came first; call again
    PendingFailed,  // accept: the connection failed before it was taken; the listener is fine
    OutOfResources, // no descriptor or memory now; may succeed later
    Other,          // the socket (or poll) is unusable
};
KELCORE_API ESocketFailure LastSocketFailure();

// Longest dotted IPv4 text, "255.255.255.255".
inline constexpr size_t kMaxDottedLength = 15;

// The system multi-byte form of an address or a host name. False when there
// is no text, it cannot be converted, or its bytes exceed `maxBytes`: such
// input is refused, never cut short.
KELCORE_API bool AddressBytes(const wchar_t* text, size_t maxBytes, std::string& out);

// The local address of `socket`; false for a socket that is not IPv4.
KELCORE_API bool LocalAddressIPv4(SOCKET socket, sockaddr_in& address);
// Dotted IPv4 text the way the classic inet_addr reads it (short forms,
// octal and hexadecimal parts included) into network order. Longer texts
// than a dotted address can be are refused.
KELCORE_API bool ParseDottedIPv4(const std::string& text, in_addr& address);
KELCORE_API std::string DottedIPv4(const in_addr& address);
// First IPv4 address of a host name through the system's resolver.
KELCORE_API bool ResolveFirstIPv4(const std::string& name, in_addr& address);
KELCORE_API bool LocalHostName(std::string& name);

} // namespace kel::platform
