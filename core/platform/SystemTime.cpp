#include "SystemTime.h"

#include <ctime>
#include <sys/time.h>

namespace kel::platform {
namespace {

// Days from 1970-01-01 to the civil date (proleptic Gregorian calendar).
LONGLONG DaysFromCivil(LONGLONG year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const LONGLONG era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<LONGLONG>(dayOfEra) - 719468;
}

// 1601-01-01 to 1970-01-01.
constexpr LONGLONG kDaysFrom1601To1970 = 134774;
constexpr LONGLONG kUnitsPerSecond = 10000000;

} // namespace

void GetLocalTime(SYSTEMTIME* time)
{
    if (!time)
        return;
    timeval now {};
    gettimeofday(&now, nullptr);
    tm local {};
    const time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    time->wYear = static_cast<WORD>(local.tm_year + 1900);
    time->wMonth = static_cast<WORD>(local.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    time->wDay = static_cast<WORD>(local.tm_mday);
    time->wHour = static_cast<WORD>(local.tm_hour);
    time->wMinute = static_cast<WORD>(local.tm_min);
    time->wSecond = static_cast<WORD>(local.tm_sec);
    time->wMilliseconds = static_cast<WORD>(now.tv_usec / 1000);
}

bool SystemTimeToFileTime(const SYSTEMTIME& time, LONGLONG& units)
{
    if (time.wYear < 1601 || time.wYear > 30827 || time.wMonth < 1 || time.wMonth > 12 || time.wDay < 1
        || time.wDay > 31 || time.wHour > 23 || time.wMinute > 59 || time.wSecond > 59 || time.wMilliseconds > 999)
        return false;
    const LONGLONG days = DaysFromCivil(time.wYear, time.wMonth, time.wDay) + kDaysFrom1601To1970;
    const LONGLONG seconds = days * 86400 + time.wHour * 3600 + time.wMinute * 60 + time.wSecond;
    units = seconds * kUnitsPerSecond + static_cast<LONGLONG>(time.wMilliseconds) * 10000;
    return true;
}

} // namespace kel::platform
