#include "Unicode.h"

#include <cstring>

namespace kel::platform {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Decodes one sequence at `p` (p < end, *p >= 0x80) into `value` and
// advances p past it. False for an ill-formed sequence: p then stands behind
// its maximal ill-formed subpart.
bool DecodeWellFormed(const unsigned char*& p, const unsigned char* end, wchar_t& value)
{
    const unsigned char lead = *p++;
    int need;
    unsigned char low = 0x80, high = 0xBF; // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F; // nothing beyond U+10FFFF
    } else {
        return false;
    }
    for (int i = 0; i < need; ++i) {
        if (p == end)
            return false;
        const unsigned char b = *p;
        if (i == 0 ? (b < low || b > high) : !IsContinuation(b))
            return false;
        value = (value << 6) | (b & 0x3F);
        ++p;
    }
    return true;
}

// The character of the sequence at `p`, or U+FFFD for an ill-formed one.
wchar_t DecodeSequence(const unsigned char*& p, const unsigned char* end)
{
    wchar_t value = 0;
    return DecodeWellFormed(p, end, value) ? value : kReplacement;
}

// The common case of Korean (and most other non-Latin) text, decoded in
// one step: a well-formed three-byte sequence. Anything else is left to
// DecodeWellFormed.
bool DecodeThreeBytes(const unsigned char*& p, const unsigned char* end, wchar_t& value)
{
    if (end - p < 3 || (p[0] & 0xF0) != 0xE0 || !IsContinuation(p[1]) || !IsContinuation(p[2]))
        return false;
    value = static_cast<wchar_t>(((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
    // Over-long forms and surrogates are ill-formed.
    if (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))
        return false;
    p += 3;
    return true;
}

bool IsAsciiWord(const unsigned char* p)
{
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return (word & 0x8080808080808080ull) == 0;
}

} // namespace

void AppendUtf8AsWide(std::string_view utf8, std::wstring& out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    size_t at = out.size();
    out.resize(at + utf8.size()); // never more characters than bytes
    wchar_t* dst = out.data() + at;
    while (p < end) {
        if (end - p >= 8 && IsAsciiWord(p)) {
            for (int i = 0; i < 8; ++i)
                dst[i] = p[i];
            dst += 8;
            p += 8;
        } else if (*p < 0x80) {
            *dst++ = *p++;
        } else if (!DecodeThreeBytes(p, end, *dst)) {
            *dst = DecodeSequence(p, end);
            ++dst;
        } else {
            ++dst;
        }
    }
    out.resize(static_cast<size_t>(dst - out.data()));
}

std::wstring Utf8ToWide(std::string_view utf8)
{
    std::wstring out;
    AppendUtf8AsWide(utf8, out);
    return out;
}

size_t WideLengthOfUtf8(std::string_view utf8)
{
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    size_t count = 0;
    while (p < end) {
        if (end - p >= 8 && IsAsciiWord(p)) { // eight characters at once
            p += 8;
            count += 8;
            continue;
        }
        if (*p < 0x80)
            ++p;
        else
            DecodeSequence(p, end);
        ++count;
    }
    return count;
}

namespace {

char32_t Sanitised(wchar_t ch)
{
    const auto value = static_cast<char32_t>(ch);
    if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
        return kReplacement;
    return value;
}

size_t Utf8Width(char32_t value)
{
    return value < 0x80 ? 1 : value < 0x800 ? 2 : value < 0x10000 ? 3 : 4;
}

} // namespace

void AppendWideAsUtf8(std::wstring_view text, std::string& out)
{
    size_t at = out.size();
    out.resize(at + text.size() * 4);
    char* dst = out.data() + at;
    for (wchar_t ch : text) {
        const char32_t v = Sanitised(ch);
        if (v < 0x80) {
            *dst++ = static_cast<char>(v);
        } else if (v < 0x800) {
            *dst++ = static_cast<char>(0xC0 | (v >> 6));
            *dst++ = static_cast<char>(0x80 | (v & 0x3F));
        } else if (v < 0x10000) {
            *dst++ = static_cast<char>(0xE0 | (v >> 12));
            *dst++ = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
            *dst++ = static_cast<char>(0x80 | (v & 0x3F));
        } else {
            *dst++ = static_cast<char>(0xF0 | (v >> 18));
            *dst++ = static_cast<char>(0x80 | ((v >> 12) & 0x3F));
            *dst++ = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
            *dst++ = static_cast<char>(0x80 | (v & 0x3F));
        }
    }
    out.resize(static_cast<size_t>(dst - out.data()));
}

std::string WideToUtf8(std::wstring_view text)
{
    std::string out;
    AppendWideAsUtf8(text, out);
    return out;
}

void AppendUtf8AsWideEscaped(std::string_view bytes, std::wstring& out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    out.reserve(out.size() + bytes.size());
    while (p < end) {
        if (*p < 0x80) {
            out.push_back(*p++);
            continue;
        }
        const unsigned char* start = p;
        wchar_t value = 0;
        if (DecodeWellFormed(p, end, value)) {
            out.push_back(value);
        } else {
            out.push_back(EscapedByte(*start));
            p = start + 1;
        }
    }
}

void AppendWideAsUtf8Escaped(std::wstring_view text, std::string& out)
{
    size_t run = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!IsEscapedByte(text[i]))
            continue;
        AppendWideAsUtf8(text.substr(run, i - run), out);
        out.push_back(static_cast<char>(text[i] - kEscapeBase));
        run = i + 1;
    }
    AppendWideAsUtf8(text.substr(run), out);
}

