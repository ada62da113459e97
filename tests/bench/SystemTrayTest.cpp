#include <KelbenchResources.h>
#include <SystemTray.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace kel::bench;

namespace {

// A shell that records what the tray asks of it. Loaded icons are objects of
// their own, as on the desktop, and the shell notes a freed one handed back.
class RecordingShell : public ITrayShell {
public:
    ~RecordingShell() override
    {
        for (void* icon : m_live)
            delete static_cast<UINT*>(icon);
    }
    bool AddIcon(const STrayIconData& data) override { return Record("add", data, m_bAddWorks); }
    bool ModifyIcon(const STrayIconData& data) override { return Record("modify", data, true); }
    bool DeleteIcon(const STrayIconData& data) override { return Record("delete", data, true); }
    void* LoadIcon(UINT resource) override
    {
        if (resource != IDR_MAINFRAME)
            return nullptr;
        void* icon = new UINT(resource);
        m_live.insert(icon);
        return icon;
    }
    void FreeIcon(void* icon) override
    {
        m_freed.push_back(icon);
        if (m_live.erase(icon))
            delete static_cast<UINT*>(icon);
    }
    bool TrackMenu(UINT menu, int defaultPosition, CSystemTray& tray) override
    {
        tray.PrepareMenu(nullptr);
        m_calls.push_back("track " + std::to_string(menu) + " default " + std::to_string(defaultPosition));
        return m_bMenuWorks;
    }
    bool MenuItemCommand(UINT menu, int position, UINT& command) override
    {
        if (!m_bMenuWorks || menu != IDR_TRAY)
            return false;
        command = kTrayMenu[position].nCommand;
        return true;
    }
    void SetForeground() override { m_calls.push_back("foreground"); }
    void PostCommand(UINT command) override { m_calls.push_back("post " + std::to_string(command)); }

    bool Record(const char* what, const STrayIconData& data, bool result)
    {
        m_calls.push_back(std::string(what) + " flags " + std::to_string(data.uFlags));
        if ((data.uFlags & CSystemTray::NIF_ICON) && data.hIcon && data.hIcon != &m_icon && !m_live.count(data.hIcon))
            ++m_nFreedIconUses;
        return result;
    }

    bool m_bAddWorks = true;
    bool m_bMenuWorks = true;
    int m_icon = 0;
    std::vector<std::string> m_calls;
    std::vector<void*> m_freed;
    std::set<void*> m_live;
    int m_nFreedIconUses = 0;
};

} // namespace

TEST(SystemTray, StartsRemovedAndHidden)
{
    RecordingShell shell;
    CSystemTray tray(shell);
    EXPECT_FALSE(tray.m_bIconEnabled);
    EXPECT_TRUE(tray.m_bIconHidden);
    EXPECT_TRUE(tray.m_bIconRemoved);
    EXPECT_FALSE(tray.m_bReAddPending);
    EXPECT_EQ(tray.m_nDefaultItem, 0);
    EXPECT_TRUE(tray.m_bDefaultIsPosition);
}

TEST(SystemTray, AddIconFillsTheRecordAndFollowsTheResult)
{
    RecordingShell shell;
    CSystemTray tray(shell);
    ASSERT_TRUE(tray.AddIcon(true, &shell.m_icon));
    EXPECT_EQ(tray.IconData().uID, IDR_TRAY);
    EXPECT_EQ(tray.IconData().uFlags, 7u);
    EXPECT_EQ(tray.IconData().uCallbackMessage, WM_TRAY_NOTIFY);
    EXPECT_EQ(std::wstring(tray.IconData().szTip.data()), L"Kelbench");
    EXPECT_EQ(tray.m_uAddFlags, 7u);
    EXPECT_EQ(tray.m_nMaxTipLength, 128);
    EXPECT_FALSE(tray.m_bIconHidden || tray.m_bIconRemoved || tray.m_bReAddPending);

    RecordingShell failing;
    failing.m_bAddWorks = false;
    CSystemTray refused(failing);
    EXPECT_FALSE(refused.AddIcon(true, nullptr));
    EXPECT_TRUE(refused.m_bIconHidden && refused.m_bIconRemoved && refused.m_bReAddPending);
    EXPECT_TRUE(refused.m_bIconEnabled);
}

TEST(SystemTray, SetIconResourceModifiesOnlyAShownIcon)
{
    RecordingShell shell;
    CSystemTray tray(shell);
    EXPECT_FALSE(tray.SetIconResource(IDR_MAINFRAME)); // not enabled yet
    EXPECT_EQ(shell.m_freed.size(), 1u);
    EXPECT_FALSE(tray.SetIconResource(999));           // cannot load
    tray.AddIcon(true, nullptr);
    shell.m_calls.clear();
    EXPECT_TRUE(tray.SetIconResource(IDR_MAINFRAME));
    EXPECT_EQ(shell.m_calls, (std::vector<std::string> { "modify flags 2" }));
}

TEST(SystemTray, TheLoadedIconLivesWhileTheRecordRefersToIt)
{
    RecordingShell shell;
    {
        CSystemTray tray(shell);
        tray.AddIcon(true, &shell.m_icon);
        ASSERT_TRUE(tray.SetIconResource(IDR_MAINFRAME));
        // Both re-add the icon of the record: the loaded one.
        tray.OnShellRestart();
        tray.OnWorkAreaChange(SPI_SETWORKAREA);
        EXPECT_EQ(shell.m_nFreedIconUses, 0);
        EXPECT_EQ(shell.m_live.size(), 1u);
        // A newer icon replaces it, and only then is it freed.
        ASSERT_TRUE(tray.SetIconResource(IDR_MAINFRAME));
        EXPECT_EQ(shell.m_freed.size(), 1u);
        tray.OnShellRestart();
        EXPECT_EQ(shell.m_nFreedIconUses, 0);
    }
    EXPECT_TRUE(shell.m_live.empty()); // the tray frees it when it goes
}

