#pragma once

// Small socket helpers shared by the network libraries' sources; not
// installed.
#include "../NetSocket.h"
#include "KelException.h"
#include "KelString.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cwchar>
#include <string>
#include <unistd.h>

namespace kel::net {

// Longest dotted IPv4 text, "255.255.255.255".
inline constexpr size_t kMaxDottedLength = 15;

// Parses a dotted IPv4 text the way the classic inet_addr does (short forms,
// octal and hexadecimal parts included) into network order. Longer texts
// than a dotted address can be are refused.
inline bool ParseDotted(const std::string& text, in_addr& address)
{
    if (text.empty() || text.size() > kMaxDottedLength)
        return false;
    return inet_aton(text.c_str(), &address) != 0;
}

// The system multi-byte form of `text`, through the family's conversion.
// False when there is no text, it cannot be converted, or its bytes (without
// the terminator) exceed `maxBytes`: such input is refused, never cut short.
inline bool ToMultiByte(const wchar_t* text, size_t maxBytes, std::string& out)
{
    // Every character takes at least one byte: a text longer than the limit
    // is refused before it is converted.
    if (!text || std::wcslen(text) > maxBytes)
        return false;
    try {
        const int count = CKelString::Unicode2MBCSCount(text);
        if (count <= 0 || static_cast<size_t>(count) - 1 > maxBytes)
            return false;
        std::string bytes(static_cast<size_t>(count), '\0');
        CKelString::Unicode2MBCS(bytes.data(), text);
        bytes.resize(static_cast<size_t>(count) - 1);
        out = std::move(bytes);
        return true;
    } catch (CKelException* error) {
        error->Delete();
        return false;
    }
}

// Closes a descriptor, retrying nothing: on Linux the descriptor is released
// even when close reports EINTR.
inline void CloseSocket(SOCKET& socket)
{
    if (socket != INVALID_SOCKET) {
        ::close(socket);
        socket = INVALID_SOCKET;
    }
}

} // namespace kel::net
