#pragma once

// CKelMemPool: reserves one large block of page-granular read-write memory
// and prints the process's memory figures before and after, for
// diagnostics. It offers no sub-allocation. The destructor keeps the block;
// Destroy releases it. Not thread safe; one object belongs to one user.
#include "platform/KelExport.h"

#include <cstddef>

class KELCORE_API CKelMemPool {
public:
    // 262144 pages is 1 GiB with 4 KiB pages.
    explicit CKelMemPool(long pages = 262144);
    virtual ~CKelMemPool();
    CKelMemPool(const CKelMemPool&) = delete;
    CKelMemPool& operator=(const CKelMemPool&) = delete;

    // Releases the block (if any), then prints the figures.
    void Destroy();

    void* m_pBlock = nullptr;

protected:
    // Reserves a new block of `pages` pages; a block made earlier is kept.
    // Always true; m_pBlock is null when the system refused.
    bool _Create(long pages);
    // Prints `label`, then "\tWorking %7ld Kbytes, PageFileUsage %10ld Kbytes\n".
    void _Dump(const char* label);

private:
    size_t m_nBlockBytes = 0;
};
