#pragma once

// The framework's URL parser: service type, server, object (path and query)
// and port of a URL. Escapes are kept as written.
#include "KelExport.h"
#include "StringW.h"
#include "Types.h"

using INTERNET_PORT = WORD;

namespace kel::platform {

constexpr DWORD kInetServiceFtp = 1;
constexpr DWORD kInetServiceGopher = 2;
constexpr DWORD kInetServiceHttp = 3;
constexpr DWORD kInetServiceUnknown = 0x1000;
constexpr DWORD kInetServiceFile = kInetServiceUnknown + 1;
constexpr DWORD kInetServiceHttps = kInetServiceUnknown + 11;

// False when `url` is no URL with a scheme and a server; the outputs are
// then the unknown service, empty texts and port 0.
KELCORE_API bool ParseURL(const wchar_t* url, DWORD& serviceType, CStringW& server, CStringW& object,
                          INTERNET_PORT& port);

} // namespace kel::platform
