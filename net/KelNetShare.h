#pragma once

// CKelNetShare: IPv4 address helpers between dotted text, 32-bit numbers,
// socket addresses and host names. Static and stateless; every operation is
// thread safe and reports failure in its result, never by throwing.
//
// Two 32-bit forms are used: host order ("192.168.0.1" is 0xC0A80001) and
// network order (the first octet is the lowest byte in memory).
#include "NetExport.h"
#include <KelCore/platform/SocketTypes.h>
#include <KelCore/platform/StringW.h>
#include <KelCore/platform/Types.h>

class KELADDR_API CKelNetShare {
public:
    // First IPv4 address of the local host name, dotted; one of the texts
    // "Cannot getting host strHostName." or "Cannot getting host from
    // strHostName." when the name cannot be had or resolved.
    static CString getstrIPFromLocalHost();
    // The local host name, or "Cannot getting host strHostName.".
    static CString getstrNameFromLocalHost();
    // First IPv4 address of `name`, dotted; empty when it does not resolve or
    // is longer than 255 bytes in the system code page.
    static CString getstrIPFromstrDNS(const wchar_t* name);
    // Host order; 0xFFFFFFFF for text that does not parse or is longer than
    // a dotted address (15 characters).
    static DWORD getdwIPFromstrIP(const wchar_t* ip);
    // Own parse of exactly four decimal parts; network order, 0 when invalid.
    static ULONG getulIPbystrIP(const wchar_t* ip);
    // "%u.%u.%u.%u" of a host-order address.
    static CString getstrFromdwIP(const DWORD& ip);
    // Dotted form of `address`; empty when there is none.
    static CString getstrIPFromsockaddr(sockaddr_in* address);
    // Dotted form of the local address the socket is bound to; "0.0.0.0"
    // when it has none.
    static CString getstrIPFromsock(SOCKET* socket);
};