size_t Utf8LengthOfWide(std::wstring_view text)
{
    size_t bytes = 0;
    for (wchar_t ch : text)
        bytes += Utf8Width(Sanitised(ch));
    return bytes;
}

std::wstring Utf16LEToWide(const BYTE* bytes, size_t units)
{
    std::wstring out;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        char32_t unit = bytes[2 * i] | (bytes[2 * i + 1] << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            char32_t next = bytes[2 * i + 2] | (bytes[2 * i + 3] << 8);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            }
        }
        out.push_back(static_cast<wchar_t>(unit));
    }
    return out;
}

bool Utf8ToWideStrict(std::string_view utf8, std::wstring& out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    out.clear();
    out.reserve(utf8.size());
    while (p < end) {
        wchar_t value = *p;
        if (*p < 0x80)
            ++p;
        else if (!DecodeWellFormed(p, end, value))
            return false;
        out.push_back(value);
    }
    return true;
}

bool Utf16LEToWideStrict(const BYTE* bytes, size_t length, std::wstring& out)
{
    out.clear();
    if (length % 2 != 0)
        return false;
    const size_t units = length / 2;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        char32_t unit = bytes[2 * i] | (bytes[2 * i + 1] << 8);
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            return false; // a low half without its high half
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            const char32_t next = i + 1 < units ? (bytes[2 * i + 2] | (bytes[2 * i + 3] << 8)) : 0;
            if (next < 0xDC00 || next > 0xDFFF)
                return false;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
            ++i;
        }
        out.push_back(static_cast<wchar_t>(unit));
    }
    return true;
}

void AppendWideAsUtf16LE(std::wstring_view text, std::string& out)
{
    out.reserve(out.size() + text.size() * 2);
    auto put = [&out](char32_t unit) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>((unit >> 8) & 0xFF));
    };
    for (wchar_t ch : text) {
        char32_t v = static_cast<char32_t>(ch);
        if (v > 0x10FFFF) {
            put(kReplacement);
        } else if (v >= 0x10000) {
            v -= 0x10000;
            put(0xD800 + (v >> 10));
            put(0xDC00 + (v & 0x3FF));
        } else {
            put(v);
        }
    }
}

namespace {

// Walks wide text as the UTF-16 code units it would be written as.
class Utf16Units {
public:
    explicit Utf16Units(std::wstring_view text) : m_text(text) {}

    // Next unit, or -1 at the end.
    long Next()
    {
        if (m_pendingTrail) {
            long trail = m_pendingTrail;
            m_pendingTrail = 0;
            return trail;
        }
        if (m_at == m_text.size())
            return -1;
        auto v = static_cast<char32_t>(m_text[m_at++]);
        if (v >= 0x10000 && v <= 0x10FFFF) {
            v -= 0x10000;
            m_pendingTrail = static_cast<long>(0xDC00 + (v & 0x3FF));
            return static_cast<long>(0xD800 + (v >> 10));
        }
        return v > 0x10FFFF ? static_cast<long>(kReplacement) : static_cast<long>(v);
    }

private:
    std::wstring_view m_text;
    size_t m_at = 0;
    long m_pendingTrail = 0;
};

} // namespace

int CompareUtf16(std::wstring_view a, std::wstring_view b)
{
    Utf16Units left(a), right(b);
    for (;;) {
        const long x = left.Next();
        const long y = right.Next();
        if (x != y)
            return x < y ? -1 : 1; // an ended string (-1) is the shorter prefix
        if (x < 0)
            return 0;
    }
}

} // namespace kel::platform
