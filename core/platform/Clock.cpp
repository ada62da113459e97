#include "Clock.h"

#include <time.h>

namespace kel::platform {

DWORD TickCount()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(static_cast<ULONGLONG>(now.tv_sec) * 1000 + static_cast<ULONGLONG>(now.tv_nsec) / 1000000);
}

} // namespace kel::platform
