#include "platform/StringList.h"
#include "platform/StringW.h"

#include <gtest/gtest.h>
#include <vector>

TEST(StringW, FormatHandlesWideArgumentsAndLongResults)
{
    CStringW text;
    text.Format(L"%ls=%d (%5.1f) %lld", L"값", 42, 2.25, 1234567890123ll);
    EXPECT_EQ(text.str(), L"값=42 (  2.2) 1234567890123");
    const std::wstring big(100000, L'k');
    text.Format(L"[%ls]", big.c_str());
    EXPECT_EQ(text.GetLength(), 100002);
    text.AppendFormat(L"%c", L'!');
    EXPECT_EQ(text.Right(2).str(), L"]!");
    text.Format(nullptr);
    EXPECT_TRUE(text.IsEmpty());
}

TEST(StringW, SlicesClampToTheText)
{
    const CStringW text(L"abcdef");
    EXPECT_EQ(text.Left(2).str(), L"ab");
    EXPECT_EQ(text.Left(99).str(), L"abcdef");
    EXPECT_EQ(text.Left(-1).str(), L"");
    EXPECT_EQ(text.Mid(4).str(), L"ef");
    EXPECT_EQ(text.Mid(2, 2).str(), L"cd");
    EXPECT_EQ(text.Mid(10).str(), L"");
    EXPECT_EQ(text.Mid(-3, 2).str(), L"ab");
    EXPECT_EQ(text.Right(3).str(), L"def");
    EXPECT_EQ(text.Right(10).str(), L"abcdef");
}

TEST(StringW, FindReplaceRemove)
{
    CStringW text(L"a-b-c--d");
    EXPECT_EQ(text.Find(L'-'), 1);
    EXPECT_EQ(text.Find(L'-', 2), 3);
    EXPECT_EQ(text.Find(L"--"), 5);
    EXPECT_EQ(text.Find(L"x"), -1);
    EXPECT_EQ(text.Find(L'-', 100), -1);
    EXPECT_EQ(text.ReverseFind(L'-'), 6);
    EXPECT_EQ(text.Replace(L"-", L"+-"), 4);
    EXPECT_EQ(text.str(), L"a+-b+-c+-+-d");
    EXPECT_EQ(text.Replace(L"", L"x"), 0);
    EXPECT_EQ(text.Remove(L'+'), 4);
    EXPECT_EQ(text.str(), L"a-b-c--d");
    EXPECT_EQ(text.Replace(L'-', L'_'), 4);
    EXPECT_EQ(text.str(), L"a_b_c__d");
}

TEST(StringW, TrimAndCase)
{
    CStringW text(L" \t abc \r\n");
    EXPECT_EQ(text.Trim().str(), L"abc");
    CStringW ends(L"\r\n\r\nline\r\n");
    EXPECT_EQ(ends.TrimRight(L"\r\n").str(), L"\r\n\r\nline");
    EXPECT_EQ(ends.TrimLeft(L"\r\n").str(), L"line");
    CStringW mixed(L"Hello Ä");
    EXPECT_EQ(mixed.MakeUpper().str(), L"HELLO Ä");
    EXPECT_EQ(mixed.CompareNoCase(L"hello ä"), 0);
    EXPECT_LT(CStringW(L"A").Compare(L"a"), 0);
}

// Case is ignored by Unicode's simple case folding, in every script and
// whatever the locale, including the letters whose lower case is not their
// folded form.
TEST(StringWCaseFolding, CompareNoCaseFoldsEveryScript)
{
    EXPECT_EQ(CStringW(L"Łódź").CompareNoCase(L"łÓDŹ"), 0);
    EXPECT_EQ(CStringW(L"ſtraße").CompareNoCase(L"STRASSE"), 1) << "simple folding keeps ß one letter";
    EXPECT_EQ(CStringW(L"ſ").CompareNoCase(L"S"), 0) << "long s folds to s";
    EXPECT_EQ(CStringW(L"ὈΔΥΣΣΕΎΣ").CompareNoCase(L"ὀδυσσεύς"), 0) << "final sigma folds to sigma";
    EXPECT_EQ(CStringW(L"µ").CompareNoCase(L"Μ"), 0) << "micro sign folds to mu";
    EXPECT_EQ(CStringW(L"ẞ").CompareNoCase(L"ß"), 0);
    EXPECT_EQ(CStringW(L"\u212A").CompareNoCase(L"k"), 0) << "Kelvin sign";
    EXPECT_EQ(CStringW(L"\u13A0\u13A1").CompareNoCase(L"\uAB70\uAB71"), 0) << "Cherokee folds to upper case";
    EXPECT_EQ(CStringW(L"\U00010400").CompareNoCase(L"\U00010428"), 0) << "Deseret, beyond the basic plane";
    EXPECT_EQ(CStringW(L"ǅ").CompareNoCase(L"ǆ"), 0) << "title case";
    // Only the Turkic mappings join dotted and dotless i; simple folding
    // keeps them apart.
    EXPECT_NE(CStringW(L"İ").CompareNoCase(L"i"), 0);
    EXPECT_NE(CStringW(L"ı").CompareNoCase(L"I"), 0);
    // Order is that of the folded code points; shorter sorts first.
    EXPECT_LT(CStringW(L"a").CompareNoCase(L"B"), 0);
    EXPECT_GT(CStringW(L"b").CompareNoCase(L"A"), 0);
    EXPECT_LT(CStringW(L"ab").CompareNoCase(L"AbC"), 0);
    EXPECT_EQ(CStringW(L"x").CompareNoCase(nullptr), 1);
}

TEST(StringW, TokenizeSkipsEmptyTokens)
{
    const CStringW list(L",.txt,,.cpp ,");
    std::vector<std::wstring> tokens;
    int at = 0;
    for (CStringW token = list.Tokenize(L",", at); at != -1; token = list.Tokenize(L",", at))
        tokens.push_back(token.str());
    EXPECT_EQ(tokens, (std::vector<std::wstring> {L".txt", L".cpp "}));
}

TEST(StringW, BufferAccessAndNarrowText)
{
    CStringW text;
    wchar_t* buffer = text.GetBuffer(8);
    wcscpy(buffer, L"abc");
    text.ReleaseBuffer();
    EXPECT_EQ(text.str(), L"abc");
    EXPECT_EQ(CStringW("plain").str(), L"plain");
    EXPECT_TRUE(CStringW(static_cast<const char*>(nullptr)).IsEmpty());
    EXPECT_TRUE(CStringW(static_cast<const wchar_t*>(nullptr)).IsEmpty());
}

TEST(StringList, PositionsAndIteration)
{
    CStringList list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail(L"b");
    list.AddHead(L"a");
    POSITION c = list.AddTail(L"c");
    EXPECT_EQ(list.GetCount(), 3);
    std::vector<std::wstring> seen;
    for (POSITION at = list.GetHeadPosition(); at;)
        seen.push_back(list.GetNext(at).str());
    EXPECT_EQ(seen, (std::vector<std::wstring> {L"a", L"b", L"c"}));
    list.SetAt(c, L"C");
    list.RemoveAt(list.FindIndex(1));
    seen.clear();
    for (const CStringW& item : list)
        seen.push_back(item.str());
    EXPECT_EQ(seen, (std::vector<std::wstring> {L"a", L"C"}));
    CStringList copy = list;
    list.RemoveAll();
    EXPECT_EQ(copy.GetCount(), 2);
    EXPECT_EQ(copy.GetTail().str(), L"C");
    EXPECT_EQ(list.GetTailPosition(), nullptr);
}
