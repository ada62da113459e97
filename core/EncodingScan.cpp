#include "EncodingScan.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#define KEL_HAVE_AVX2_PATH 1
#endif

namespace kel::encoding {
namespace {

bool IsEucByte(BYTE b) { return b >= 0xA1 && b <= 0xFE; }

// Continuation bytes a lead byte announces under the recogniser's rules.
int TrailCount(BYTE lead)
{
    if ((lead & 0xE0) == 0xC0) return 1;
    if ((lead & 0xF0) == 0xE0) return 2;
    if ((lead & 0xF8) == 0xF0) return 3;
    return -1;
}

// Byte-by-byte UTF-8 check from `at`, `pending` continuation bytes owed.
bool Utf8SurvivesScalar(const BYTE* data, size_t at, size_t length, int pending)
{
    for (; pending > 0; --pending, ++at) {
        if (at == length)
            return true;
        if ((data[at] & 0xC0) != 0x80)
            return false;
    }
    for (;;) {
        at = SkipSevenBit(data, at, length);
        while (at < length && data[at] >= 0x80) {
            const int trail = TrailCount(data[at++]);
            if (trail < 0)
                return false;
            for (int i = 0; i < trail; ++i, ++at) {
                if (at == length)
                    return true;
                if ((data[at] & 0xC0) != 0x80)
                    return false;
            }
        }
        if (at >= length)
            return true;
    }
}

// Pairs of A1-FE bytes between 7-bit bytes, one byte at a time.
size_t SkipEucKrScalar(const BYTE* data, size_t at, size_t length)
{
    for (;;) {
        at = SkipSevenBit(data, at, length);
        while (at + 1 < length && IsEucByte(data[at]) && IsEucByte(data[at + 1]))
            at += 2;
        if (at + 1 == length && IsEucByte(data[at]))
            return length; // a lead byte cut off by the end
        if (at >= length || data[at] >= 0x80)
            return at;
    }
}

#if KEL_HAVE_AVX2_PATH

bool HasAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}

// Bytes >= `threshold`, as a byte mask.
__attribute__((target("avx2"))) inline __m256i AtLeast(__m256i bytes, BYTE threshold)
{
    return _mm256_cmpeq_epi8(_mm256_max_epu8(bytes, _mm256_set1_epi8(static_cast<char>(threshold))), bytes);
}

// `current` moved up by N bytes, the gap filled from the end of `previous`.
template <int N>
__attribute__((target("avx2"))) inline __m256i ShiftIn(__m256i previous, __m256i current)
{
    return _mm256_alignr_epi8(current, _mm256_permute2x128_si256(previous, current, 0x21), 16 - N);
}

// Structural UTF-8 check of 32-byte blocks: a byte is a continuation byte
// exactly when one of the three bytes before it announced it. Returns false
// at the first block that breaks the rule; `at` ends at the first byte not
// checked (a multiple of 32 past the start).
__attribute__((target("avx2"))) bool Utf8BlocksSurvive(const BYTE* data, size_t& at, size_t length)
{
    __m256i previousLead2 = _mm256_setzero_si256(); // masks of the block before
    __m256i previousLead3 = _mm256_setzero_si256();
    __m256i previousLead4 = _mm256_setzero_si256();
    __m256i errors = _mm256_setzero_si256();
    for (; length - at >= 32; at += 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at));
        const __m256i lead2 = AtLeast(bytes, 0xC0);
        const __m256i lead3 = AtLeast(bytes, 0xE0);
        const __m256i lead4 = AtLeast(bytes, 0xF0);
        const __m256i invalid = AtLeast(bytes, 0xF8);
        const __m256i continuation = _mm256_andnot_si256(lead2, AtLeast(bytes, 0x80));
        const __m256i expected = _mm256_or_si256(ShiftIn<1>(previousLead2, lead2),
                                                 _mm256_or_si256(ShiftIn<2>(previousLead3, lead3), ShiftIn<3>(previousLead4, lead4)));
        errors = _mm256_or_si256(errors, _mm256_or_si256(_mm256_xor_si256(expected, continuation), invalid));
        previousLead2 = lead2;
        previousLead3 = lead3;
        previousLead4 = lead4;
        if ((at & 1023) == 992 && !_mm256_testz_si256(errors, errors))
            return false;
    }
    return _mm256_testz_si256(errors, errors);
}

