// The Qt window of Kelbench on the offscreen platform: it starts hidden,
// tray commands bring up their pages, "종료" ends the program, and the
// settings file decides the log level.
#include "BenchTestSupport.h"
#include "TestSupport.h"

#include <platform/UiHooks.h>

#include <KelbenchApp.h>
#include <KelbenchDlg.h>
#include <ByteViews.h>
#include <DevEdit.h>
#include <KelbenchResources.h>
#include <PageBase64EncodingView.h>
#include <PageFilesView.h>
#include <PageHashView.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QTreeWidget>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

using namespace kelbench;
using namespace kel::test;

namespace {

QApplication& App()
{
    static int argc = 1;
    static char name[] = "bench_KelbenchWindowTest";
    static char* argv[] = { name, nullptr };
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Runs the events that are already queued (posted commands, queued quits).
void ProcessEvents()
{
    QApplication::processEvents();
    QApplication::processEvents();
}

} // namespace

TEST(KelbenchWindow, StartsHiddenWithTheTrayIconAndVSAssistActive)
{
    App();
    CKelbenchDlg window(true);
    ASSERT_TRUE(window.Create());
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.TrayShell().Icon().isVisible());
    EXPECT_EQ(window.TrayShell().Icon().toolTip(), QStringLiteral("Kelbench"));
    EXPECT_EQ(window.Tabs()->count(), 5);
    EXPECT_EQ(window.Tabs()->currentIndex(), kPageVSAssist);
    EXPECT_EQ(window.Tabs()->tabText(kPageBase64Encoding), QStringLiteral("Base64 Encoding"));
}

TEST(KelbenchWindow, TrayCommandsShowTheirPageAndWhileShownOnlySwitch)
{
    App();
    CKelbenchDlg window(true);
    ASSERT_TRUE(window.Create());
    window.OnCommand(ID_TRAY_HASH);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.Tabs()->currentIndex(), kPageHash);
    window.OnCommand(ID_TRAY_FILES);
    EXPECT_EQ(window.Tabs()->currentIndex(), kPageFiles);
    window.OnCommand(ID_TRAY_SEED); // no action
    EXPECT_EQ(window.Tabs()->currentIndex(), kPageFiles);
    window.hide();
    window.OnCommand(IDR_TRAY); // "메인메뉴": shows the window on its current page
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.Tabs()->currentIndex(), kPageFiles);
}

TEST(KelbenchWindow, DoubleClickPostsTheMainMenuCommand)
{
    App();
    CKelbenchDlg window(true);
    ASSERT_TRUE(window.Create());
    EXPECT_EQ(window.Tray().OnTrayMessage(IDR_TRAY, WM_LBUTTONDBLCLK), 1);
    EXPECT_FALSE(window.isVisible()); // posted, not yet run
    ProcessEvents();
    EXPECT_TRUE(window.isVisible());
}

TEST(KelbenchWindow, MinimiseHidesToTheTray)
{
    App();
    CKelbenchDlg window(true);
    ASSERT_TRUE(window.Create());
    window.OnCommand(ID_TRAY_VSASSIST);
    ASSERT_TRUE(window.isVisible());
    window.setWindowState(Qt::WindowMinimized); // as the user's minimise
    ProcessEvents();
    EXPECT_FALSE(window.isVisible());
    window.OnCommand(ID_TRAY_VSASSIST);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
}

TEST(KelbenchWindow, TheTrayMenuHasItsItemsWithTheMainItemAsDefault)
{
    App();
    CKelbenchDlg window(true);
    QStringList texts;
    for (QAction* action : window.TrayShell().Menu().actions())
        if (!action->isSeparator())
            texts << action->text();
    EXPECT_EQ(texts, (QStringList { QStringLiteral("메인메뉴"), QStringLiteral("VS Assist"), QStringLiteral("Files"),
                         QStringLiteral("Base64Encoding"), QStringLiteral("Base64Decoding"), QStringLiteral("Hash"),
                         QStringLiteral("Seed"), QStringLiteral("Image"), QStringLiteral("종료") }));
    ASSERT_NE(window.TrayShell().Menu().defaultAction(), nullptr);
    EXPECT_EQ(window.TrayShell().Menu().defaultAction()->text(), QStringLiteral("메인메뉴"));
}

