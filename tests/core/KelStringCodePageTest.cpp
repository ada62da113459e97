// The conversions with a Korean system code page. The code page is read once
// per process, so this program sets its locale environment before anything
// converts text.
#include "KelString.h"
#include "KoreanText.h"
#include "TestSupport.h"
#include "platform/CodePage.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

namespace {

[[maybe_unused]] const bool kLocaleSet = [] {
    setenv("LC_ALL", "ko_KR.CP949", 1);
    return true;
}();

std::wstring FromMbcs(const std::string& bytes)
{
    std::vector<wchar_t> out(static_cast<size_t>(CKelString::MBCS2UnicodeCount(bytes.c_str())));
    CKelString::MBCS2Unicode(out.data(), bytes.c_str());
    return out.data();
}

std::string ToMbcs(const std::wstring& text)
{
    std::vector<char> out(static_cast<size_t>(CKelString::Unicode2MBCSCount(text.c_str())));
    CKelString::Unicode2MBCS(out.data(), text.c_str());
    return std::string(out.data(), out.size() - 1);
}

} // namespace

TEST(KoreanCodePage, IsTakenFromTheEnvironment)
{
    using kel::platform::CodeSetOfEnvironment;
    using kel::test::ScopedEnv;
    EXPECT_EQ(kel::platform::SystemCodeSet(), "CP949");
    EXPECT_FALSE(kel::platform::SystemCodeSetIsUtf8());

    // The first of LC_ALL, LC_CTYPE and LANG that is set names the locale;
    // none, C and unknown plain names mean UTF-8.
    ScopedEnv all("LC_ALL", nullptr), ctype("LC_CTYPE", nullptr), lang("LANG", nullptr);
    EXPECT_EQ(CodeSetOfEnvironment(), "UTF-8");
    ScopedEnv korean("LANG", "ko_KR.EUC-KR");
    EXPECT_EQ(CodeSetOfEnvironment(), "EUC-KR");
    ScopedEnv plain("LC_CTYPE", "C");
    EXPECT_EQ(CodeSetOfEnvironment(), "UTF-8");
    ScopedEnv wide("LC_ALL", "ko_KR.CP949");
    EXPECT_EQ(CodeSetOfEnvironment(), "CP949");
    ScopedEnv empty("LC_ALL", "");
    EXPECT_EQ(CodeSetOfEnvironment(), "UTF-8") << "an empty LC_ALL is not set";

    // The system code set was read once, before any of these changes.
    ScopedEnv latin("LC_ALL", "de_DE.ISO-8859-1");
    EXPECT_EQ(CodeSetOfEnvironment(), "ISO-8859-1");
    EXPECT_EQ(kel::platform::SystemCodeSet(), "CP949");
}

TEST(KoreanCodePage, RoundTripsAgainstIconv)
{
    for (const std::wstring& text : {kel::test::kKoreanCp949, kel::test::kKoreanEucKr}) {
        const std::string bytes = kel::test::IconvBytes(text, "CP949");
        EXPECT_EQ(ToMbcs(text), bytes);
        EXPECT_EQ(FromMbcs(bytes), text);
    }
    // The CP949-only syllables really use lead bytes 81-A0.
    const auto lead = static_cast<unsigned char>(kel::test::IconvBytes(L"똠", "CP949")[0]);
    EXPECT_TRUE(lead >= 0x81 && lead <= 0xA0);
}

TEST(KoreanCodePage, UnencodableCharactersBecomeTheDefaultCharacter)
{
    EXPECT_EQ(ToMbcs(L"a\U0001F600b"), "a?b");
}

TEST(KoreanCodePage, UndecodableBytesBecomeReplacementCharacters)
{
    EXPECT_EQ(FromMbcs("a\xFF" "b"), L"a\uFFFD" L"b");
    EXPECT_EQ(FromMbcs("a\xB0"), L"a\uFFFD"); // a lead byte cut off by the end
}
