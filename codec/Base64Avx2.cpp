#include "Base64Avx2.h"

#include <immintrin.h>

// Every function here that uses AVX2 carries the target attribute itself,
// so no AVX2 instruction reaches code that runs without the check.
#define KEL_AVX2 __attribute__((target("avx2")))

namespace kel::codec {

bool Avx2Present()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

namespace {

// 24 bytes (12 per lane) into 32 sextets, one per byte: each group of three
// bytes is spread over four bytes, and the multiplies move each sextet to
// the low bits of its byte.
KEL_AVX2 inline __m256i Sextets(const BYTE* data)
{
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 12));
    __m256i in = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
    in = _mm256_shuffle_epi8(in,
        _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10, 1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10,
            9, 11, 10));
    const __m256i ac = _mm256_mulhi_epu16(_mm256_and_si256(in, _mm256_set1_epi32(0x0FC0FC00)),
        _mm256_set1_epi32(0x04000040));
    const __m256i bd = _mm256_mullo_epi16(_mm256_and_si256(in, _mm256_set1_epi32(0x003F03F0)),
        _mm256_set1_epi32(0x01000010));
    return _mm256_or_si256(ac, bd);
}

// Sextets to their alphabet characters: the range a sextet is in picks the
// offset added to it.
KEL_AVX2 inline __m256i Characters(__m256i sextets)
{
    __m256i range = _mm256_subs_epu8(sextets, _mm256_set1_epi8(51)); // 52..63 -> 1..12, others 0
    const __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), sextets);
    range = _mm256_or_si256(range, _mm256_and_si256(upper, _mm256_set1_epi8(13))); // 0..25 -> 13
    const __m256i offsets = _mm256_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
        '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0, 'a' - 26, '0' - 52,
        '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62,
        '/' - 63, 'A', 0, 0);
    return _mm256_add_epi8(_mm256_shuffle_epi8(offsets, range), sextets);
}

KEL_AVX2 inline void Store(char* text, __m256i characters)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(text), characters);
}

KEL_AVX2 inline void Store(char16_t* text, __m256i characters)
{
    auto* out = reinterpret_cast<__m256i*>(text);
    _mm256_storeu_si256(out, _mm256_cvtepu8_epi16(_mm256_castsi256_si128(characters)));
    _mm256_storeu_si256(out + 1, _mm256_cvtepu8_epi16(_mm256_extracti128_si256(characters, 1)));
}

KEL_AVX2 inline void Store(wchar_t* text, __m256i characters)
{
    static_assert(sizeof(wchar_t) == 4);
    auto* out = reinterpret_cast<__m256i*>(text);
    const __m128i low = _mm256_castsi256_si128(characters);
    const __m128i high = _mm256_extracti128_si256(characters, 1);
    _mm256_storeu_si256(out, _mm256_cvtepu8_epi32(low));
    _mm256_storeu_si256(out + 1, _mm256_cvtepu8_epi32(_mm_srli_si128(low, 8)));
    _mm256_storeu_si256(out + 2, _mm256_cvtepu8_epi32(high));
    _mm256_storeu_si256(out + 3, _mm256_cvtepu8_epi32(_mm_srli_si128(high, 8)));
}

template <typename Ch>
KEL_AVX2 size_t EncodeBlocks(Ch* text, const BYTE* data, size_t count)
{
    size_t done = 0;
    for (; done + 28 <= count; done += 24, text += 32)
        Store(text, Characters(Sextets(data + done)));
    return done;
}

