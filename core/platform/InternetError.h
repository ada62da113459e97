#pragma once

// InternetError: what the FTP and HTTP layers of the platform raise (by
// value): a WinINet number and, where there was one, the server's answer.
// The client classes turn it into a CKelException.
#include "KelExport.h"
#include "Types.h"

#include <string>

namespace kel::platform {

struct InternetError {
    DWORD number = 0;
    std::string response; // the server's reply as received, or empty
};

} // namespace kel::platform