TEST(SystemTray, RemoveIconDeletesOnceAndTheDestructorRemovesToo)
{
    RecordingShell shell;
    {
        CSystemTray tray(shell);
        tray.AddIcon(true, nullptr);
        tray.RemoveIcon();
        EXPECT_TRUE(tray.m_bIconHidden && tray.m_bIconRemoved);
        tray.RemoveIcon();
    }
    EXPECT_EQ(std::count(shell.m_calls.begin(), shell.m_calls.end(), "delete flags 0"), 1);

    RecordingShell other;
    {
        CSystemTray tray(other);
        tray.AddIcon(true, nullptr);
    }
    EXPECT_EQ(other.m_calls.back(), "delete flags 0");
}

TEST(SystemTray, TrayMessagesOfAnotherIconAreIgnored)
{
    RecordingShell shell;
    CSystemTray tray(shell);
    tray.AddIcon(true, nullptr);
    shell.m_calls.clear();
    EXPECT_EQ(tray.OnTrayMessage(130, WM_LBUTTONDBLCLK), 0);
    EXPECT_TRUE(shell.m_calls.empty());
}

TEST(SystemTray, DoubleClickPostsTheDefaultItemsCommandAndRightClickShowsTheMenu)
{
    RecordingShell shell;
    CSystemTray tray(shell);
    tray.AddIcon(true, nullptr);
    shell.m_calls.clear();
    EXPECT_EQ(tray.OnTrayMessage(IDR_TRAY, WM_LBUTTONDBLCLK), 1);
    EXPECT_EQ(shell.m_calls, (std::vector<std::string> { "foreground", "post 129" }));
    shell.m_calls.clear();
    EXPECT_EQ(tray.OnTrayMessage(IDR_TRAY, WM_RBUTTONUP), 1);
    EXPECT_EQ(shell.m_calls, (std::vector<std::string> { "track 129 default 0" }));
    EXPECT_EQ(tray.OnTrayMessage(IDR_TRAY, 0x200), 1); // any other mouse message does nothing
    shell.m_bMenuWorks = false;
    EXPECT_EQ(tray.OnTrayMessage(IDR_TRAY, WM_RBUTTONUP), 0);
    EXPECT_EQ(tray.OnTrayMessage(IDR_TRAY, WM_LBUTTONDBLCLK), 0);
}

TEST(SystemTray, ShellRestartReAddsAShownIconWithTheAddFlags)
{
    RecordingShell shell;
    CSystemTray tray(shell);
    tray.AddIcon(true, nullptr);
    tray.SetIconResource(IDR_MAINFRAME); // the record's flags are now "icon only"
    shell.m_calls.clear();
    EXPECT_EQ(tray.OnShellRestart(), 0);
    EXPECT_EQ(shell.m_calls, (std::vector<std::string> { "add flags 7" }));
    EXPECT_FALSE(tray.m_bIconHidden || tray.m_bReAddPending);
}

TEST(SystemTray, ShellRestartWhileHiddenLeavesItPendingAndAWorkAreaChangeDoesNotAdd)
{
    RecordingShell shell;
    shell.m_bAddWorks = false;
    CSystemTray tray(shell);
    tray.AddIcon(true, nullptr); // fails: hidden
    shell.m_calls.clear();
    tray.OnShellRestart();
    EXPECT_TRUE(tray.m_bIconHidden);
    EXPECT_TRUE(tray.m_bReAddPending);
    tray.OnWorkAreaChange(SPI_SETWORKAREA);
    EXPECT_FALSE(tray.m_bReAddPending);
    EXPECT_TRUE(shell.m_calls.empty());
}

TEST(SystemTray, WorkAreaChangeReAddsAShownIconOnlyForTheWorkArea)
{
    RecordingShell shell;
    CSystemTray tray(shell);
    tray.AddIcon(true, nullptr);
    shell.m_calls.clear();
    tray.OnWorkAreaChange(0x30);
    EXPECT_TRUE(shell.m_calls.empty());
    tray.OnWorkAreaChange(SPI_SETWORKAREA);
    EXPECT_EQ(shell.m_calls, (std::vector<std::string> { "add flags 7" }));
    shell.m_bAddWorks = false;
    tray.OnWorkAreaChange(SPI_SETWORKAREA);
    EXPECT_TRUE(tray.m_bIconHidden && tray.m_bReAddPending);
}

TEST(TrayCommands, SelectTheirPagesAndTheMenuStartsWithTheMainItem)
{
    EXPECT_EQ(PageOfTrayCommand(ID_TRAY_VSASSIST), kPageVSAssist);
    EXPECT_EQ(PageOfTrayCommand(ID_TRAY_FILES), kPageFiles);
    EXPECT_EQ(PageOfTrayCommand(ID_TRAY_BASE64ENCODING), kPageBase64Encoding);
    EXPECT_EQ(PageOfTrayCommand(ID_TRAY_BASE64DECODING), kPageBase64Decoding);
    EXPECT_EQ(PageOfTrayCommand(ID_TRAY_HASH), kPageHash);
    EXPECT_EQ(PageOfTrayCommand(ID_TRAY_SEED), -1);
    EXPECT_EQ(PageOfTrayCommand(ID_TRAY_IMAGE), -1);
    EXPECT_EQ(PageOfTrayCommand(IDR_TRAY), -1);
    EXPECT_EQ(kTrayMenu[0].nCommand, IDR_TRAY);
    EXPECT_EQ(std::wstring(kTrayMenu[0].pszText), L"메인메뉴");
    EXPECT_EQ(std::wstring(std::end(kTrayMenu)[-1].pszText), L"종료");
}