// 32 characters to their sextets; false when any is no alphabet character.
// The low and high half of each character pick bit sets that share a bit
// only for characters outside the alphabet.
KEL_AVX2 inline bool SextetsOf(__m256i characters, __m256i& sextets)
{
    const __m256i nibbleMask = _mm256_set1_epi8(0x0F);
    const __m256i highNibbles = _mm256_and_si256(_mm256_srli_epi32(characters, 4), nibbleMask);
    const __m256i lowNibbles = _mm256_and_si256(characters, nibbleMask);
    const __m256i lowSets = _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13,
        0x1A, 0x1B, 0x1B, 0x1B, 0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A,
        0x1B, 0x1B, 0x1B, 0x1A);
    const __m256i highSets = _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10,
        0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10,
        0x10, 0x10, 0x10, 0x10);
    const __m256i low = _mm256_shuffle_epi8(lowSets, lowNibbles);
    const __m256i high = _mm256_shuffle_epi8(highSets, highNibbles);
    if (!_mm256_testz_si256(low, high))
        return false;
    // The offset from character to sextet goes by the high half ('/' apart
    // from the rest of its row, '+').
    const __m256i slash = _mm256_cmpeq_epi8(characters, _mm256_set1_epi8('/'));
    const __m256i offsets = _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16,
        19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    sextets = _mm256_add_epi8(characters, _mm256_shuffle_epi8(offsets, _mm256_add_epi8(slash, highNibbles)));
    return true;
}

// 32 sextets into 24 bytes.
KEL_AVX2 inline void StoreBytes(BYTE* data, __m256i sextets)
{
    const __m256i pairs = _mm256_maddubs_epi16(sextets, _mm256_set1_epi32(0x01400140));
    const __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
    const __m256i ordered = _mm256_shuffle_epi8(groups,
        _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6, 5, 4, 10, 9, 8, 14,
            13, 12, -1, -1, -1, -1));
    const __m256i packed = _mm256_permutevar8x32_epi32(ordered, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(data), _mm256_castsi256_si128(packed));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(data + 16), _mm256_extracti128_si256(packed, 1));
}

KEL_AVX2 inline bool LoadCharacters(const char* text, __m256i& characters)
{
    characters = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text));
    return true;
}

// 32 wide characters narrowed to bytes; false when any is beyond U+00FF
// (no alphabet character, so the portable code reports it).
KEL_AVX2 inline bool LoadCharacters(const wchar_t* text, __m256i& characters)
{
    const auto* in = reinterpret_cast<const __m256i*>(text);
    const __m256i a = _mm256_loadu_si256(in), b = _mm256_loadu_si256(in + 1);
    const __m256i c = _mm256_loadu_si256(in + 2), d = _mm256_loadu_si256(in + 3);
    const __m256i all = _mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d));
    if (!_mm256_testz_si256(all, _mm256_set1_epi32(static_cast<int>(0xFFFFFF00u))))
        return false;
    // The packs work per lane: the groups of four are put back in order.
    const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(a, b), _mm256_packus_epi32(c, d));
    characters = _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
    return true;
}

template <typename Ch>
KEL_AVX2 size_t DecodeBlocks(BYTE* data, const Ch* text, size_t length)
{
    size_t done = 0;
    for (; done + 32 <= length; done += 32, data += 24) {
        __m256i characters, sextets;
        if (!LoadCharacters(text + done, characters) || !SextetsOf(characters, sextets))
            break;
        StoreBytes(data, sextets);
    }
    return done;
}

template <typename Ch>
KEL_AVX2 size_t AlphabetBlocks(const Ch* text, size_t length)
{
    size_t done = 0;
    for (; done + 32 <= length; done += 32) {
        __m256i characters, sextets;
        if (!LoadCharacters(text + done, characters) || !SextetsOf(characters, sextets))
            break;
    }
    return done;
}

} // namespace

size_t AlphabetBlocksAvx2(const char* text, size_t length)
{
    return AlphabetBlocks(text, length);
}

size_t AlphabetBlocksAvx2(const wchar_t* text, size_t length)
{
    return AlphabetBlocks(text, length);
}

size_t EncodeBlocksAvx2(char* text, const BYTE* data, size_t count)
{
    return EncodeBlocks(text, data, count);
}

size_t EncodeBlocksAvx2(char16_t* text, const BYTE* data, size_t count)
{
    return EncodeBlocks(text, data, count);
}

size_t EncodeBlocksAvx2(wchar_t* text, const BYTE* data, size_t count)
{
    return EncodeBlocks(text, data, count);
}

size_t DecodeBlocksAvx2(BYTE* data, const char* text, size_t length)
{
    return DecodeBlocks(data, text, length);
}

size_t DecodeBlocksAvx2(BYTE* data, const wchar_t* text, size_t length)
{
    return DecodeBlocks(data, text, length);
}

} // namespace kel::codec
