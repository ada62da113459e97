#include "KelTime.h"

void CKelTime::Before()
{
    kel::platform::GetLocalTime(&m_stBefore);
}

void CKelTime::After()
{
    kel::platform::GetLocalTime(&m_stAfter);
}

CStringW CKelTime::GetTimeString() const
{
    LONGLONG before = 0;
    LONGLONG after = 0;
    // A time never taken (all zero) converts to nothing and counts as 0.
    kel::platform::SystemTimeToFileTime(m_stBefore, before);
    kel::platform::SystemTimeToFileTime(m_stAfter, after);
    const LONGLONG milliseconds = (after - before) / 10000;
    CStringW text;
    text.Format(L"%.4f", static_cast<double>(static_cast<float>(milliseconds) / 1000.0f));
    return text;
}
