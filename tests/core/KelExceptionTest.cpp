#include "KelException.h"
#include "KelUtil.h"
#include "platform/ErrorNumbers.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace {

std::wstring MessageOf(CKelException* e)
{
    std::wstring text = e->GetMessage().str();
    e->Delete();
    return text;
}

} // namespace

TEST(MessageError, ZeroIsEmpty)
{
    EXPECT_TRUE(CKelUtil::MessageError(0).IsEmpty());
    EXPECT_EQ(MessageOf(new CKelException(0)), L"KelException : ");
}

TEST(MessageError, SystemNumbersGiveTheCLibraryTextWithLineEnd)
{
    EXPECT_EQ(CKelUtil::MessageError(ENOENT).str(), L"No such file or directory\r\n");
    EXPECT_EQ(MessageOf(new CKelException(static_cast<DWORD>(EACCES))), L"KelException : Permission denied\r\n");
}

TEST(MessageError, InternetNumbersHaveTexts)
{
    using namespace kel::platform;
    for (DWORD n : {ERROR_INTERNET_TIMEOUT, ERROR_INTERNET_NAME_NOT_RESOLVED, ERROR_INTERNET_CANNOT_CONNECT,
                    ERROR_INTERNET_INCORRECT_PASSWORD, ERROR_INTERNET_CONNECTION_ABORTED,
                    ERROR_INTERNET_CONNECTION_RESET, ERROR_INTERNET_EXTENDED_ERROR}) {
        const CStringW text = CKelUtil::MessageError(n);
        EXPECT_EQ(text.Find(L"ERRORNUMBER"), -1) << n;
        EXPECT_EQ(text.Right(2).str(), L"\r\n") << n;
    }
    EXPECT_EQ(CKelUtil::MessageError(ERROR_INTERNET_TIMEOUT).str(), L"The operation timed out.\r\n");
}

TEST(MessageError, NumbersWithoutTextGiveTheNumberForm)
{
    EXPECT_EQ(CKelUtil::MessageError(12099).str(), L"ERRORNUMBER ( 12099 )\n"); // unused WinINet number
    EXPECT_EQ(CKelUtil::MessageError(2100).str(), L"ERRORNUMBER ( 2100 )\n");   // network messages
    EXPECT_EQ(CKelUtil::MessageError(2999).str(), L"ERRORNUMBER ( 2999 )\n");
    EXPECT_EQ(CKelUtil::MessageError(0x000E0001).str(), L"ERRORNUMBER ( 917505 )\n"); // message queuing
    EXPECT_EQ(CKelUtil::MessageError(0x80004005).str(), L"ERRORNUMBER ( -2147467259 )\n");
    EXPECT_EQ(CKelUtil::MessageError(999999).str(), L"ERRORNUMBER ( 999999 )\n");
}

TEST(KelException, DefaultHasNoMessageAtAll)
{
    CKelException e;
    EXPECT_TRUE(e.GetMessage().IsEmpty());
}

TEST(KelException, FormatsItsArgumentsBehindThePrefix)
{
    EXPECT_EQ(MessageOf(new CKelException(L"%ls %d", L"파일", 7)), L"KelException : 파일 7");
    EXPECT_EQ(MessageOf(new CKelException(L"Can not change UTF8 to Unicode")),
              L"KelException : Can not change UTF8 to Unicode");
}

TEST(KelException, LongMessagesAreKeptWhole)
{
    const std::wstring longText(5000, L'x');
    EXPECT_EQ(MessageOf(new CKelException(L"%ls", longText.c_str())), L"KelException : " + longText);
}

TEST(KelException, PassedOnMessageKeepsPercentSigns)
{
    CKelException* inner = new CKelException(L"%ls", L"100% %s %n done");
    const CStringW message = inner->GetMessage();
    inner->Delete();
    EXPECT_EQ(MessageOf(new CKelException(L"%ls", message.GetString())),
              L"KelException : KelException : 100% %s %n done");
}

TEST(KelException, IsRaisedAndCaughtByPointer)
{
    try {
        throw new CKelException(L"boom");
    } catch (CException* e) {
        auto* kel = dynamic_cast<CKelException*>(e);
        ASSERT_NE(kel, nullptr);
        EXPECT_EQ(kel->GetMessage().str(), L"KelException : boom");
        wchar_t buffer[16] = L"untouched";
        EXPECT_FALSE(e->GetErrorMessage(buffer, 16)); // the framework's query has no text of its own
        e->Delete();
    }
}
