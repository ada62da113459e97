#include "KelBase64.h"

#include <array>
#include <cstdint>

namespace {

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
            while (i + 4 <= length) {
                const int a = Classify(text[i]), b = Classify(text[i + 1]);
                const int c = Classify(text[i + 2]), d = Classify(text[i + 3]);
                if ((a | b | c | d) < 0)
                    break;
                if (data) {
                    const std::uint32_t value = (a << 18) | (b << 12) | (c << 6) | d;
                    data[written] = static_cast<BYTE>(value >> 16);
                    data[written + 1] = static_cast<BYTE>(value >> 8);
                    data[written + 2] = static_cast<BYTE>(value);
                }
                written += 3;
                i += 4;
            }
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

void CKelBase64::Encode(wchar_t* text, const BYTE* data, const size_t& count)
{
    size_t i = 0;
    wchar_t* out = text;
    for (; i + 3 <= count; i += 3) {
        const std::uint32_t value = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        out[0] = static_cast<wchar_t>(kAlphabet[value >> 18]);
        out[1] = static_cast<wchar_t>(kAlphabet[(value >> 12) & 0x3F]);
        out[2] = static_cast<wchar_t>(kAlphabet[(value >> 6) & 0x3F]);
        out[3] = static_cast<wchar_t>(kAlphabet[value & 0x3F]);
        out += 4;
    }
    const size_t rest = count - i;
    if (rest > 0) {
        const std::uint32_t value = (data[i] << 16) | (rest == 2 ? data[i + 1] << 8 : 0);
        out[0] = static_cast<wchar_t>(kAlphabet[value >> 18]);
        out[1] = static_cast<wchar_t>(kAlphabet[(value >> 12) & 0x3F]);
        out[2] = rest == 2 ? static_cast<wchar_t>(kAlphabet[(value >> 6) & 0x3F]) : L'=';
        out[3] = L'=';
        out += 4;
    }
    *out = 0;
}

size_t CKelBase64::DecodeCount(const wchar_t* text, const size_t& length)
{
    return DecodeText<wchar_t>(nullptr, text, length);
}

size_t CKelBase64::DecodeCount(const char* text, const size_t& length)
{
    return DecodeText<char>(nullptr, text, length);
}

size_t CKelBase64::Decode(BYTE* data, const wchar_t* text, const size_t& length)
{
    return DecodeText<wchar_t>(data, text, length);
}

size_t CKelBase64::Decode(BYTE* data, const char* text, const size_t& length)
{
    return DecodeText<char>(data, text, length);
}
