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
#include <PageBase64DecodingView.h>
#include <PageBase64EncodingView.h>
#include <PageFilesView.h>
#include <PageHashView.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QTreeWidget>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

using namespace kel::bench;
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
    ASSERT_EQ(page.AlgorithmBox()->count(), 3);
    page.AlgorithmBox()->setCurrentIndex(2);
    page.OnAlgorithmChanged(2);
    EXPECT_EQ(page.LengthBox()->text(), QStringLiteral("32"));
    page.OnHashing();
    EXPECT_EQ(page.OutputBox()->text(), QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
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

TEST(KelbenchWindow, SelectAllClickedAgainAndAgainTicksAndUnticksEveryRow)
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
    list->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    const auto rowsChecked = [&] {
        int checked = 0;
        for (int row = 0; row < list->topLevelItemCount(); ++row)
            checked += list->topLevelItem(row)->checkState(0) == Qt::Checked ? 1 : 0;
        return checked;
    };
    QCheckBox* box = page.SelectAllBox();
    ASSERT_FALSE(box->isChecked());
    box->click(); // as the user's click
    EXPECT_EQ(rowsChecked(), 2);
    EXPECT_TRUE(box->isChecked());
    box->click();
    EXPECT_EQ(rowsChecked(), 0);
    EXPECT_FALSE(box->isChecked());
    box->click();
    EXPECT_EQ(rowsChecked(), 2);
}

namespace {

// Types `text` at the end of `box`, key by key, as the user would.
void TypeAtEnd(CDevEdit* box, const QString& text)
{
    box->setFocus();
    box->moveCursor(QTextCursor::End);
    for (QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, ch == u'\r' ? Qt::Key_Return : 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(box, &press);
    }
}

} // namespace

TEST(KelbenchWindow, TypingKeepsTheCarriageReturnsOfTheShownBytes)
{
    App();
    TempDir dir;
    WriteBytes(dir / "crlf.bin", "a\r\nb");
    WriteBytes(dir / "utf16.bin", std::string("a\0\r\0\n\0b\0", 8));
    WriteBytes(dir / "cr.bin", "x\ry\r");
    CKelbenchDlg window(true);
    CPageBase64EncodingView& encoding = *window.EncodingPage();
    encoding.PathBox()->setText(QString::fromStdString(dir / "crlf.bin")); // loads it
    encoding.OnViewClicked(kViewMBCS); // shows the text "a\r\nb"
    TypeAtEnd(encoding.InputBox(), QStringLiteral("c"));
    EXPECT_EQ(encoding.Page().Buffer().View(), "a\r\nbc");
    TypeAtEnd(encoding.InputBox(), QStringLiteral("\r")); // the Enter key: a line break as typed
    EXPECT_EQ(encoding.Page().Buffer().View(), "a\r\nbc\n");
    encoding.PathBox()->setText(QString::fromStdString(dir / "utf16.bin"));
    encoding.OnViewClicked(kViewUnicode);
    TypeAtEnd(encoding.InputBox(), QStringLiteral("c"));
    EXPECT_EQ(encoding.Page().Buffer().View(), std::string("a\0\r\0\n\0b\0c\0", 10));

    CPageHashView& hash = *window.HashPage();
    hash.PathBox()->setText(QString::fromStdString(dir / "cr.bin"));
    hash.OnViewClicked(kViewMBCS); // lone carriage returns
    TypeAtEnd(hash.InputBox(), QStringLiteral("z"));
    EXPECT_EQ(hash.Page().Buffer().View(), "x\ry\rz");
    hash.OnHashing();
    EXPECT_EQ(hash.OutputBox()->text(), QStringLiteral("ae610dbb6cee1b0ff9b3c911832b97f9")); // md5 of x CR y CR z

    CPageBase64DecodingView& decoding = *window.DecodingPage();
    WriteBytes(dir / "text.b64", "QQ==\r\nQg==\r");
    decoding.PathBox()->setText(QString::fromStdString(dir / "text.b64"));
    TypeAtEnd(decoding.InputBox(), QStringLiteral("Qw=="));
    EXPECT_EQ(decoding.Page().Base64Text().Wide(), L"QQ==\r\nQg==\rQw==");
}

TEST(KelbenchWindow, ASaveShowsWhereItWroteAndAsksBeforeReplacing)
{
    App();
    TempDir dir;
    WriteBytes(dir / "a.bin", "xyz");
    CKelbenchDlg window(true);
    CPageBase64EncodingView& page = *window.EncodingPage();
    page.PathBox()->setText(QString::fromStdString(dir / "a.bin")); // loads the file
    ASSERT_EQ(page.Page().Buffer().View(), "xyz");
    page.OnFileSave();
    EXPECT_EQ(page.StatusText()->text(), QStringLiteral("저장했습니다: ") + QString::fromStdString(dir / "a.bin.base64.enc"));
    ASSERT_TRUE(std::filesystem::exists(dir / "a.bin.base64.enc"));

    WriteBytes(dir / "a.bin.base64.enc", "old");
    page.StatusText()->clear();
    {
        MessageRecorder refuse(kel::platform::kIdCancel);
        page.OnFileSave();
        EXPECT_EQ(refuse.Messages().size(), 1u);
    }
    EXPECT_EQ(ReadBytes(dir / "a.bin.base64.enc"), "old");
    EXPECT_TRUE(page.StatusText()->text().isEmpty());
    MessageRecorder agree;
    page.OnFileSave();
    EXPECT_EQ(agree.Messages().size(), 1u);
    EXPECT_NE(ReadBytes(dir / "a.bin.base64.enc"), "old");
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
