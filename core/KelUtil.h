#pragma once

// CKelUtil: static utilities: error texts, the application's string table
// and "DATA" resources, path and URL splitting. Thread safe.
#include "platform/KelExport.h"
#include "platform/StringW.h"
#include "platform/Types.h"
#include "platform/UrlParse.h"

#include <type_traits>

class KELCORE_API CKelUtil {
public:
    // Empty for 0; the system's text (ending "\r\n") when it has one, else
    // "ERRORNUMBER ( %d )\n" with the number as a signed decimal.
    static CStringW MessageError(const DWORD& errorNumber);

    // The application's string resource `id` used as a printf-style format
    // for the arguments that follow (wide strings are %ls; a CStringW may be
    // passed as it is). Empty when the application has no such string.
    template <typename... Args>
    static CStringW LoadString(UINT& id, const Args&... args)
    {
        return _FormatResource(id, _VarArg(args)...);
    }

    // Writes the bytes of the application's "DATA" resource `name` to the
    // file `path` (created or truncated); returns 0. Nothing is created when
    // there is no such resource; a file that cannot be written raises
    // CKelException with the system error.
    static int SaveResource(const wchar_t* name, const wchar_t* path);

    // Splits `path` into the caller's buffers (capacities 3, 256, 256 and
    // 256; any may be null): drive (always empty), folder with its trailing
    // '/', file title and extension with its dot. Returns the parts joined
    // again. When a part does not fit, every buffer and the result are empty.
    static CStringW GetPathInfo(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname, wchar_t* ext);

    // Parses `url` into service type, server, object (path and query, escapes
    // kept) and port; copies server and object into the caller's buffers of
    // 260 characters (cut to fit). Returns "http://" + server + object.
    static CStringW GetUrlInfo(const wchar_t* url, DWORD& serviceType, wchar_t* server, wchar_t* object,
                               INTERNET_PORT& port);

private:
    static CStringW _FormatResource(UINT id, ...);

    static const wchar_t* _VarArg(const CStringW& text) { return text.GetString(); }
    template <typename T>
    static const T& _VarArg(const T& value)
    {
        static_assert(std::is_trivially_copyable_v<T>, "pass text as const wchar_t* or CStringW");
        return value;
    }
};
