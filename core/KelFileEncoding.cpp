// Encoding detection of CKelFile: the byte-order-mark table, then the four
// byte-pattern recognisers run side by side.
//
// The recognisers are combined into one automaton whose state holds every
// recogniser's state at once, so each byte costs one table look-up. Two
// shortcuts keep the common inputs near memory speed: runs of 7-bit bytes are
// skipped in blocks while every living recogniser rests in its first state,
// and when only the UTF-8 recogniser (or only the EUC-KR and CP949 pair) is
// left, a loop specialised for that case takes over.
#include "KelFile.h"

#include "EncodingScan.h"

#include <array>
#include <cstring>

namespace {

struct Mark {
    BYTE bytes[5];
    UINT length;
};

// Indexed by encoding id 0-12.
constexpr Mark kMarks[] = {
    {{0xEF, 0xBB, 0xBF}, 3},
    {{0xFE, 0xFF}, 2},
    {{0xFF, 0xFE}, 2},
    {{0x00, 0x00, 0xFE, 0xFF}, 4},
    {{0xFF, 0xFE, 0x00, 0x00}, 4},
    {{0x0E, 0xFE, 0xFF}, 3},
    {{0x2B, 0x2F, 0x76, 0x38}, 4},
    {{0x2B, 0x2F, 0x76, 0x39}, 4},
    {{0x2B, 0x2F, 0x76, 0x2B}, 4},
    {{0x2B, 0x2F, 0x76, 0x2F}, 4},
    {{0x2B, 0x2F, 0x76, 0x38, 0x2D}, 5},
    {{0xDD, 0x73, 0x66, 0x73}, 4},
    {{0xFB, 0xEE, 0x28}, 3},
};
constexpr int kMarkCount = static_cast<int>(std::size(kMarks));

// Recogniser states; kDead means the recogniser no longer fits.
constexpr int kDead = -1;

int NextUtf8(int state, BYTE b)
{
    if (state == 0) {
        if (b < 0x80) return 0;
        if ((b & 0xE0) == 0xC0) return 1;
        if ((b & 0xF0) == 0xE0) return 2;
        if ((b & 0xF8) == 0xF0) return 3;
        return kDead;
    }
    return (b & 0xC0) == 0x80 ? state - 1 : kDead;
}

int NextEucKr(int state, BYTE b)
{
    if (state == 0) {
        if (b < 0x80) return 0;
        return b >= 0xA1 && b <= 0xFE ? 1 : kDead;
    }
    return b >= 0xA1 && b <= 0xFE ? 0 : kDead;
}

int NextCp949(int state, BYTE b)
{
    switch (state) {
    case 0:
        if (b < 0x80) return 0;
        if (b >= 0x81 && b <= 0xC5) return 1;
        if (b >= 0xC6 && b <= 0xFE) return 2;
        return kDead;
    case 1:
        return (b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A) || (b >= 0x81 && b <= 0xFE) ? 0 : kDead;
    default:
        return b >= 0xA1 && b <= 0xFE ? 0 : kDead;
    }
}

// A combined state packs the four recognisers; "dead" is the last value of
// each range.
struct Combined {
    int ascii; // 0 alive, 1 dead
    int utf8;  // 0-3, 4 dead
    int euc;   // 0-1, 2 dead
    int cp949; // 0-2, 3 dead

