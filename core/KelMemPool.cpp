#include "KelMemPool.h"

#include "KelInfoModule.h"
#include "platform/Memory.h"

#include <cstdint>
#include <cstdio>

CKelMemPool::CKelMemPool(long pages)
{
    _Create(pages);
}

// The block outlives the object unless Destroy was called: the pool is a
// diagnostic reserve that its user releases on purpose.
CKelMemPool::~CKelMemPool() = default;

bool CKelMemPool::_Create(long pages)
{
    const size_t pageSize = kel::platform::PageSize();
    _Dump("current mem ==> ");
    m_pBlock = nullptr;
    m_nBlockBytes = 0;
    // A negative count or one whose byte size overflows is refused like any
    // reservation the system cannot give.
    if (pages > 0 && static_cast<unsigned long>(pages) <= SIZE_MAX / pageSize) {
        const size_t bytes = static_cast<size_t>(pages) * pageSize;
        if (void* block = kel::platform::ReservePages(bytes)) {
            m_pBlock = block;
            m_nBlockBytes = bytes;
        }
    }
    _Dump("reserved mem ==> ");
    return true;
}

void CKelMemPool::Destroy()
{
    kel::platform::ReleasePages(m_pBlock, m_nBlockBytes);
    m_pBlock = nullptr;
    m_nBlockBytes = 0;
    _Dump("current mem ==> ");
}

void CKelMemPool::_Dump(const char* label)
{
    ULONGLONG workingSet = 0;
    ULONGLONG pageFile = 0;
    CKelInfoModule::GetVMemoryUsage(&workingSet, &pageFile);
    std::printf("%s", label);
    std::printf("\tWorking %7ld Kbytes, PageFileUsage %10ld Kbytes\n", static_cast<long>(workingSet / 1024),
                static_cast<long>(pageFile / 1024));
}
