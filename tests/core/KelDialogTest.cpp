#include "KelDialog.h"

#include "platform/UiHooks.h"

#include <gtest/gtest.h>

namespace {

class DialogTest : public ::testing::Test {
protected:
    void TearDown() override { kel::platform::SetFolderChooserHook(nullptr); }
};

} // namespace

TEST_F(DialogTest, WithoutChooserTheAnswerIsCancel)
{
    EXPECT_EQ(CKelDialog::GetPath(nullptr), L"");
}

TEST_F(DialogTest, ChooserGetsTheTitleAndItsAnswerIsReturned)
{
    CStringW seenTitle;
    kel::platform::SetFolderChooserHook([&](const CStringW& title, CStringW& path) {
        seenTitle = title;
        path = L"/home/user/프로젝트";
        return true;
    });
    EXPECT_EQ(CKelDialog::GetPath(nullptr), L"/home/user/프로젝트");
    EXPECT_EQ(seenTitle, L"경로 선택 :");
}

TEST_F(DialogTest, CancelGivesEmptyEvenIfThePathWasTouched)
{
    kel::platform::SetFolderChooserHook([](const CStringW&, CStringW& path) {
        path = L"/half/chosen";
        return false;
    });
    EXPECT_EQ(CKelDialog::GetPath(nullptr), L"");
}
