#pragma once

// Socket types under the names the network classes use. A socket is a POSIX
// descriptor; INVALID_SOCKET marks "no socket" (descriptor 0 is a valid one
// on Linux, so it cannot serve as the empty value). `sockaddr_in` and the
// byte-order helpers (htons, ntohl, ...) come with it.
#include <netinet/in.h>

using SOCKET = int;
inline constexpr SOCKET INVALID_SOCKET = -1;