// Continuation bytes still owed at `at` by a lead byte in the three before.
int PendingAt(const BYTE* data, size_t start, size_t at)
{
    for (size_t back = 1; back <= 3 && at - back >= start && at >= back; ++back) {
        const BYTE b = data[at - back];
        if (b >= 0xC0)
            return TrailCount(b) - static_cast<int>(back - 1) > 0 ? TrailCount(b) - static_cast<int>(back - 1) : 0;
    }
    return 0;
}

// High-byte mask of 64 bytes and whether each of them is an A1-FE byte.
struct EucMasks {
    std::uint64_t high;
    std::uint64_t bad; // high bytes outside A1-FE
};

__attribute__((target("avx2"))) EucMasks ClassifyEuc(const BYTE* p)
{
    EucMasks masks {0, 0};
    for (int half = 0; half < 2; ++half) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * half));
        const __m256i high = AtLeast(bytes, 0x80);
        const __m256i inRange = _mm256_andnot_si256(AtLeast(bytes, 0xFF), AtLeast(bytes, 0xA1));
        const auto highBits = static_cast<std::uint32_t>(_mm256_movemask_epi8(high));
        const auto badBits = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_andnot_si256(inRange, high)));
        masks.high |= static_cast<std::uint64_t>(highBits) << (32 * half);
        masks.bad |= static_cast<std::uint64_t>(badBits) << (32 * half);
    }
    return masks;
}

// Positions just after a run of high bytes of odd length, for 64 bytes whose
// high-byte mask is `high`; `carry` is 1 when the block before ended in the
// middle of a pair, and becomes the same for this block. (The carry-chain
// method for odd-length runs used by fast JSON parsers.)
std::uint64_t OddRunEnds(std::uint64_t high, std::uint64_t& carry)
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

#endif // KEL_HAVE_AVX2_PATH

} // namespace

size_t SkipSevenBit(const BYTE* data, size_t at, size_t length)
{
    while (length - at >= 32) {
        std::uint64_t words[4];
        std::memcpy(words, data + at, sizeof words);
        if ((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ull)
            break;
        at += 32;
    }
    while (length - at >= 8) {
        std::uint64_t word;
        std::memcpy(&word, data + at, sizeof word);
        if (word & 0x8080808080808080ull)
            return at + static_cast<size_t>(__builtin_ctzll(word & 0x8080808080808080ull) / 8);
        at += 8;
    }
    while (at < length && data[at] < 0x80)
        ++at;
    return at;
}

bool Utf8Survives(const BYTE* data, size_t at, size_t length)
{
#if KEL_HAVE_AVX2_PATH
    if (HasAvx2()) {
        const size_t start = at;
        if (!Utf8BlocksSurvive(data, at, length))
            return false;
        return Utf8SurvivesScalar(data, at, length, PendingAt(data, start, at));
    }
#endif
    return Utf8SurvivesScalar(data, at, length, 0);
}

size_t SkipEucKr(const BYTE* data, size_t at, size_t length)
{
#if KEL_HAVE_AVX2_PATH
    if (HasAvx2()) {
        std::uint64_t carry = 0;
        size_t block = at;
        for (; length - block >= 64; block += 64) {
            const EucMasks masks = ClassifyEuc(data + block);
            std::uint64_t nextCarry = carry;
            if (masks.bad != 0 || OddRunEnds(masks.high, nextCarry) != 0)
                break;
            carry = nextCarry;
        }
        // `block` is the first block not known to be clean; when it starts in
        // the middle of a pair, back up to that pair's lead byte.
        at = carry ? block - 1 : block;
    }
#endif
    return SkipEucKrScalar(data, at, length);
}

} // namespace kel::encoding
