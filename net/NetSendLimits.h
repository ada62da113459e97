#pragma once

// Limits on bytes that a peer has not taken yet, shared by the TCP server
// (CKelNetServer) and client (CKelNetClient). A send never waits: what the
// system cannot take at once is queued per connection and sent, in order,
// when the socket can take more.
#include <cstddef>

// A connection whose queue of unsent bytes would grow past this is closed
// as a failed connection: a peer that does not read cannot make the process
// hold more than this much for it.
inline constexpr std::size_t kKelSendQueueLimit = 4 * 1024 * 1024;

// A connection with queued bytes of which the peer takes none for this long
// (milliseconds) is closed as a failed connection.
inline constexpr unsigned kKelSendStallLimitMs = 30000;