TEST(KelbenchWindow, WithoutATrayTheWindowCannotHideAway)
{
    App();
    CKelbenchDlg window(false);
    EXPECT_FALSE(window.Create());
    window.show();
    window.setWindowState(Qt::WindowMinimized);
    ProcessEvents();
    EXPECT_TRUE(window.isVisible()); // minimised, but not hidden
}

TEST(KelbenchWindow, HashPageBindsItsFields)
{
    App();
    CKelbenchDlg window(true);
    CPageHashView& page = *window.HashPage();
    EXPECT_EQ(page.LengthBox()->text(), QStringLiteral("20"));
    page.OnHashing();
    EXPECT_EQ(page.OutputBox()->text(), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
    EXPECT_EQ(page.LengthBox()->text(), QStringLiteral("16"));
    page.AlgorithmBox()->setCurrentIndex(1);
    page.OnAlgorithmChanged(1);
    EXPECT_EQ(page.LengthBox()->text(), QStringLiteral("20"));
    EXPECT_EQ(page.OutputBox()->text(), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
}

TEST(KelbenchWindow, EncodingPageInputEditsRebuildTheBufferButItsOwnUpdatesDoNot)
{
    App();
    CKelbenchDlg window(true);
    CPageBase64EncodingView& page = *window.EncodingPage();
    page.Page().m_strPath = L"/some/file";
    page.PathBox()->SetTextQuietly(QStringLiteral("/some/file"));
    page.InputBox()->setPlainText(QStringLiteral("AB")); // as the user's edit
    EXPECT_EQ(page.Page().Buffer().Count(), 4u);
    EXPECT_TRUE(page.PathBox()->text().isEmpty());
    page.OnEncode();
    EXPECT_EQ(page.OutputBox()->toPlainText(), QStringLiteral("QQBCAA=="));
    page.OnViewClicked(kViewRawData); // the page's own update of the input box
    EXPECT_EQ(page.InputBox()->toPlainText(), QStringLiteral("41 00 42 00"));
    EXPECT_EQ(page.Page().Buffer().Count(), 4u);
}

TEST(KelbenchWindow, ChoosingAFolderShowsTheStoredExtensionsAndCancelEmptiesTheFolder)
{
    App();
    CKelbenchDlg window(true);
    CPageFilesView& page = *window.FilesPage();
    QComboBox* extensions = nullptr;
    for (QComboBox* box : page.findChildren<QComboBox*>())
        if (box->isEditable())
            extensions = box;
    ASSERT_NE(extensions, nullptr);
    extensions->setEditText(QStringLiteral("md"));
    kel::platform::SetFolderChooserHook([](const CStringW&, CStringW& path) {
        path = L"/chosen";
        return true;
    });
    page.OnChooseFolder();
    EXPECT_EQ(page.Page().m_strFolder, L"/chosen");
    EXPECT_EQ(extensions->currentText(), QStringLiteral("log,txt,java,c,h,cpp,logfile"));
    kel::platform::SetFolderChooserHook([](const CStringW&, CStringW&) { return false; });
    page.OnChooseFolder();
    EXPECT_EQ(page.Page().m_strFolder, L"");
    kel::platform::SetFolderChooserHook(nullptr);
}

TEST(KelbenchWindow, FilesListShowsTheRowsAndHandsBackTheUsersCheckMarks)
{
    App();
    TempDir dir;
    WriteBytes(dir / "one.txt", "");
    WriteBytes(dir / "two.txt", "");
    CKelbenchDlg window(true);
    CPageFilesView& page = *window.FilesPage();
    page.Page().FolderChosen(Wide(dir.path().string()));
    page.OnSearch();
    QTreeWidget* list = page.ListBox();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(list->topLevelItem(0)->text(4), QStringLiteral("txt"));
    list->topLevelItem(1)->setCheckState(0, Qt::Unchecked); // the user's click
    page.OnClearNames();
    EXPECT_EQ(list->topLevelItem(0)->text(3), QString());
    EXPECT_EQ(list->topLevelItem(1)->text(3), list->topLevelItem(1)->text(2));
}

namespace {

// What dropping `path` from a file manager does to `box`.
template <typename Box>
void DropFile(Box* box, const std::string& path)
{
    QMimeData data;
    data.setUrls({ QUrl::fromLocalFile(QStringLiteral("/elsewhere/first")),
        QUrl::fromLocalFile(QString::fromStdString(path)) });
    EXPECT_TRUE(box->TakeDrop(&data));
    QMimeData text;
    text.setText(QStringLiteral("plain"));
    EXPECT_FALSE(box->TakeDrop(&text));
}

} // namespace

TEST(DevEdit, CtrlASelectsTheWholeText)
{
    App();
    CDevEdit box;
    box.SetTextQuietly(QStringLiteral("line one\nline two"));
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
    QApplication::sendEvent(&box, &key);
    EXPECT_EQ(box.textCursor().selectedText(), QStringLiteral("line one\u2029line two"));
}

TEST(DevEdit, ADropOnTheInputOnlyShowsThePathButOnThePathBoxLoadsTheFile)
{
    App();
    TempDir dir;
    const std::string file = dir / "drop.bin";
    WriteBytes(file, "xyz");
    CKelbenchDlg window(true);
    CPageBase64EncodingView& page = *window.EncodingPage();
    page.InputBox()->setPlainText(QStringLiteral("AB"));
    DropFile(page.InputBox(), file);
    EXPECT_EQ(page.InputBox()->toPlainText(), QString::fromStdString(file));
    EXPECT_EQ(page.Page().Buffer().View(), std::string("A\0B\0", 4)); // not rebuilt by the drop

    DropFile(page.PathBox(), file);
    EXPECT_EQ(page.Page().m_strPath, Wide(file));
    EXPECT_EQ(page.Page().Buffer().View(), "xyz");
    EXPECT_EQ(page.InputBox()->toPlainText(), QStringLiteral("78 79 7a"));
}

// The application object reads ./Kelbench.ini of the working folder.
class KelbenchApplication : public ::testing::Test {
protected:
    void SetUp() override
    {
        App();
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_dir.path());
        setenv("XDG_STATE_HOME", (m_dir / "state").c_str(), 1);
    }
    void TearDown() override { std::filesystem::current_path(m_previous); }

    TempDir m_dir;
    std::filesystem::path m_previous;
};

TEST_F(KelbenchApplication, SettingsLevelsAndTheExitCommandEndTheProgram)
{
    WriteBytes(m_dir / "Kelbench.ini", "[LOG]\r\nLEVEL=DEV\r\n");
    CKelbenchApp app;
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(app.LogLevel(), 0);
    ASSERT_NE(app.MainWindow(), nullptr);

    // "종료" from the tray: the icon goes and the event loop ends.
    QTimer::singleShot(0, app.MainWindow(), [&] { app.MainWindow()->OnCommand(ID_TRAY_EXIT); });
    QTimer watchdog;
    bool timedOut = false;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        QApplication::quit();
    });
    watchdog.start(20000);
    QApplication::exec();
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(app.MainWindow()->Tray().m_bIconRemoved);
    EXPECT_FALSE(app.MainWindow()->isVisible());
    app.ExitInstance();

}

TEST_F(KelbenchApplication, LowerCaseLevelInitialisesNothing)
{
    WriteBytes(m_dir / "Kelbench.ini", "[LOG]\nLEVEL=info\n");
    CKelbenchApp app;
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(app.LogLevel(), -1);
    app.ExitInstance();
}
