// Path and URL splitting on arbitrary text: every part must fit the
// caller's fixed buffers, whatever the input.
#include "KelUtil.h"
#include "platform/Unicode.h"
#include "platform/UrlParse.h"

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

// Buffers with a guard zone behind the documented capacity.
template <size_t N>
struct Guarded {
    wchar_t text[N + 8];
    Guarded() { std::wmemset(text, L'\x7F', N + 8); }
    void Check() const
    {
        for (size_t i = N; i < N + 8; ++i)
            if (text[i] != L'\x7F')
                std::abort();
        if (std::wmemchr(text, 0, N) == nullptr)
            std::abort(); // not terminated within its capacity
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::wstring text = kel::platform::Utf8ToWide({reinterpret_cast<const char*>(data), size});
    const wchar_t* input = text.c_str();

    Guarded<3> drive;
    Guarded<256> dir, name, ext;
    CKelUtil::GetPathInfo(input, drive.text, dir.text, name.text, ext.text);
    drive.Check();
    dir.Check();
    name.Check();
    ext.Check();

    DWORD service = 0;
    INTERNET_PORT port = 0;
    Guarded<260> server, object;
    CKelUtil::GetUrlInfo(input, service, server.text, object.text, port);
    server.Check();
    object.Check();

    CStringW host, path;
    kel::platform::ParseURL(input, service, host, path, port);
    return 0;
}
