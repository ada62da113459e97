#include "KelException.h"
#include "KelString.h"
#include "KoreanText.h"
#include "RaisedMessage.h"
#include "platform/Bstr.h"

#include <cstdlib>
#include <cwchar>
#include <gtest/gtest.h>
#include <vector>

using kel::test::IconvBytes;
using kel::test::RaisedMessage;
using kel::test::kKoreanCp949;
using kel::test::kKoreanEucKr;

namespace {

// The code page is read once per process: fix it before anything converts.
const bool kLocaleSet = [] {
    setenv("LC_ALL", "C.UTF-8", 1);
    return true;
}();

// Runs `operation` and returns the message of the CKelException it raises.
std::wstring FromUtf8(const std::string& bytes)
{
    std::vector<wchar_t> out(static_cast<size_t>(CKelString::UTF82UnicodeCount(bytes.c_str())));
    CKelString::UTF82Unicode(out.data(), bytes.c_str());
    EXPECT_EQ(out.back(), L'\0');
    return out.data();
}

std::string ToUtf8(const std::wstring& text, int* written = nullptr)
{
    std::vector<char> out(static_cast<size_t>(CKelString::Unicode2UTF8Count(text.c_str())));
    const int n = CKelString::Unicode2UTF8(out.data(), text.c_str());
    EXPECT_EQ(static_cast<size_t>(n), out.size());
    if (written)
        *written = n;
    return std::string(out.data(), out.size() - 1);
}

} // namespace

TEST(Conversions, NullInputRaisesTheNamedMessage)
{
    char narrow[4];
    wchar_t wide[4];
    EXPECT_EQ(RaisedMessage([] { CKelString::Unicode2MBCSCount(nullptr); }), L"KelException : No Unicode Value");
    EXPECT_EQ(RaisedMessage([&] { CKelString::Unicode2MBCS(narrow, nullptr); }), L"KelException : No Unicode Value");
    EXPECT_EQ(RaisedMessage([] { CKelString::UTF82UnicodeCount(nullptr); }), L"KelException : No UTF-8 Value");
    EXPECT_EQ(RaisedMessage([&] { CKelString::UTF82Unicode(wide, nullptr); }), L"KelException : No UTF-8 Value");
    EXPECT_EQ(RaisedMessage([] { CKelString::MBCS2UnicodeCount(nullptr); }), L"KelException : No MBCS Value");
    EXPECT_EQ(RaisedMessage([&] { CKelString::MBCS2Unicode(wide, nullptr); }), L"KelException : No MBCS Value");
    EXPECT_EQ(RaisedMessage([&] { CKelString::Unicode2UTF8(narrow, nullptr); }), L"KelException : No Unicode Value");
}

TEST(Conversions, EmptyTextCountsItsTerminatorOnly)
{
    EXPECT_EQ(CKelString::Unicode2MBCSCount(L""), 1);
    EXPECT_EQ(CKelString::UTF82UnicodeCount(""), 1);
    EXPECT_EQ(CKelString::MBCS2UnicodeCount(""), 1);
    EXPECT_EQ(CKelString::Unicode2UTF8Count(L""), 1);
    EXPECT_EQ(FromUtf8(""), L"");
    int written = 0;
    EXPECT_EQ(ToUtf8(L"", &written), "");
    EXPECT_EQ(written, 1);
}

TEST(Conversions, Utf8RoundTripsAgainstIconv)
{
    for (const std::wstring& text : {kKoreanCp949, kKoreanEucKr, std::wstring(L"emoji \U0001F600 and \u00e9")}) {
        const std::string utf8 = IconvBytes(text, "UTF-8");
        EXPECT_EQ(ToUtf8(text), utf8);
        EXPECT_EQ(FromUtf8(utf8), text);
        EXPECT_EQ(CKelString::UTF82UnicodeCount(utf8.c_str()), static_cast<int>(text.size() + 1));
    }
}

TEST(Conversions, Utf8MarkIsKept)
{
    EXPECT_EQ(FromUtf8("\xEF\xBB\xBF" "abc"), L"\uFEFFabc");
}

