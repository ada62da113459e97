#pragma once

// Block scanners behind CKelFile::EncodingCheck. Each answers for a long run
// of bytes what the byte-by-byte recognisers would, many bytes at a time.
// Internal to the library.
#include "platform/Types.h"

#include <cstddef>

namespace kel::encoding {

// Vector instruction sets the scanners can use; each level has a loop of its
// own and gives the same answers as the byte-by-byte level.
enum class Simd { Scalar, Avx2, Avx512 };

// The widest level this processor runs (asked once).
Simd BestSimd();

// Index of the first byte >= 0x80 at or after `at`, or `length`.
size_t SkipSevenBit(const BYTE* data, size_t at, size_t length, Simd simd = BestSimd());

// The UTF-8 recogniser alone, from a resting state at `at` to the end: true
// when it survives (a sequence cut off by the end still counts).
bool Utf8Survives(const BYTE* data, size_t at, size_t length, Simd simd = BestSimd());

// The EUC-KR and code page 949 recognisers together, from a state where both
// rest. Returns the position up to which every byte kept both alive and
// resting (7-bit bytes, and pairs of A1-FE bytes). A lone A1-FE byte at the
// very end also keeps both alive, so the result is then `length`.
size_t SkipEucKr(const BYTE* data, size_t at, size_t length, Simd simd = BestSimd());

} // namespace kel::encoding
