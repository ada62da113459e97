#pragma once

// Millisecond tick count since an unspecified start, wrapping at 2^32 like
// the system tick count.
#include "KelExport.h"
#include "Types.h"

namespace kel::platform {
KELCORE_API DWORD TickCount();
}
