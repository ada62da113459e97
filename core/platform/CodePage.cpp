#include "CodePage.h"

#include "Unicode.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

namespace kel::platform {
namespace {

std::string LocaleNameFromEnvironment()
{
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return value;
    }
    return {};
}

bool IsUtf8Name(std::string name)
{
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::erase(name, '-');
    return name == "UTF8";
}

} // namespace

std::string CodeSetOfEnvironment()
{
    const std::string name = LocaleNameFromEnvironment();
    std::string codeSet;
    if (!name.empty()) {
        if (locale_t locale = newlocale(LC_CTYPE_MASK, name.c_str(), nullptr)) {
            codeSet = nl_langinfo_l(CODESET, locale);
            freelocale(locale);
        } else if (size_t dot = name.find('.'); dot != std::string::npos) {
            codeSet = name.substr(dot + 1, name.find('@', dot) - dot - 1);
        }
    }
    if (codeSet.empty() || codeSet == "ANSI_X3.4-1968" || codeSet == "ASCII" || IsUtf8Name(codeSet))
        return "UTF-8";
    return codeSet;
}

namespace {

const char* IconvName(CodePage codePage)
{
    switch (codePage) {
    case CodePage::Cp949: return "CP949";
    case CodePage::Utf8: return "UTF-8";
    case CodePage::System: break;
    }
    return SystemCodeSet().c_str();
}

bool IsUtf8(CodePage codePage)
{
    return codePage == CodePage::Utf8 || (codePage == CodePage::System && SystemCodeSetIsUtf8());
}

class Iconv {
public:
    Iconv(const char* to, const char* from) : m_handle(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (valid())
            iconv_close(m_handle);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool valid() const { return m_handle != reinterpret_cast<iconv_t>(-1); }
    size_t convert(char** in, size_t* inLeft, char** out, size_t* outLeft)
    {
        return iconv(m_handle, in, inLeft, out, outLeft);
    }

private:
    iconv_t m_handle;
};

// Whether the bytes from `from` to `to` hold something that `codeSet` cannot
// decode. A converter stops in front of such bytes, except glibc's CP949,
// which consumes the unassigned pair A2 E8 before it reports it.
bool HoldsUndecodable(const char* codeSet, const char* from, const char* to)
{
    Iconv check("WCHAR_T", codeSet);
    std::wstring scratch(static_cast<size_t>(to - from), L'\0');
    char* in = const_cast<char*>(from);
    size_t inLeft = static_cast<size_t>(to - from);
    char* out = reinterpret_cast<char*>(scratch.data());
    size_t outLeft = scratch.size() * sizeof(wchar_t);
    return !check.valid() || check.convert(&in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1);
}

} // namespace

const std::string& SystemCodeSet()
{
    static const std::string codeSet = CodeSetOfEnvironment();
    return codeSet;
}

bool SystemCodeSetIsUtf8()
{
    static const bool utf8 = IsUtf8Name(SystemCodeSet());
    return utf8;
}

std::wstring MultiByteToWide(std::string_view bytes, CodePage codePage, Undecodable undecodable)
{
    const bool escape = undecodable == Undecodable::Escape;
    if (IsUtf8(codePage) && escape) {
        std::wstring out;
        AppendUtf8AsWideEscaped(bytes, out);
        return out;
    }
    if (IsUtf8(codePage))
        return Utf8ToWide(bytes);
    Iconv converter("WCHAR_T", IconvName(codePage));
    if (!converter.valid()) // an unknown code set: keep what is plain ASCII
        return Utf8ToWide(bytes);

    std::wstring out(bytes.size(), L'\0'); // never more characters than bytes
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* dst = reinterpret_cast<char*>(out.data());
    size_t dstLeft = out.size() * sizeof(wchar_t);
    while (inLeft > 0) {
        const char* start = in;
        if (converter.convert(&in, &inLeft, &dst, &dstLeft) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG || dstLeft < sizeof(wchar_t))
            break;
        // An undecodable byte or a sequence cut short at the end.
        const int error = errno;
        // The undecodable byte is skipped, unless the converter took the
        // undecodable bytes itself: then it already stands behind them, and
        // which bytes they were is not known to escape them.
        const bool taken = in != start && HoldsUndecodable(IconvName(codePage), start, in);
        const wchar_t replacement = escape && !taken ? EscapedByte(static_cast<unsigned char>(*in)) : 0xFFFD;
        std::memcpy(dst, &replacement, sizeof replacement);
        dst += sizeof replacement;
        dstLeft -= sizeof replacement;
        if (error == EINVAL && !escape)
            break;
        if (taken)
            continue;
        if (inLeft == 0)
            break;
        ++in;
        --inLeft;
    }
    out.resize(out.size() - dstLeft / sizeof(wchar_t));
    return out;
}

std::string WideToMultiByte(std::wstring_view text, CodePage codePage, Undecodable undecodable)
{
    const bool escape = undecodable == Undecodable::Escape;
    if (IsUtf8(codePage) && escape) {
        std::string out;
        AppendWideAsUtf8Escaped(text, out);
        return out;
    }
    if (IsUtf8(codePage))
        return WideToUtf8(text);
    Iconv converter(IconvName(codePage), "WCHAR_T");
    if (!converter.valid())
        return WideToUtf8(text);

    std::string out(text.size() * 4 + 4, '\0');
    char* in = reinterpret_cast<char*>(const_cast<wchar_t*>(text.data()));
    size_t inLeft = text.size() * sizeof(wchar_t);
    char* dst = out.data();
    size_t dstLeft = out.size();
    while (inLeft > 0) {
        if (converter.convert(&in, &inLeft, &dst, &dstLeft) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG || dstLeft == 0)
            break;
        const wchar_t ch = *reinterpret_cast<const wchar_t*>(in);
        *dst++ = escape && IsEscapedByte(ch) ? static_cast<char>(ch - kEscapeBase) : '?';
        --dstLeft;
        in += sizeof(wchar_t);
        inLeft -= inLeft < sizeof(wchar_t) ? inLeft : sizeof(wchar_t);
    }
    out.resize(out.size() - dstLeft);
    return out;
}

namespace {

// One whole iconv conversion that stops at anything it cannot convert
// exactly: an undecodable or incomplete sequence, or a character without a
// code (which glibc counts as an irreversible conversion when it does not
// refuse it).
bool ConvertExactly(const char* to, const char* from, std::string_view in, size_t outSize, std::string& out)
{
    Iconv converter(to, from);
    if (!converter.valid())
        return false;
    out.assign(outSize, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    if (converter.convert(&src, &srcLeft, &dst, &dstLeft) != 0 || srcLeft != 0)
        return false;
    // The converter may still hold a shift state to write out.
    if (converter.convert(nullptr, nullptr, &dst, &dstLeft) != 0)
        return false;
    out.resize(out.size() - dstLeft);
    return true;
}

} // namespace

bool MultiByteToWideStrict(std::string_view bytes, CodePage codePage, std::wstring& out)
{
    out.clear();
    if (IsUtf8(codePage))
        return Utf8ToWideStrict(bytes, out);
    std::string wide;
    // Never more characters than bytes.
    if (!ConvertExactly("WCHAR_T", IconvName(codePage), bytes, (bytes.size() + 1) * sizeof(wchar_t), wide))
        return false;
    out.assign(reinterpret_cast<const wchar_t*>(wide.data()), wide.size() / sizeof(wchar_t));
    return true;
}

bool WideToMultiByteStrict(std::wstring_view text, CodePage codePage, std::string& out)
{
    out.clear();
    for (wchar_t ch : text) {
        const auto value = static_cast<char32_t>(ch);
        if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
            return false; // no code page has a code for these
    }
    if (IsUtf8(codePage)) {
        AppendWideAsUtf8(text, out);
        return true;
    }
    const std::string_view in(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return ConvertExactly(IconvName(codePage), "WCHAR_T", in, text.size() * 4 + 16, out);
}

} // namespace kel::platform
