#pragma once

// SYSTEMTIME: a calendar time with millisecond resolution in the platform's
// broken-down form, and the two conversions the libraries use.
#include "KelExport.h"
#include "Types.h"

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

namespace kel::platform {

// The current local time.
KELCORE_API void GetLocalTime(SYSTEMTIME* time);
// 100-nanosecond units since 1601-01-01 of the calendar time (the day of week
// is ignored); false when a field is out of range.
KELCORE_API bool SystemTimeToFileTime(const SYSTEMTIME& time, LONGLONG& units);

} // namespace kel::platform
