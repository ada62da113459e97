#include "KelUtil.h"

#include "KelException.h"
#include "platform/Resources.h"
#include "platform/WinApp.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using kel::platform::ResourceModule;

namespace {

const BYTE kPayload[] = {'K', 0, 'E', 0xFF, 'L', 0, 0};

ResourceModule ProgramResources()
{
    ResourceModule module;
    module.strings = {{101, L"%ls 파일 %d개"}, {102, L"plain text"}};
    module.data = {{L"TEMPLATE", kPayload, sizeof kPayload}};
    return module;
}

class UtilResourceTest : public ::testing::Test {
protected:
    UtilResourceTest() : m_resources(ProgramResources()), m_app(L"UtilTest")
    {
        m_app.m_hInstance = kel::platform::ToInstance(m_resources);
    }
    ResourceModule m_resources;
    CWinApp m_app;
    kel::test::TempDir m_dir;
};

} // namespace

TEST_F(UtilResourceTest, LoadStringFormatsTheStringTableEntry)
{
    UINT id = 101;
    const CStringW folder(L"소스");
    EXPECT_EQ(CKelUtil::LoadString(id, folder, 3), L"소스 파일 3개");
    EXPECT_EQ(CKelUtil::LoadString(id, L"raw", -1), L"raw 파일 -1개");
    id = 102;
    EXPECT_EQ(CKelUtil::LoadString(id), L"plain text");
    id = 999;
    EXPECT_EQ(CKelUtil::LoadString(id, 1), L"");
}

TEST_F(UtilResourceTest, SaveResourceWritesTheBytesAndReplacesOldFiles)
{
    const std::string path = m_dir / "out.bin";
    kel::test::WriteBytes(path, std::string(100, 'x'));
    EXPECT_EQ(CKelUtil::SaveResource(L"template", std::wstring(path.begin(), path.end()).c_str()), 0);
    EXPECT_EQ(kel::test::ReadBytes(path), std::string(reinterpret_cast<const char*>(kPayload), sizeof kPayload));

    const std::string missing = m_dir / "missing.bin";
    EXPECT_EQ(CKelUtil::SaveResource(L"NOSUCH", std::wstring(missing.begin(), missing.end()).c_str()), 0);
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(UtilResourceTest, SaveResourceToAnUnwritablePathRaises)
{
    const std::string path = m_dir / "no/folder/out.bin";
    try {
        CKelUtil::SaveResource(L"TEMPLATE", std::wstring(path.begin(), path.end()).c_str());
        FAIL() << "no exception";
    } catch (CKelException* e) {
        EXPECT_EQ(e->GetMessage().Find(L"KelException : "), 0);
        e->Delete();
    }
}

TEST(UtilResource, WithoutApplicationThereAreNoResources)
{
    UINT id = 101;
    EXPECT_EQ(CKelUtil::LoadString(id), L"");
    kel::test::TempDir dir;
    const std::string path = dir / "x";
    EXPECT_EQ(CKelUtil::SaveResource(L"TEMPLATE", std::wstring(path.begin(), path.end()).c_str()), 0);
    EXPECT_FALSE(fs::exists(path));
}

TEST(UtilPathInfo, SplitsFolderTitleAndExtension)
{
    wchar_t drive[3], dir[256], fname[256], ext[256];
    EXPECT_EQ(CKelUtil::GetPathInfo(L"/home/u/a.tar.gz", drive, dir, fname, ext), L"/home/u/a.tar.gz");
    EXPECT_STREQ(drive, L"");
    EXPECT_STREQ(dir, L"/home/u/");
    EXPECT_STREQ(fname, L"a.tar");
    EXPECT_STREQ(ext, L".gz");

    EXPECT_EQ(CKelUtil::GetPathInfo(L"README", drive, dir, fname, ext), L"README");
    EXPECT_STREQ(dir, L"");
    EXPECT_STREQ(fname, L"README");
    EXPECT_STREQ(ext, L"");

    EXPECT_EQ(CKelUtil::GetPathInfo(L"/etc/", drive, dir, fname, ext), L"/etc/");
    EXPECT_STREQ(dir, L"/etc/");
    EXPECT_STREQ(fname, L"");
}

TEST(UtilPathInfo, PartsThatDoNotFitLeaveEverythingEmpty)
{
    wchar_t drive[3], dir[256], fname[256], ext[256];
    const std::wstring longName = L"/x/" + std::wstring(256, L'n') + L".txt";
    EXPECT_EQ(CKelUtil::GetPathInfo(longName.c_str(), drive, dir, fname, ext), L"");
    EXPECT_STREQ(dir, L"");
    EXPECT_STREQ(fname, L"");
    EXPECT_STREQ(ext, L"");
    // Each part fits, the whole does not.
    const std::wstring longWhole = L"/" + std::wstring(200, L'd') + L"/" + std::wstring(200, L'f');
    EXPECT_EQ(CKelUtil::GetPathInfo(longWhole.c_str(), drive, dir, fname, ext), L"");
    const std::wstring fits = L"/" + std::wstring(253, L'd') + L"/"; // 255 characters and the terminator
    EXPECT_EQ(CKelUtil::GetPathInfo(fits.c_str(), nullptr, nullptr, nullptr, nullptr).str(), fits);
}

TEST(UtilUrlInfo, SplitsServerObjectAndPort)
{
    DWORD service = 0;
    wchar_t server[260], object[260];
    INTERNET_PORT port = 0;
    EXPECT_EQ(CKelUtil::GetUrlInfo(L"http://example.com:8080/a%20b/c.html?x=1#top", service, server, object, port),
              L"http://example.com/a%20b/c.html?x=1");
    EXPECT_EQ(service, kel::platform::kInetServiceHttp);
    EXPECT_STREQ(server, L"example.com");
    EXPECT_STREQ(object, L"/a%20b/c.html?x=1");
    EXPECT_EQ(port, 8080);

    EXPECT_EQ(CKelUtil::GetUrlInfo(L"HTTPS://secure.example", service, server, object, port),
              L"http://secure.example/");
    EXPECT_EQ(service, kel::platform::kInetServiceHttps);
    EXPECT_EQ(port, 443);

    EXPECT_EQ(CKelUtil::GetUrlInfo(L"ftp://user:pw@files.example/pub/x.zip", service, server, object, port),
              L"http://files.example/pub/x.zip");
    EXPECT_EQ(service, kel::platform::kInetServiceFtp);
    EXPECT_EQ(port, 21);

    EXPECT_EQ(CKelUtil::GetUrlInfo(L"http://[::1]:81/v6", service, server, object, port), L"http://[::1]/v6");
    EXPECT_EQ(port, 81);
}

TEST(UtilUrlInfo, BadUrlsGiveEmptyPartsAndLongOnesAreCut)
{
    DWORD service = 0;
    wchar_t server[260], object[260];
    INTERNET_PORT port = 99;
    for (const wchar_t* bad : {L"not a url", L"http://", L"http://host:99999/", L"http://host:x/", L""}) {
        EXPECT_EQ(CKelUtil::GetUrlInfo(bad, service, server, object, port), L"http://") << bad;
        EXPECT_STREQ(server, L"");
        EXPECT_STREQ(object, L"");
        EXPECT_EQ(port, 0);
        EXPECT_EQ(service, kel::platform::kInetServiceUnknown);
    }
    const std::wstring path = L"/" + std::wstring(400, L'p');
    const std::wstring url = L"http://h" + path;
    EXPECT_EQ(CKelUtil::GetUrlInfo(url.c_str(), service, server, object, port).str(), L"http://h" + path);
    EXPECT_EQ(std::wstring(object), path.substr(0, 259));
}
