#include "KelNetShare.h"

#include "platform/StreamSocket.h"

#include <cwchar>
#include <string>

using kel::platform::AddressBytes;
using kel::platform::LocalHostName;
using kel::platform::ParseDottedIPv4;

namespace {

constexpr size_t kMaxDnsNameBytes = 255; // a 256-byte buffer with its terminator

const wchar_t kNoHostName[] = L"Cannot getting host strHostName.";
const wchar_t kNoHostAddress[] = L"Cannot getting host from strHostName.";

CString DottedText(const in_addr& address)
{
    return CString(kel::platform::DottedIPv4(address).c_str());
}

// First IPv4 address of `name`, dotted; empty when it does not resolve.
CString ResolveFirstIPv4(const std::string& name)
{
    in_addr address{};
    return kel::platform::ResolveFirstIPv4(name, address) ? DottedText(address) : CString();
}

// Reads a decimal number the way the C library's atoi does: leading blanks, an
// optional sign, then digits; no digits read as 0. Values are capped just
// above 255 so that no input can overflow.
long ReadOctet(const wchar_t* text)
{
    while (*text == L' ' || (*text >= L'\t' && *text <= L'\r'))
        ++text;
    bool negative = false;
    if (*text == L'+' || *text == L'-')
        negative = *text++ == L'-';
    long value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        if (value <= 255)
            value = value * 10 + (*text - L'0');
    }
    return negative ? -value : value;
}

} // namespace

CString CKelNetShare::getstrIPFromLocalHost()
{
    std::string name;
    if (!LocalHostName(name))
        return CString(kNoHostName);
    CString address = ResolveFirstIPv4(name);
    return address.IsEmpty() ? CString(kNoHostAddress) : address;
}

CString CKelNetShare::getstrNameFromLocalHost()
{
    std::string name;
    if (!LocalHostName(name))
        return CString(kNoHostName);
    return CString(name.c_str());
}

CString CKelNetShare::getstrIPFromstrDNS(const wchar_t* name)
{
    std::string bytes;
    if (!AddressBytes(name, kMaxDnsNameBytes, bytes) || bytes.empty())
        return CString();
    return ResolveFirstIPv4(bytes);
}

DWORD CKelNetShare::getdwIPFromstrIP(const wchar_t* ip)
{
    std::string bytes;
    in_addr address{};
    if (!AddressBytes(ip, kel::platform::kMaxDottedLength, bytes) || !ParseDottedIPv4(bytes, address))
        return 0xFFFFFFFF;
    return ntohl(address.s_addr);
}

ULONG CKelNetShare::getulIPbystrIP(const wchar_t* ip)
{
    if (!ip)
        return 0;
    ULONG result = 0;
    const wchar_t* position = ip;
    for (int shift = 0; shift <= 24; shift += 8) {
        const long octet = ReadOctet(position);
        if (octet < 0 || octet > 255)
            return 0;
        result |= static_cast<ULONG>(octet) << shift;
        const wchar_t* dot = std::wcschr(position, L'.');
        if (!dot) {
            if (shift != 24)
                return 0;
            break;
        }
        position = dot + 1;
    }
    return result;
}

CString CKelNetShare::getstrFromdwIP(const DWORD& ip)
{
    CString text;
    text.Format(L"%u.%u.%u.%u", (ip >> 24) & 0xFF, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF, ip & 0xFF);
    return text;
}

CString CKelNetShare::getstrIPFromsockaddr(sockaddr_in* address)
{
    if (!address)
        return CString();
    return DottedText(address->sin_addr);
}

CString CKelNetShare::getstrIPFromsock(SOCKET* socket)
{
    sockaddr_in own{};
    if (!socket || !kel::platform::LocalAddressIPv4(*socket, own))
        return CString(L"0.0.0.0");
    return DottedText(own.sin_addr);
}
