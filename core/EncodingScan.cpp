#include "EncodingScan.h"

#include "EncodingScanSimd.h"

#include <cstdint>
#include <cstring>

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
bool Utf8SurvivesScalar(const BYTE* data, size_t at, size_t length, int pending, Simd simd)
{
    for (; pending > 0; --pending, ++at) {
        if (at == length)
            return true;
        if ((data[at] & 0xC0) != 0x80)
            return false;
    }
    for (;;) {
        at = SkipSevenBit(data, at, length, simd);
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
size_t SkipEucKrScalar(const BYTE* data, size_t at, size_t length, Simd simd)
{
    for (;;) {
        at = SkipSevenBit(data, at, length, simd);
        while (at + 1 < length && IsEucByte(data[at]) && IsEucByte(data[at + 1]))
            at += 2;
        if (at + 1 == length && IsEucByte(data[at]))
            return length; // a lead byte cut off by the end
        if (at >= length || data[at] >= 0x80)
            return at;
    }
}

// The recogniser over [at, end) from a resting state, without asking what a
// sequence cut off at `end` still owes.
bool Utf8PrefixSurvives(const BYTE* data, size_t at, size_t end)
{
    for (int pending = 0; at < end; ++at) {
        if (pending > 0) {
            if ((data[at] & 0xC0) != 0x80)
                return false;
            --pending;
        } else if (data[at] >= 0x80) {
            pending = TrailCount(data[at]);
            if (pending < 0)
                return false;
        }
    }
    return true;
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

} // namespace

Simd BestSimd()
{
#if defined(__x86_64__)
    static const Simd best = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") ? Simd::Avx512
        : __builtin_cpu_supports("avx2")                                                             ? Simd::Avx2
                                                                                                     : Simd::Scalar;
    return best;
#else
    return Simd::Scalar;
#endif
}

size_t SkipSevenBit(const BYTE* data, size_t at, size_t length, Simd simd)
{
    if (simd == Simd::Avx512)
        at = simd::SevenBitBlocksAvx512(data, at, length);
    else if (simd == Simd::Avx2)
        at = simd::SevenBitBlocksAvx2(data, at, length);
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

bool Utf8Survives(const BYTE* data, size_t at, size_t length, Simd simd)
{
    // The block loops look three bytes back: those are checked one by one.
    constexpr size_t kLookBack = 3;
    if (simd == Simd::Scalar || length - at < kLookBack + 64)
        return Utf8SurvivesScalar(data, at, length, 0, simd);
    const size_t start = at;
    if (!Utf8PrefixSurvives(data, at, at + kLookBack))
        return false;
    at += kLookBack;
    const bool blocksSurvive = simd == Simd::Avx512 ? simd::Utf8BlocksAvx512(data, at, length)
                                                    : simd::Utf8BlocksAvx2(data, at, length);
    return blocksSurvive && Utf8SurvivesScalar(data, at, length, PendingAt(data, start, at), simd);
}

size_t SkipEucKr(const BYTE* data, size_t at, size_t length, Simd simd)
{
    if (simd == Simd::Avx512)
        at = simd::EucKrBlocksAvx512(data, at, length);
    else if (simd == Simd::Avx2)
        at = simd::EucKrBlocksAvx2(data, at, length);
    return SkipEucKrScalar(data, at, length, simd);
}

} // namespace kel::encoding
