#include "KelLock.h"

CKelLock::CKelLock(CRITICAL_SECTION& section) : m_pSection(&section)
{
    EnterCriticalSection(m_pSection);
}

CKelLock::~CKelLock()
{
    LeaveCriticalSection(m_pSection);
}

void CKelLock::Lock()
{
    EnterCriticalSection(m_pSection);
}

void CKelLock::Unlock()
{
    LeaveCriticalSection(m_pSection);
}
