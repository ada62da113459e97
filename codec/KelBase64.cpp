#include "KelBase64.h"

#include "Base64Avx2.h"

#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

// Whether the AVX2 blocks run: the processor has them and they are not
// switched off.
const bool kAvx2 = kel::codec::Avx2Present();
std::atomic<bool> g_vectorised { kAvx2 };

inline bool Vectorised()
{
    return g_vectorised.load(std::memory_order_relaxed);
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Decoding classes beside the sextet values 0-63.
constexpr std::int8_t kInvalid = -1;
constexpr std::int8_t kBlank = -2;
constexpr std::int8_t kPad = -3;

constexpr std::array<std::int8_t, 256> MakeDecodeTable()
{
    std::array<std::int8_t, 256> table {};
    table.fill(kInvalid);
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    table[' '] = table['\t'] = table['\r'] = table['\n'] = kBlank;
    table['='] = kPad;
    return table;
}

constexpr std::array<std::int8_t, 256> kDecode = MakeDecodeTable();

// The sextet of a character already shifted to its place in a quantum, with
// bit 31 set for anything else, so that four characters are checked with one
// test on the fast path.
constexpr std::uint32_t kNotSextet = 0x80000000u;

constexpr std::array<std::uint32_t, 256> MakeShiftedTable(int shift)
{
    std::array<std::uint32_t, 256> table {};
    for (int c = 0; c < 256; ++c)
        table[c] = kDecode[c] >= 0 ? static_cast<std::uint32_t>(kDecode[c]) << shift : kNotSextet;
    return table;
}

constexpr std::array<std::uint32_t, 256> kShift18 = MakeShiftedTable(18);
constexpr std::array<std::uint32_t, 256> kShift12 = MakeShiftedTable(12);
constexpr std::array<std::uint32_t, 256> kShift6 = MakeShiftedTable(6);
constexpr std::array<std::uint32_t, 256> kShift0 = MakeShiftedTable(0);

// Two Base64 characters of twelve bits, stored with one copy: the encoder
// writes a whole quantum with two stores. `Pair` is an integer twice as wide
// as the character type.
template <typename Ch, typename Pair>
std::array<Pair, 4096> MakePairTable()
{
    static_assert(sizeof(Pair) == 2 * sizeof(Ch));
    std::array<Pair, 4096> table {};
    for (std::uint32_t v = 0; v < 4096; ++v) {
        const Ch pair[2] = { static_cast<Ch>(kAlphabet[v >> 6]), static_cast<Ch>(kAlphabet[v & 0x3F]) };
        std::memcpy(&table[v], pair, sizeof pair);
    }
    return table;
}

template <typename Ch, typename Pair>
const std::array<Pair, 4096>& PairTable()
{
    static const std::array<Pair, 4096> table = MakePairTable<Ch, Pair>();
    return table;
}

// Latin-1 code of a character, or 256 for anything beyond (never a sextet).
inline std::uint32_t Code(wchar_t ch)
{
    const auto code = static_cast<std::uint32_t>(ch);
    return code < 256 ? code : 256;
}

inline std::uint32_t Code(char ch)
{
    return static_cast<unsigned char>(ch);
}

// The 24 bits of four characters, or a value with kNotSextet set.
template <typename Ch>
inline std::uint32_t Quantum(const Ch* p)
{
    const std::uint32_t c0 = Code(p[0]), c1 = Code(p[1]), c2 = Code(p[2]), c3 = Code(p[3]);
    if ((c0 | c1 | c2 | c3) > 0xFF)
        return kNotSextet;
    return kShift18[c0] | kShift12[c1] | kShift6[c2] | kShift0[c3];
}

inline int Classify(wchar_t ch)
{
    const auto code = static_cast<std::uint32_t>(ch);
    return code < 256 ? kDecode[code] : kInvalid;
}

inline int Classify(char ch)
{
    return kDecode[static_cast<unsigned char>(ch)];
}

[[noreturn]] void ThrowBadCharacter(std::uint32_t code, size_t position)
{
    throw new CKelException(L"Base64 텍스트가 아닙니다: 위치 %zu 의 문자 U+%04X 는 Base64 문자가 아닙니다.",
        position, code);
}

[[noreturn]] void ThrowBadEnding(size_t position)
{
    throw new CKelException(L"Base64 텍스트가 아닙니다: 위치 %zu 에서 끝이 잘못되었습니다.", position);
}

// Whole quanta of four alphabet characters from `i` on, as many as there
// are: vectorised blocks first, then one quantum at a time. Advances `i`
// and `written`.
template <typename Ch>
void DecodeWholeQuanta(BYTE* data, const Ch* text, size_t length, size_t& i, size_t& written)
{
    if (data && Vectorised()) {
        const size_t taken = kel::codec::DecodeBlocksAvx2(data + written, text + i, length - i);
        i += taken;
        written += taken / 4 * 3;
    }
    while (i + 4 <= length) {
        const std::uint32_t value = Quantum(text + i);
        if (value & kNotSextet)
            break;
        if (data) {
            data[written] = static_cast<BYTE>(value >> 16);
            data[written + 1] = static_cast<BYTE>(value >> 8);
            data[written + 2] = static_cast<BYTE>(value);
        }
        written += 3;
        i += 4;
    }
}

// One pass over the text: validates it and, when `data` is given, writes the
// bytes. Returns the number of bytes. The same pass sizes and decodes, so the
// two can never disagree.
template <typename Ch>
size_t DecodeText(BYTE* data, const Ch* text, size_t length)
{
    size_t written = 0;
    std::uint32_t quantum = 0; // sextets gathered since the last full quantum
    int sextets = 0;
    int pads = 0;
    size_t i = 0;
    while (i < length) {
        // Fast path: whole quanta of four alphabet characters.
        if (sextets == 0 && pads == 0) {
            DecodeWholeQuanta(data, text, length, i, written);
            if (i >= length)
                break;
        }
        const int value = Classify(text[i]);
        if (value >= 0) {
            if (pads > 0)
                ThrowBadEnding(i);
            quantum = (quantum << 6) | static_cast<std::uint32_t>(value);
            if (++sextets == 4) {
                if (data) {
                    data[written] = static_cast<BYTE>(quantum >> 16);
                    data[written + 1] = static_cast<BYTE>(quantum >> 8);
                    data[written + 2] = static_cast<BYTE>(quantum);
                }
                written += 3;
                sextets = 0;
                quantum = 0;
            }
        } else if (value == kPad) {
            // '=' only completes a quantum of two or three characters.
            if (sextets < 2 || sextets + pads + 1 > 4)
                ThrowBadEnding(i);
            ++pads;
        } else if (value != kBlank) {
            ThrowBadCharacter(static_cast<std::uint32_t>(text[i]), i);
        }
        ++i;
    }
    if (sextets == 1 || (pads > 0 && sextets + pads != 4))
        ThrowBadEnding(length);
    // A final quantum of two or three characters carries one or two bytes;
    // its padding may have been left out.
    if (sextets == 2) {
        if (data)
            data[written] = static_cast<BYTE>(quantum >> 4);
        written += 1;
    } else if (sextets == 3) {
        if (data) {
            data[written] = static_cast<BYTE>(quantum >> 10);
            data[written + 1] = static_cast<BYTE>(quantum >> 2);
        }
        written += 2;
    }
    return written;
}

} // namespace