    static Combined Unpack(int index)
    {
        return {index / 60, index / 12 % 5, index / 4 % 3, index % 4};
    }
    int Pack() const { return ascii * 60 + utf8 * 12 + euc * 4 + cp949; }
    bool AllDead() const { return ascii == 1 && utf8 == 4 && euc == 2 && cp949 == 3; }
    // Every living recogniser in its first state: 7-bit bytes change nothing.
    bool Resting() const { return (utf8 == 0 || utf8 == 4) && (euc == 0 || euc == 2) && (cp949 == 0 || cp949 == 3); }
    bool OnlyUtf8() const { return ascii == 1 && utf8 != 4 && euc == 2 && cp949 == 3; }
    bool OnlyKorean() const { return ascii == 1 && utf8 == 4 && euc != 2 && cp949 != 3; }
    int Winner() const
    {
        if (ascii == 0) return CKelFile::ASCII;
        if (utf8 != 4) return CKelFile::UTF8_NOBOM;
        if (euc != 2) return CKelFile::EUCKR;
        if (cp949 != 3) return CKelFile::CP949;
        return CKelFile::UNDETECTED;
    }
};

constexpr int kStateCount = 120;
constexpr int kStart = 0;

int Advance(int dead, int state, int next)
{
    return state == dead || next == kDead ? dead : next;
}

struct Automaton {
    std::array<BYTE, kStateCount * 256> next {};
    std::array<bool, kStateCount> resting {};
    int allDead = 0;

    Automaton()
    {
        for (int index = 0; index < kStateCount; ++index) {
            const Combined s = Combined::Unpack(index);
            resting[index] = s.Resting();
            if (s.AllDead())
                allDead = index;
            for (int b = 0; b < 256; ++b) {
                const auto byte = static_cast<BYTE>(b);
                Combined t;
                t.ascii = s.ascii == 1 || byte >= 0x80 ? 1 : 0;
                t.utf8 = Advance(4, s.utf8, s.utf8 == 4 ? 0 : NextUtf8(s.utf8, byte));
                t.euc = Advance(2, s.euc, s.euc == 2 ? 0 : NextEucKr(s.euc, byte));
                t.cp949 = Advance(3, s.cp949, s.cp949 == 3 ? 0 : NextCp949(s.cp949, byte));
                next[index * 256 + b] = static_cast<BYTE>(t.Pack());
            }
        }
    }
};

const Automaton& TheAutomaton()
{
    static const Automaton automaton;
    return automaton;
}

} // namespace

int CKelFile::_isBomMatch(int id, const BYTE* data)
{
    if (id < 0 || id >= kMarkCount || !data)
        return 0;
    return std::memcmp(data, kMarks[id].bytes, kMarks[id].length) == 0 ? 1 : 0;
}

int CKelFile::EncodingCheck(const BYTE* data, UINT length)
{
    if (!data)
        length = 0;
    for (int id = 0; id < kMarkCount; ++id)
        if (length >= kMarks[id].length && _isBomMatch(id, data))
            return id;

    const Automaton& automaton = TheAutomaton();
    int state = kStart;
    size_t at = 0;
    while (at < length) {
        if (automaton.resting[state]) {
            const Combined s = Combined::Unpack(state);
            if (s.OnlyUtf8())
                return kel::encoding::Utf8Survives(data, at, length) ? UTF8_NOBOM : UNDETECTED;
            at = s.OnlyKorean() ? kel::encoding::SkipEucKr(data, at, length)
                                : kel::encoding::SkipSevenBit(data, at, length);
            if (at == length)
                break;
        }
        state = automaton.next[static_cast<size_t>(state) * 256 + data[at++]];
        if (state == automaton.allDead)
            return UNDETECTED;
    }
    return Combined::Unpack(state).Winner();
}

CStringW CKelFile::GetEncodingName(int id)
{
    static const wchar_t* const kNames[] = {
        L"UTF8_BOM", L"UTF16_BE", L"UTF16_LE", L"UTF32_BE", L"UTF32_LE", L"SCSU",
        L"UTF7_0", L"UTF7_1", L"UTF7_2", L"UTF7_3", L"UTF7_4", L"UTF_EBCDIC",
        L"BOCU_1", L"ASCII", L"UTF8_NOBOM", L"EUCKR", L"CP949", L"CANNOTFOUND",
    };
    if (id >= 0 && id < static_cast<int>(std::size(kNames)))
        return kNames[id];
    return id == UNDETECTED ? L"UNDETECTED" : L"UNKNOWN";
}
