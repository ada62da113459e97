#pragma once

// CKelLock: a scope guard over a critical section. Making it enters the
// section (waiting without limit); destroying it leaves the section. Made on
// the stack for one scope on one thread, never copied. Between construction
// and destruction Lock and Unlock must stay balanced, so that the section is
// held exactly once when the guard goes.
#include "platform/KelExport.h"
#include "platform/SyncApi.h"

class KELCORE_API CKelLock {
public:
    explicit CKelLock(CRITICAL_SECTION& section);
    virtual ~CKelLock();
    CKelLock(const CKelLock&) = delete;
    CKelLock& operator=(const CKelLock&) = delete;

    void Lock();
    void Unlock();

private:
    CRITICAL_SECTION* m_pSection;
};
