#pragma once

// Korean sample text and its byte forms, made by iconv itself so that the
// conversions under test are checked against an independent converter.
#include <cerrno>
#include <iconv.h>
#include <stdexcept>
#include <string>

namespace kel::test {

// "똠방각하" and "쀍" exist only in CP949 (lead bytes 81-A0); the rest is
// plain EUC-KR.
inline const std::wstring kKoreanCp949 = L"똠방각하 쀍 로그 파일입니다";
inline const std::wstring kKoreanEucKr = L"한글 로그 파일입니다. 가나다라 ABC 123";

inline std::string IconvBytes(const std::wstring& text, const char* codeSet)
{
    iconv_t converter = iconv_open(codeSet, "WCHAR_T");
    if (converter == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("iconv_open failed");
    std::string out(text.size() * 4 + 4, '\0');
    char* in = reinterpret_cast<char*>(const_cast<wchar_t*>(text.data()));
    size_t inLeft = text.size() * sizeof(wchar_t);
    char* dst = out.data();
    size_t dstLeft = out.size();
    const size_t result = iconv(converter, &in, &inLeft, &dst, &dstLeft);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1))
        throw std::runtime_error("iconv failed");
    out.resize(out.size() - dstLeft);
    return out;
}

} // namespace kel::test
