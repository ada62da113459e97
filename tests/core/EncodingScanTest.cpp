// EncodingCheck takes shortcuts over long runs of bytes; here it is compared
// with a plain byte-by-byte reading of the four recognisers on inputs made to
// hit the edges of those shortcuts (block boundaries, pairs cut by a block,
// sequences cut by the end).
#include "EncodingScan.h"
#include "KelFile.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

// The recognisers exactly as tabled: a plain state machine per encoding.
int ReferenceCheck(const std::string& data)
{
    bool ascii = true, utf8 = true, euc = true, cp949 = true;
    int utf8State = 0, eucState = 0, cpState = 0;
    for (unsigned char b : data) {
        if (b >= 0x80)
            ascii = false;
        if (utf8) {
            if (utf8State == 0) {
                if (b < 0x80) utf8State = 0;
                else if ((b & 0xE0) == 0xC0) utf8State = 1;
                else if ((b & 0xF0) == 0xE0) utf8State = 2;
                else if ((b & 0xF8) == 0xF0) utf8State = 3;
                else utf8 = false;
            } else if ((b & 0xC0) == 0x80) {
                --utf8State;
            } else {
                utf8 = false;
            }
        }
        if (euc) {
            if (eucState == 0 && b < 0x80) eucState = 0;
            else if (b >= 0xA1 && b <= 0xFE) eucState ^= 1;
            else euc = false;
        }
        if (cp949) {
            if (cpState == 0) {
                if (b < 0x80) cpState = 0;
                else if (b >= 0x81 && b <= 0xC5) cpState = 1;
                else if (b >= 0xC6 && b <= 0xFE) cpState = 2;
                else cp949 = false;
            } else if (cpState == 1) {
                if ((b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A) || (b >= 0x81 && b <= 0xFE)) cpState = 0;
                else cp949 = false;
            } else {
                if (b >= 0xA1 && b <= 0xFE) cpState = 0;
                else cp949 = false;
            }
        }
        if (!ascii && !utf8 && !euc && !cp949)
            return CKelFile::UNDETECTED;
    }
    if (ascii) return CKelFile::ASCII;
    if (utf8) return CKelFile::UTF8_NOBOM;
    if (euc) return CKelFile::EUCKR;
    return cp949 ? CKelFile::CP949 : CKelFile::UNDETECTED;
}

int Check(const std::string& data)
{
    return CKelFile::EncodingCheck(reinterpret_cast<const BYTE*>(data.data()), static_cast<UINT>(data.size()));
}

// Text built from pieces typical of each encoding, so that long clean runs
// occur, with rare foreign bytes.
std::string Generate(std::mt19937& random, int flavour, size_t length)
{
    static const std::string kUtf8[] = {"\xED\x95\x9C", "\xEA\xB8\x80", "\xC3\xA9", "\xF0\x9F\x98\x80", " ", "ab", "\n"};
    static const std::string kEuc[] = {"\xC7\xD1", "\xB1\xDB", "\xB0\xA1", " ", "a", "\r\n", "\xA1\xA1\xFE\xFE"};
    static const std::string kCp949[] = {"\x8C\x63", "\x97\xCD", "\xC7\xD1", "\x81\x41", " ", "z"};
    static const std::string kForeign[] = {"\x80", "\xFF", "\xA1", "\xC3", "\xED\x95", "\x81", "\xF8"};
    std::string out;
    std::uniform_int_distribution<int> pick(0, 999);
    while (out.size() < length) {
        const int p = pick(random);
        if (p < 3) {
            out += kForeign[p % std::size(kForeign)];
        } else if (flavour == 0) {
            out += kUtf8[p % std::size(kUtf8)];
        } else if (flavour == 1) {
            out += kEuc[p % std::size(kEuc)];
        } else {
            out += kCp949[p % std::size(kCp949)];
        }
    }
    out.resize(length); // may cut a sequence at the end
    return out;
}

} // namespace

TEST(EncodingScan, AgreesWithTheRecognisersByteByByte)
{
    std::mt19937 random(20261207);
    std::uniform_int_distribution<size_t> lengths(0, 700);
    for (int round = 0; round < 30000; ++round) {
        const std::string data = Generate(random, round % 3, lengths(random));
        ASSERT_EQ(Check(data), ReferenceCheck(data)) << "round " << round << ", " << data.size() << " bytes";
    }
}

TEST(EncodingScan, PairsCutByEveryBlockBoundary)
{
    // An EUC-KR pair (or a UTF-8 sequence) placed at every offset around the
    // 32- and 64-byte block edges, with a broken follower and without.
    for (const std::string& piece : {std::string("\xC7\xD1"), std::string("\xED\x95\x9C"), std::string("\xF0\x9F\x98\x80")}) {
        for (size_t offset = 0; offset < 200; ++offset) {
            for (const std::string& tail : {std::string(""), std::string("x"), std::string("\xC7"), std::string("\x80"),
                                            std::string("\x41"), std::string(40, 'y')}) {
                std::string data(offset, 'a');
                data += piece;
                data += std::string(130, 'b') + piece + tail;
                ASSERT_EQ(Check(data), ReferenceCheck(data)) << offset;
                data.insert(0, piece); // so that no 7-bit prefix separates them
                ASSERT_EQ(Check(data), ReferenceCheck(data)) << offset;
            }
        }
    }
}

