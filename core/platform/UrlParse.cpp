#include "UrlParse.h"

#include <cwctype>
#include <string_view>

namespace kel::platform {
namespace {

struct Scheme {
    std::wstring_view name;
    DWORD service;
    INTERNET_PORT port;
};

constexpr Scheme kSchemes[] = {
    {L"http", kInetServiceHttp, 80},     {L"https", kInetServiceHttps, 443}, {L"ftp", kInetServiceFtp, 21},
    {L"gopher", kInetServiceGopher, 70}, {L"file", kInetServiceFile, 0},
};

bool EqualNoCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
            return false;
    }
    return true;
}

bool ParsePort(std::wstring_view digits, INTERNET_PORT& port)
{
    if (digits.empty() || digits.size() > 5)
        return false;
    DWORD value = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9')
            return false;
        value = value * 10 + static_cast<DWORD>(c - L'0');
    }
    if (value > 65535)
        return false;
    port = static_cast<INTERNET_PORT>(value);
    return true;
}

} // namespace

bool ParseURL(const wchar_t* url, DWORD& serviceType, CStringW& server, CStringW& object, INTERNET_PORT& port)
{
    serviceType = kInetServiceUnknown;
    server.Empty();
    object.Empty();
    port = 0;
    std::wstring_view rest(url ? url : L"");
    while (!rest.empty() && std::iswspace(static_cast<wint_t>(rest.front())))
        rest.remove_prefix(1);
    const size_t colon = rest.find(L"://");
    if (colon == std::wstring_view::npos || colon == 0)
        return false;
    const std::wstring_view schemeName = rest.substr(0, colon);
    rest.remove_prefix(colon + 3);

    DWORD service = kInetServiceUnknown;
    INTERNET_PORT defaultPort = 0;
    for (const Scheme& scheme : kSchemes) {
        if (EqualNoCase(scheme.name, schemeName)) {
            service = scheme.service;
            defaultPort = scheme.port;
        }
    }
    const size_t authorityEnd = rest.find_first_of(L"/?#");
    std::wstring_view authority = rest.substr(0, authorityEnd);
    const std::wstring_view path = authorityEnd == std::wstring_view::npos ? L"" : rest.substr(authorityEnd);
    if (const size_t at = authority.rfind(L'@'); at != std::wstring_view::npos)
        authority.remove_prefix(at + 1); // user name and password are not part of the server
    INTERNET_PORT parsedPort = defaultPort;
    std::wstring_view host = authority;
    if (!host.empty() && host.front() == L'[') { // an IPv6 literal keeps its brackets
        const size_t close = host.find(L']');
        if (close == std::wstring_view::npos)
            return false;
        if (close + 1 < host.size()) {
            if (host[close + 1] != L':' || !ParsePort(host.substr(close + 2), parsedPort))
                return false;
        }
        host = host.substr(0, close + 1);
    } else if (const size_t portColon = host.rfind(L':'); portColon != std::wstring_view::npos) {
        if (!ParsePort(host.substr(portColon + 1), parsedPort))
            return false;
        host = host.substr(0, portColon);
    }
    if (host.empty() && service != kInetServiceFile)
        return false;
    serviceType = service;
    server = CStringW(host);
    // The fragment is the browser's, not the server's.
    std::wstring_view request = path.substr(0, path.find(L'#'));
    object = request.empty() || request.front() != L'/' ? CStringW(L"/") + CStringW(request) : CStringW(request);
    port = parsedPort;
    return true;
}

} // namespace kel::platform
