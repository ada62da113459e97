// EncodingCheck takes shortcuts over long runs of bytes; here it is compared
// with a plain byte-by-byte reading of the four recognisers on inputs made to
// hit the edges of those shortcuts (block boundaries, pairs cut by a block,
// sequences cut by the end).
#include "KelFile.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

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
