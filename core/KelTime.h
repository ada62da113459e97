#pragma once

// CKelTime: a stopwatch over local calendar times. Not thread safe; one
// object belongs to one user.
#include "platform/KelExport.h"
#include "platform/StringW.h"
#include "platform/SystemTime.h"

class KELCORE_API CKelTime {
public:
    CKelTime() = default;

    void Before();
    void After();
    // Seconds from m_stBefore to m_stAfter, "%.4f", counted in whole
    // milliseconds (the last decimal is 0); negative when After came first.
    CStringW GetTimeString() const;

    SYSTEMTIME m_stBefore {};
    SYSTEMTIME m_stAfter {};
};