TEST(EncodingScan, LongRunsOfHighBytes)
{
    for (size_t run = 1; run < 300; ++run) {
        std::string euc(run, '\xB0');
        ASSERT_EQ(Check(euc + "a"), ReferenceCheck(euc + "a")) << run;   // odd runs die at the 'a'
        ASSERT_EQ(Check("a" + euc), ReferenceCheck("a" + euc)) << run;   // the end keeps a cut pair alive
        std::string mixed = euc + "\x81\x41" + euc;
        ASSERT_EQ(Check(mixed), ReferenceCheck(mixed)) << run;
    }
}

// Every vector level of the block scanners against the byte-by-byte level.
namespace {

using kel::encoding::Simd;

std::vector<Simd> VectorLevels()
{
    std::vector<Simd> levels;
    if (kel::encoding::BestSimd() >= Simd::Avx2)
        levels.push_back(Simd::Avx2);
    if (kel::encoding::BestSimd() >= Simd::Avx512)
        levels.push_back(Simd::Avx512);
    return levels;
}

const char* Name(Simd simd)
{
    return simd == Simd::Avx512 ? "AVX-512" : simd == Simd::Avx2 ? "AVX2" : "scalar";
}

const BYTE* Bytes(const std::string& data)
{
    return reinterpret_cast<const BYTE*>(data.data());
}

// Each scanner from `at` to the end, at `simd`, against the byte level.
void ExpectSameAnswers(const std::string& data, size_t at, Simd simd)
{
    const BYTE* bytes = Bytes(data);
    const size_t length = data.size();
    ASSERT_EQ(kel::encoding::Utf8Survives(bytes, at, length, simd),
              kel::encoding::Utf8Survives(bytes, at, length, Simd::Scalar))
        << Name(simd) << " UTF-8, " << length << " bytes from " << at;
    ASSERT_EQ(kel::encoding::SkipEucKr(bytes, at, length, simd), kel::encoding::SkipEucKr(bytes, at, length, Simd::Scalar))
        << Name(simd) << " EUC-KR, " << length << " bytes from " << at;
    ASSERT_EQ(kel::encoding::SkipSevenBit(bytes, at, length, simd),
              kel::encoding::SkipSevenBit(bytes, at, length, Simd::Scalar))
        << Name(simd) << " 7-bit, " << length << " bytes from " << at;
}

// Mostly well-formed text of one flavour with the odd stray byte, so that
// the scanners run far before they stop.
std::string Mostly(std::mt19937& random, int flavour, size_t length)
{
    std::string text = Generate(random, flavour, length);
    std::uniform_int_distribution<int> coin(0, 3);
    if (!text.empty() && coin(random) == 0) {
        std::uniform_int_distribution<size_t> where(0, text.size() - 1);
        std::uniform_int_distribution<int> byte(0, 255);
        text[where(random)] = static_cast<char>(byte(random));
    }
    return text;
}

} // namespace

TEST(EncodingScanLevels, EveryLengthAtEveryOffset)
{
    const std::vector<Simd> levels = VectorLevels();
    if (levels.empty())
        GTEST_SKIP() << "this processor has no vector level";
    std::mt19937 random(8122026);
    for (size_t length = 0; length <= 300; ++length) {
        for (int flavour = 0; flavour < 3; ++flavour) {
            const std::string data = Mostly(random, flavour, length);
            for (size_t at = 0; at <= length; ++at)
                for (Simd simd : levels)
                    ExpectSameAnswers(data, at, simd);
        }
    }
}

TEST(EncodingScanLevels, RandomTextOfAllKinds)
{
    const std::vector<Simd> levels = VectorLevels();
    if (levels.empty())
        GTEST_SKIP() << "this processor has no vector level";
    std::mt19937 random(20261208);
    std::uniform_int_distribution<size_t> lengths(0, 5000);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 3000; ++round) {
        std::string data;
        if (round % 4 == 3) { // raw random bytes, high ones included
            data.resize(lengths(random) % 400);
            for (char& c : data)
                c = static_cast<char>(byte(random));
        } else {
            data = Mostly(random, round % 3, lengths(random));
        }
        std::uniform_int_distribution<size_t> start(0, data.size());
        const size_t at = start(random);
        for (Simd simd : levels)
            ExpectSameAnswers(data, at, simd);
    }
}

TEST(EncodingScanLevels, SequencesCutAtBlockEdges)
{
    // A sequence placed across every 32- and 64-byte edge of a long clean run,
    // whole, cut short, or followed by one byte too many, and a stray byte
    // (a continuation byte, an invalid lead, an odd EUC-KR byte) at each place.
    const std::vector<Simd> levels = VectorLevels();
    if (levels.empty())
        GTEST_SKIP() << "this processor has no vector level";
    const std::string pieces[] = {"\xED\x95\x9C", "\xC3\xA9", "\xF0\x9F\x98\x80", "\xC7\xD1", "\xED\x95", "\xC3",
                                  "\xF0\x9F\x98\x80\x80", "\xF8\x80\x80\x80", "\x80", "\xB0", "\xFF"};
    for (const std::string& filler : {std::string("a"), std::string("\xED\x95\x9C"), std::string("\xB0\xA1")}) {
        std::string clean;
        while (clean.size() < 260)
            clean += filler;
        for (const std::string& piece : pieces) {
            for (size_t place = 0; place + piece.size() <= clean.size(); ++place) {
                std::string data = clean;
                data.replace(place, piece.size(), piece);
                for (size_t at : {size_t {0}, size_t {1}, size_t {3}})
                    for (Simd simd : levels)
                        ExpectSameAnswers(data, at, simd);
            }
        }
    }
}
