#pragma once

// The vector loops of the encoding scanners, one per instruction set. Each
// checks whole blocks only and leaves the rest to the byte-by-byte code.
// Call a loop only when BestSimd() reports its level. Internal.
#include "platform/Types.h"

#include <cstddef>

namespace kel::encoding::simd {

// Structural UTF-8 check of whole blocks from `at`: false as soon as a block
// breaks the recogniser's rules. Otherwise true, with `at` moved to the first
// byte not checked (whole blocks past the start); the caller finds what the
// last checked bytes still owe. Each block looks three bytes back, so the
// three bytes before `at` must lie in the text, already checked from a
// resting state (what they announce is checked here).
bool Utf8BlocksAvx2(const BYTE* data, size_t& at, size_t length);
bool Utf8BlocksAvx512(const BYTE* data, size_t& at, size_t length);

// The first whole block from `at` that holds a byte >= 0x80, or the start of
// the part too short for a block.
size_t SevenBitBlocksAvx2(const BYTE* data, size_t at, size_t length);
size_t SevenBitBlocksAvx512(const BYTE* data, size_t at, size_t length);

// Whole 64-byte blocks from `at` in which every byte keeps the EUC-KR pair
// recognisers alive and pairs stay whole (7-bit bytes, even runs of A1-FE
// bytes, a pair allowed to straddle two blocks). Returns the start of the
// first block not known to be clean, backed up to the lead byte of a pair
// that straddles into it.
size_t EucKrBlocksAvx2(const BYTE* data, size_t at, size_t length);
size_t EucKrBlocksAvx512(const BYTE* data, size_t at, size_t length);

} // namespace kel::encoding::simd
