#pragma once

// Whole pages of memory straight from the system, for a reserve that is
// kept apart from the heap.
#include "KelExport.h"

#include <cstddef>

namespace kel::platform {

// The size of a memory page.
KELCORE_API size_t PageSize();
// `bytes` of fresh, private, readable and writable memory (touched pages
// cost memory, untouched ones none); null when the system refuses.
KELCORE_API void* ReservePages(size_t bytes);
// Gives back memory from ReservePages, all `bytes` of it.
KELCORE_API void ReleasePages(void* block, size_t bytes);

} // namespace kel::platform
