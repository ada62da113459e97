#include "BenchTestSupport.h"
#include "TestSupport.h"

#include <KelInfoMachine.h>
#include <KelRegistry.h>
#include <PageVSAssist.h>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace kel::test;

namespace {

// Points the per-user registry store into a temporary folder.
class PageVSAssistTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("KEL_REGISTRY_ROOT", m_dir.path().c_str(), 1); }
    void TearDown() override { unsetenv("KEL_REGISTRY_ROOT"); }

    static bool KeyExists(const wchar_t* key)
    {
        kel::platform::CRegKey handle;
        return handle.Open(HKEY_CURRENT_USER, key) == 0;
    }

    TempDir m_dir;
};

} // namespace

TEST_F(PageVSAssistTest, ClearDeletesTheKeyWithItsWholeTreeAndTwiceIsHarmless)
{
    const wchar_t* key = CPageVSAssist::KeyOf(CPageVSAssist::kVS2008Files);
    ASSERT_NE(key, nullptr);
    const CStringW deep = CStringW(key) + L"\\a\\b\\c";
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, deep, L"File1", L"C:\\x.cpp"));
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, key, L"File2", L"C:\\y.cpp"));
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Software\\Microsoft\\VisualStudio\\9.0",
        L"Keep", L"yes"));
    CPageVSAssist::ClearList(CPageVSAssist::kVS2008Files);
    EXPECT_FALSE(KeyExists(key));
    EXPECT_EQ(CKelRegistry::LocalReadString(HKEY_CURRENT_USER, L"Software\\Microsoft\\VisualStudio\\9.0", L"Keep"),
        L"yes");
    CPageVSAssist::ClearList(CPageVSAssist::kVS2008Files);
    EXPECT_FALSE(KeyExists(key));
}

TEST_F(PageVSAssistTest, DoxygenClearRemovesTheRecentKeyItself)
{
    const wchar_t* key = CPageVSAssist::KeyOf(CPageVSAssist::kDoxygen);
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, key, L"recentFiles", L"/p/Doxyfile"));
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, L"Software\\Doxygen.org\\Doxywizard", L"w", L"1"));
    CPageVSAssist::ClearList(CPageVSAssist::kDoxygen);
    EXPECT_FALSE(KeyExists(key));
    EXPECT_TRUE(KeyExists(L"Software\\Doxygen.org\\Doxywizard"));
}

TEST_F(PageVSAssistTest, KeysDeeperThanTheOriginalBufferAreDeletedToo)
{
    const wchar_t* key = CPageVSAssist::KeyOf(CPageVSAssist::kVS6Projects);
    CStringW deep(key);
    for (int level = 0; level < 12; ++level)
        deep += L"\\" + CStringW(std::wstring(30, static_cast<wchar_t>(L'a' + level)));
    ASSERT_GT(deep.GetLength(), 255);
    ASSERT_TRUE(CKelRegistry::LocalWriteString(HKEY_CURRENT_USER, deep, L"v", L"1"));
    CPageVSAssist::ClearList(CPageVSAssist::kVS6Projects);
    EXPECT_FALSE(KeyExists(key));
}

TEST_F(PageVSAssistTest, EveryClearButtonHasItsKey)
{
    EXPECT_STREQ(CPageVSAssist::KeyOf(CPageVSAssist::kVS6Projects), L"Software\\Microsoft\\DevStudio\\6.0\\Projects");
    EXPECT_STREQ(CPageVSAssist::KeyOf(CPageVSAssist::kVS6Files),
        L"Software\\Microsoft\\DevStudio\\6.0\\Recent File List");
    EXPECT_STREQ(CPageVSAssist::KeyOf(CPageVSAssist::kVS2008Projects),
        L"Software\\Microsoft\\VisualStudio\\9.0\\ProjectMRUList");
    EXPECT_EQ(CPageVSAssist::KeyOf(CPageVSAssist::kButton1), nullptr);
}

TEST(PageVSAssist, Button1ShowsTheSystemVolumeNumberInDecimal)
{
    CPageVSAssist page;
    page.ShowDiskId();
    CStringW expected;
    expected.Format(L"%lu", static_cast<unsigned long>(CKelInfoMachine::GenerateHDDID(nullptr)));
    EXPECT_EQ(page.m_strDiskId, expected);
    EXPECT_FALSE(page.m_strDiskId.IsEmpty());
}
