#include "Memory.h"

#include <sys/mman.h>
#include <unistd.h>

namespace kel::platform {

size_t PageSize()
{
    return static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

void* ReservePages(size_t bytes)
{
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return block == MAP_FAILED ? nullptr : block;
}

void ReleasePages(void* block, size_t bytes)
{
    if (block)
        munmap(block, bytes);
}

} // namespace kel::platform
