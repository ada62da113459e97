#include "KelException.h"
#include "KelFramework.h"
#include "TestSupport.h"
#include "platform/StringW.h"
#include "RaisedMessage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int CheckFile(const std::string& path, int encoding)
{
    return CKelFramework::CheckUpdate(CStringW(path.c_str()), encoding);
}

std::wstring RaisedBy(const std::string& path, int encoding)
{
    return kel::test::RaisedMessage([&] { CheckFile(path, encoding); });
}

TEST(CheckUpdate, AnyReadablePageGivesOne)
{
    kel::test::TempDir dir;
    const std::string path = dir / "version.html";
    kel::test::WriteBytes(path, "\xEF\xBB\xBF<HTML><BODY><TABLE><TR><TD>\xEB\xB2\x84\xEC\xA0\x84 2.0</TD></TR></TABLE></BODY></HTML>");
    EXPECT_EQ(CheckFile(path, 1), 1);
    EXPECT_EQ(CheckFile(path, 0), 1);
    // Nothing is converted for other encodings; the empty page still gives 1.
    EXPECT_EQ(CheckFile(path, 5), 1);
    kel::test::WriteBytes(path, "");
    EXPECT_EQ(CheckFile(path, 1), 1);
}

TEST(CheckUpdate, FailuresPassOutUnchanged)
{
    kel::test::TempDir dir;
    EXPECT_EQ(RaisedBy(dir / "missing.html", 1).rfind(L"KelException : ", 0), 0u);
    const std::string path = dir / "twice.html";
    kel::test::WriteBytes(path, "<HTML><DIV>x</DIV></HTML></HTML>");
    EXPECT_EQ(RaisedBy(path, 1), L"KelException : 오른쪽 노드가 없습니다.");
}

} // namespace