TEST(Conversions, IllFormedUtf8BecomesReplacementCharacters)
{
    EXPECT_EQ(FromUtf8("a\x80z"), L"a\uFFFDz");
    EXPECT_EQ(FromUtf8("\xC3"), L"\uFFFD");                 // cut short at the end
    EXPECT_EQ(FromUtf8("\xED\x95"), L"\uFFFD");             // truncated Hangul
    EXPECT_EQ(FromUtf8("\xC0\xAF"), L"\uFFFD\uFFFD");       // over-long form
    EXPECT_EQ(FromUtf8("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD"); // encoded surrogate
    EXPECT_EQ(FromUtf8("\xF4\x90\x80\x80"), L"\uFFFD\uFFFD\uFFFD\uFFFD"); // beyond U+10FFFF
    EXPECT_EQ(FromUtf8("\xE1\x80\x41"), L"\uFFFD" L"A");    // maximal subpart, then the next character
    EXPECT_EQ(CKelString::UTF82UnicodeCount("a\x80z"), 4);
}

TEST(Conversions, WideValuesWithoutUtf8FormBecomeReplacementCharacters)
{
    const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
    EXPECT_EQ(ToUtf8(lone), "a\xEF\xBF\xBD" "b");
}

TEST(Conversions, TextsLongerThan32767Utf8BytesConvertWhole)
{
    std::wstring text;
    while (text.size() < 40000)
        text += kKoreanEucKr; // three bytes per Hangul syllable: well over 32767 bytes
    const std::string utf8 = ToUtf8(text);
    EXPECT_GT(utf8.size(), 32767u);
    EXPECT_EQ(utf8, IconvBytes(text, "UTF-8"));
    EXPECT_EQ(FromUtf8(utf8), text);
}

TEST(Conversions, Utf8SystemCodePage)
{
    ASSERT_TRUE(kLocaleSet);
    const std::string utf8 = IconvBytes(kKoreanEucKr, "UTF-8");
    std::vector<char> narrow(static_cast<size_t>(CKelString::Unicode2MBCSCount(kKoreanEucKr.c_str())));
    CKelString::Unicode2MBCS(narrow.data(), kKoreanEucKr.c_str());
    EXPECT_EQ(std::string(narrow.data()), utf8);
    std::vector<wchar_t> wide(static_cast<size_t>(CKelString::MBCS2UnicodeCount(utf8.c_str())));
    CKelString::MBCS2Unicode(wide.data(), utf8.c_str());
    EXPECT_EQ(std::wstring(wide.data()), kKoreanEucKr);
}

TEST(ByteText, TwoLowerCaseDigitsAndABlankPerByte)
{
    const BYTE bytes[] = {0xAB, 0x01};
    EXPECT_EQ(CKelString::BYTE2CString(bytes, 2).str(), L"ab 01 ");
    EXPECT_TRUE(CKelString::BYTE2CString(bytes, 0).IsEmpty());
    EXPECT_TRUE(CKelString::BYTE2CString(bytes, -3).IsEmpty());
    EXPECT_TRUE(CKelString::BYTE2CString(nullptr, 2).IsEmpty());
}

TEST(RandomName, LettersOfTheAskedLength)
{
    EXPECT_TRUE(CKelString::GetRandomName(0).IsEmpty());
    EXPECT_TRUE(CKelString::GetRandomName(-1).IsEmpty());
    const CStringW name = CKelString::GetRandomName(64);
    ASSERT_EQ(name.GetLength(), 64);
    for (int i = 0; i < name.GetLength(); ++i)
        EXPECT_TRUE(name.GetAt(i) >= L'a' && name.GetAt(i) <= L'z');
}

TEST(AutomationString, RoundTripKeepsTextAndLength)
{
    wchar_t* bstr = CKelString::Unicode2BSTR(L"한글 text");
    ASSERT_NE(bstr, nullptr);
    EXPECT_EQ(SysStringLen(bstr), 7u);
    EXPECT_EQ(CKelString::BSTR2Unicode(bstr).str(), L"한글 text");
    SysFreeString(bstr);
    EXPECT_TRUE(CKelString::BSTR2Unicode(nullptr).IsEmpty());
}

namespace {

std::vector<std::wstring> Sorted(std::initializer_list<const wchar_t*> items)
{
    CStringList list;
    for (const wchar_t* item : items)
        list.AddTail(item);
    CKelString::BubbleSort(&list);
    std::vector<std::wstring> out;
    for (const CStringW& item : list)
        out.push_back(item.str());
    return out;
}

} // namespace

TEST(BubbleSort, OrdinalUtf16Order)
{
    using V = std::vector<std::wstring>;
    EXPECT_EQ(Sorted({L"b", L"a", L"B", L"A"}), (V {L"A", L"B", L"a", L"b"}));
    EXPECT_EQ(Sorted({L"abc", L"ab", L"abd", L""}), (V {L"", L"ab", L"abc", L"abd"}));
    EXPECT_EQ(Sorted({L"only"}), (V {L"only"}));
    EXPECT_EQ(Sorted({}), V {});
    // A character beyond the BMP is a surrogate pair in UTF-16 and sorts
    // before U+E000..U+FFFF, though its code point is larger.
    EXPECT_EQ(Sorted({L"\uFF21", L"\U0001F600", L"\uE000", L"\u3042"}),
              (V {L"\u3042", L"\U0001F600", L"\uE000", L"\uFF21"}));
    EXPECT_EQ(Sorted({L"d", L"c", L"b", L"a", L"e"}), (V {L"a", L"b", L"c", L"d", L"e"}));
    CKelString::BubbleSort(nullptr); // no list: nothing to do, and no crash
}

// The count runs eight ASCII bytes at a time: around every alignment of
// multi-byte, ill-formed and cut sequences it still counts what the
// conversion writes.
TEST(Conversions, Utf8CountAgreesWithTheConversionAtEveryAlignment)
{
    const std::string pieces[] = {"\xED\x95\x9C", "\xC3\xA9", "\xF0\x9F\x98\x80", "\x80", "\xED\x95", "\xFF", "\xC3"};
    for (const std::string& piece : pieces) {
        for (size_t before = 0; before < 20; ++before) {
            for (size_t after = 0; after < 20; ++after) {
                const std::string bytes = std::string(before, 'a') + piece + std::string(after, 'b') + piece;
                const int count = CKelString::UTF82UnicodeCount(bytes.c_str());
                std::vector<wchar_t> converted(bytes.size() + 1, L'\x7F'); // never more characters than bytes
                CKelString::UTF82Unicode(converted.data(), bytes.c_str());
                ASSERT_EQ(static_cast<size_t>(count), std::wcslen(converted.data()) + 1) << before << " " << after;
                ASSERT_GE(count, static_cast<int>(before + after + 1));
            }
        }
    }
}
