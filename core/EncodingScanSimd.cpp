#include "EncodingScanSimd.h"

#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>

#define KEL_AVX2 __attribute__((target("avx2")))
#define KEL_AVX512 __attribute__((target("avx2,avx512f,avx512bw")))

namespace kel::encoding::simd {
namespace {

// Blocks between two looks at the error mask: invalid text stops early, and
// valid text pays for one test per few kilobytes.
constexpr unsigned kBlocksPerCheck = 64;

// Bytes >= `threshold`, as a byte mask.
KEL_AVX2 inline __m256i AtLeast(__m256i bytes, BYTE threshold)
{
    return _mm256_cmpeq_epi8(_mm256_max_epu8(bytes, _mm256_set1_epi8(static_cast<char>(threshold))), bytes);
}

// Positions just after a run of high bytes of odd length, for 64 bytes whose
// high-byte mask is `high`; `carry` is 1 when the block before ended in the
// middle of a pair, and becomes the same for this block. (The carry-chain
// method for odd-length runs used by fast JSON parsers.)
inline std::uint64_t OddRunEnds(std::uint64_t high, std::uint64_t& carry)
{
    constexpr std::uint64_t kEvenBits = 0x5555555555555555ull;
    const std::uint64_t startEdges = high & ~(high << 1);
    const std::uint64_t evenStartMask = kEvenBits ^ carry;
    const std::uint64_t evenStarts = startEdges & evenStartMask;
    const std::uint64_t oddStarts = startEdges & ~evenStartMask;
    const std::uint64_t evenCarries = high + evenStarts;
    std::uint64_t oddCarries;
    const bool overflow = __builtin_add_overflow(high, oddStarts, &oddCarries);
    oddCarries |= carry;
    carry = overflow ? 1 : 0;
    const std::uint64_t evenCarryEnds = evenCarries & ~high;
    const std::uint64_t oddCarryEnds = oddCarries & ~high;
    return (evenCarryEnds & ~kEvenBits) | (oddCarryEnds & kEvenBits);
}

// One step of the EUC-KR block loop: false when the 64 bytes whose masks
// are given break a recogniser or leave an odd run of A1-FE bytes; `carry`
// is then left as it was.
inline bool EucKrBlockClean(std::uint64_t high, std::uint64_t outside, std::uint64_t& carry)
{
    std::uint64_t nextCarry = carry;
    if (outside != 0 || OddRunEnds(high, nextCarry) != 0)
        return false;
    carry = nextCarry;
    return true;
}

KEL_AVX2 inline void ClassifyEucAvx2(const BYTE* p, std::uint64_t& high, std::uint64_t& outside)
{
    const __m256i first = _mm256_set1_epi8(static_cast<char>(0xA1));
    const __m256i span = _mm256_set1_epi8(0xFE - 0xA1);
    std::uint64_t highBits[2], inRangeBits[2];
    for (int half = 0; half < 2; ++half) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * half));
        const __m256i offset = _mm256_sub_epi8(bytes, first); // A1-FE become 0-5D
        const __m256i inRange = _mm256_cmpeq_epi8(_mm256_min_epu8(offset, span), offset);
        highBits[half] = static_cast<std::uint32_t>(_mm256_movemask_epi8(bytes));
        inRangeBits[half] = static_cast<std::uint32_t>(_mm256_movemask_epi8(inRange));
    }
    high = highBits[0] | highBits[1] << 32;
    outside = high & ~(inRangeBits[0] | inRangeBits[1] << 32);
}

KEL_AVX512 inline void ClassifyEucAvx512(const BYTE* p, std::uint64_t& high, std::uint64_t& outside)
{
    const __m512i bytes = _mm512_loadu_si512(p);
    const __m512i offset = _mm512_sub_epi8(bytes, _mm512_set1_epi8(static_cast<char>(0xA1)));
    high = _mm512_movepi8_mask(bytes);
    outside = high & ~static_cast<std::uint64_t>(_mm512_cmple_epu8_mask(offset, _mm512_set1_epi8(0xFE - 0xA1)));
}

