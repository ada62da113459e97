#pragma once

// How the FTP and HTTP clients turn their failures into CKelException.
// Internal to the library.
#include "platform/InternetError.h"

namespace kel::detail {

// The number's text, then what the server answered, on one log line.
[[noreturn]] void ThrowInternetError(const kel::platform::InternetError& error);
// A local file error names the file, so the log says which one and why.
[[noreturn]] void ThrowLocalError(const wchar_t* path, int error);

} // namespace kel::detail