size_t CKelBase64::EncodeCount(const BYTE*, const size_t& count)
{
    return (count + 2) / 3 * 4;
}

namespace {

template <typename Ch, typename Pair>
void EncodeText(Ch* text, const BYTE* data, size_t count)
{
    const auto& pairs = PairTable<Ch, Pair>();
    size_t i = Vectorised() ? kel::codec::EncodeBlocksAvx2(text, data, count) : 0;
    Ch* out = text + i / 3 * 4;
    for (; i + 3 <= count; i += 3) {
        const std::uint32_t value = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        std::memcpy(out, &pairs[value >> 12], sizeof(Pair));
        std::memcpy(out + 2, &pairs[value & 0xFFF], sizeof(Pair));
        out += 4;
    }
    const size_t rest = count - i;
    if (rest > 0) {
        const std::uint32_t value = (data[i] << 16) | (rest == 2 ? data[i + 1] << 8 : 0);
        out[0] = static_cast<Ch>(kAlphabet[value >> 18]);
        out[1] = static_cast<Ch>(kAlphabet[(value >> 12) & 0x3F]);
        out[2] = rest == 2 ? static_cast<Ch>(kAlphabet[(value >> 6) & 0x3F]) : Ch('=');
        out[3] = Ch('=');
        out += 4;
    }
    *out = 0;
}

} // namespace

void CKelBase64::Encode(wchar_t* text, const BYTE* data, const size_t& count)
{
    EncodeText<wchar_t, std::uint64_t>(text, data, count);
}

void CKelBase64::Encode(char16_t* text, const BYTE* data, const size_t& count)
{
    EncodeText<char16_t, std::uint32_t>(text, data, count);
}

void CKelBase64::Encode(char* text, const BYTE* data, const size_t& count)
{
    EncodeText<char, std::uint16_t>(text, data, count);
}

bool CKelBase64::UseVectorised(const bool& use)
{
    g_vectorised.store(use && kAvx2, std::memory_order_relaxed);
    return Vectorised();
}

namespace {

// Bytes of a text that is nothing but alphabet characters and at most two
// final '=', found by a scan the compiler vectorises; SIZE_MAX for any other
// text, which then takes the full character-by-character check.
template <typename Ch>
size_t CountPlainText(const Ch* text, size_t length)
{
    size_t others = 0;
    // Whole blocks of alphabet characters hold no others.
    const size_t start = Vectorised() ? kel::codec::AlphabetBlocksAvx2(text, length) : 0;
    for (size_t i = start; i < length; ++i) {
        const auto c = static_cast<std::uint32_t>(text[i]);
        const bool alphabet = (c - 'A' < 26u) | (c - 'a' < 26u) | (c - '0' < 10u) | (c == '+') | (c == '/');
        others += !alphabet;
    }
    size_t pads = 0;
    while (pads < 2 && pads < length && text[length - 1 - pads] == '=')
        ++pads;
    if (others != pads || (pads > 0 && length % 4 != 0))
        return SIZE_MAX;
    const size_t sextets = length - pads;
    if (sextets % 4 == 1)
        return SIZE_MAX;
    return sextets / 4 * 3 + (sextets % 4 == 0 ? 0 : sextets % 4 - 1);
}

template <typename Ch>
size_t CountText(const Ch* text, size_t length)
{
    const size_t count = CountPlainText(text, length);
    return count != SIZE_MAX ? count : DecodeText<Ch>(nullptr, text, length);
}

} // namespace

size_t CKelBase64::DecodeCount(const wchar_t* text, const size_t& length)
{
    return CountText(text, length);
}

size_t CKelBase64::DecodeCount(const char* text, const size_t& length)
{
    return CountText(text, length);
}

size_t CKelBase64::Decode(BYTE* data, const wchar_t* text, const size_t& length)
{
    return DecodeText<wchar_t>(data, text, length);
}

size_t CKelBase64::Decode(BYTE* data, const char* text, const size_t& length)
{
    return DecodeText<char>(data, text, length);
}