KEL_AVX2 inline __m256i Load32(const BYTE* at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

// The UTF-8 rule for a block at `p`: a byte is a continuation byte (80-BF)
// exactly when a lead byte one, two or three places before it announces one
// (C0 and above, E0 and above, F0 and above). The three looks back are loads
// at p-1, p-2 and p-3, so no bytes move between lanes. Each mismatch sets the
// top bit of its byte; bytes F8-FF are found later from the largest byte.
KEL_AVX2 inline __m256i Utf8MismatchAvx2(const BYTE* p)
{
    const __m256i bytes = Load32(p);
    const __m256i claimed = _mm256_or_si256(
        _mm256_or_si256(_mm256_subs_epu8(Load32(p - 1), _mm256_set1_epi8(static_cast<char>(0xBF))),
                        _mm256_subs_epu8(Load32(p - 2), _mm256_set1_epi8(static_cast<char>(0xDF)))),
        _mm256_subs_epu8(Load32(p - 3), _mm256_set1_epi8(static_cast<char>(0xEF))));
    // `claimed` is 0-7F, non-zero where claimed; adding 7F moves that to the top bit.
    const __m256i claimedTop = _mm256_add_epi8(claimed, _mm256_set1_epi8(0x7F));
    const __m256i bitSix = _mm256_slli_epi16(bytes, 1); // each byte's bit 6, in its top bit
    return _mm256_xor_si256(claimedTop, _mm256_andnot_si256(bitSix, bytes));
}

KEL_AVX2 inline bool Utf8BrokenAvx2(__m256i mismatches, __m256i largest)
{
    return _mm256_movemask_epi8(mismatches) != 0 || _mm256_movemask_epi8(AtLeast(largest, 0xF8)) != 0;
}

KEL_AVX512 inline bool Utf8BrokenAvx512(__m512i mismatches, __m512i largest)
{
    return _mm512_movepi8_mask(mismatches) != 0
        || _mm512_cmpge_epu8_mask(largest, _mm512_set1_epi8(static_cast<char>(0xF8))) != 0;
}

// The UTF-8 rule for 64 bytes at `p`, as Utf8MismatchAvx2 gives it for 32.
KEL_AVX512 inline __m512i Utf8MismatchAvx512(const BYTE* p)
{
    constexpr int kOr3 = 0xFE;       // a | b | c
    constexpr int kXorAndNot = 0xB4; // a ^ (b & ~c)
    const __m512i bytes = _mm512_loadu_si512(p);
    const __m512i claimed = _mm512_ternarylogic_epi32(
        _mm512_subs_epu8(_mm512_loadu_si512(p - 1), _mm512_set1_epi8(static_cast<char>(0xBF))),
        _mm512_subs_epu8(_mm512_loadu_si512(p - 2), _mm512_set1_epi8(static_cast<char>(0xDF))),
        _mm512_subs_epu8(_mm512_loadu_si512(p - 3), _mm512_set1_epi8(static_cast<char>(0xEF))), kOr3);
    const __m512i claimedTop = _mm512_add_epi8(claimed, _mm512_set1_epi8(0x7F));
    return _mm512_ternarylogic_epi32(claimedTop, bytes, _mm512_slli_epi16(bytes, 1), kXorAndNot);
}

} // namespace

KEL_AVX2 bool Utf8BlocksAvx2(const BYTE* data, size_t& at, size_t length)
{
    __m256i mismatches = _mm256_setzero_si256();
    __m256i largest = _mm256_setzero_si256();
    for (unsigned blocks = 1; length - at >= 32; at += 32, ++blocks) {
        mismatches = _mm256_or_si256(mismatches, Utf8MismatchAvx2(data + at));
        largest = _mm256_max_epu8(largest, Load32(data + at));
        if (blocks % kBlocksPerCheck == 0 && Utf8BrokenAvx2(mismatches, largest))
            return false;
    }
    return !Utf8BrokenAvx2(mismatches, largest);
}

KEL_AVX512 bool Utf8BlocksAvx512(const BYTE* data, size_t& at, size_t length)
{
    __m512i mismatches = _mm512_setzero_si512();
    __m512i largest = _mm512_setzero_si512();
    for (unsigned blocks = 1; length - at >= 128; at += 128, ++blocks) {
        mismatches = _mm512_or_si512(mismatches, Utf8MismatchAvx512(data + at));
        mismatches = _mm512_or_si512(mismatches, Utf8MismatchAvx512(data + at + 64));
        largest = _mm512_max_epu8(largest, _mm512_max_epu8(_mm512_loadu_si512(data + at), _mm512_loadu_si512(data + at + 64)));
        if (blocks % kBlocksPerCheck == 0 && Utf8BrokenAvx512(mismatches, largest))
            return false;
    }
    return !Utf8BrokenAvx512(mismatches, largest);
}

KEL_AVX2 size_t SevenBitBlocksAvx2(const BYTE* data, size_t at, size_t length)
{
    for (; length - at >= 64; at += 64) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at + 32));
        if (_mm256_movemask_epi8(_mm256_or_si256(a, b)) != 0)
            break;
    }
    return at;
}

KEL_AVX512 size_t SevenBitBlocksAvx512(const BYTE* data, size_t at, size_t length)
{
    for (; length - at >= 128; at += 128) {
        const __m512i a = _mm512_loadu_si512(data + at);
        const __m512i b = _mm512_loadu_si512(data + at + 64);
        if (_mm512_movepi8_mask(_mm512_or_si512(a, b)) != 0)
            break;
    }
    return at;
}

// The two loops differ only in the classifier, which must be inlined into a
// function compiled for its instruction set.
KEL_AVX2 size_t EucKrBlocksAvx2(const BYTE* data, size_t at, size_t length)
{
    std::uint64_t carry = 0, high, outside;
    for (; length - at >= 64; at += 64) {
        ClassifyEucAvx2(data + at, high, outside);
        if (!EucKrBlockClean(high, outside, carry))
            break;
    }
    return carry ? at - 1 : at;
}

KEL_AVX512 size_t EucKrBlocksAvx512(const BYTE* data, size_t at, size_t length)
{
    std::uint64_t carry = 0, high, outside;
    for (; length - at >= 64; at += 64) {
        ClassifyEucAvx512(data + at, high, outside);
        if (!EucKrBlockClean(high, outside, carry))
            break;
    }
    return carry ? at - 1 : at;
}

} // namespace kel::encoding::simd

#else // no vector loops on this architecture: BestSimd() never picks one

namespace kel::encoding::simd {
bool Utf8BlocksAvx2(const BYTE*, size_t&, size_t) { return true; }
size_t SevenBitBlocksAvx2(const BYTE*, size_t at, size_t) { return at; }
size_t SevenBitBlocksAvx512(const BYTE*, size_t at, size_t) { return at; }
bool Utf8BlocksAvx512(const BYTE*, size_t&, size_t) { return true; }
size_t EucKrBlocksAvx2(const BYTE*, size_t at, size_t) { return at; }
size_t EucKrBlocksAvx512(const BYTE*, size_t at, size_t) { return at; }
} // namespace kel::encoding::simd

#endif
