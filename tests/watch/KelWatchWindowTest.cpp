// The windowed program on Qt's offscreen platform: start-up with and without
// a file, the view's appearance and behaviour, looks stored in the profile,
// the commands of the ribbon and menus.
#include "AppLook.h"
#include "ChildFrm.h"
#include "FindBar.h"
#include "KelWatchApp.h"
#include "KelWatchView.h"
#include "MainFrm.h"
#include "OffscreenApp.h"
#include "Resource.h"
#include "RibbonBar.h"
#include "TestSupport.h"
#include "WindowListDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMimeData>
#include <QPrinter>
#include <QStatusBar>
#include <QTabBar>
#include <QTimer>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <cstdlib>
#include <fstream>

namespace {

using kel::test::TempDir;

// Generous: the machine may be busy; nothing here asserts on elapsed time.
constexpr int kWaitMs = 20000;

class WatchWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        kel::test::OffscreenApplication();
        setenv("KEL_REGISTRY_ROOT", m_registry.path().c_str(), 1);
    }
    void TearDown() override
    {
        m_app.reset();
        unsetenv("KEL_REGISTRY_ROOT");
    }

    CMainFrame* Start(QStringList arguments = {})
    {
        m_app.reset(); // one application object at a time
        m_app = std::make_unique<CKelWatchApp>(std::move(arguments));
        EXPECT_TRUE(m_app->InitInstance());
        return m_app->MainFrame();
    }

    static void Append(const std::string& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
    }

    static bool WaitForText(CKelWatchView* view, const QString& text)
    {
        return QTest::qWaitFor([&] { return view->PlainText() == text; }, kWaitMs);
    }

    TempDir m_registry;
    TempDir m_files;
    std::unique_ptr<CKelWatchApp> m_app;
};

TEST_F(WatchWindows, StartWithoutArgumentsOpensNoDocument)
{
    CMainFrame* frame = Start();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(frame->MdiArea()->subWindowList().isEmpty());
    EXPECT_EQ(frame->MdiArea()->viewMode(), QMdiArea::TabbedView);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("KelWatch"));
}

TEST_F(WatchWindows, StartWithAPathFollowsThatFileInOneTab)
{
    const std::string path = m_files / "server.log";
    Append(path, "첫 줄\r\nsecond\n");
    CMainFrame* frame = Start({QString::fromStdString(path)});
    ASSERT_EQ(frame->Children().size(), 1);
    CKelWatchView* view = frame->Children().first()->GetView();
    EXPECT_EQ(frame->Children().first()->windowTitle(), QStringLiteral("server.log"));
    EXPECT_TRUE(WaitForText(view, QStringLiteral("첫 줄\nsecond\n")));
    EXPECT_EQ(view->Selection().Caret(), view->Lines().End()); // caret at the end

    Append(path, "third\n");
    EXPECT_TRUE(WaitForText(view, QStringLiteral("첫 줄\nsecond\nthird\n")));
    EXPECT_EQ(view->Lines().LineCount(), 3u);
}

TEST_F(WatchWindows, MissingFileOpensAnEmptyViewThatPicksUpTheFileLater)
{
    const std::string path = m_files / "later.log";
    CMainFrame* frame = Start({QString::fromStdString(path)});
    ASSERT_EQ(frame->Children().size(), 1);
    CKelWatchView* view = frame->Children().first()->GetView();
    QTest::qWait(300);
    EXPECT_TRUE(view->PlainText().isEmpty());
    Append(path, "created\n");
    EXPECT_TRUE(WaitForText(view, QStringLiteral("created\n")));
}

TEST_F(WatchWindows, ViewIsLightGreyOnBlackInAKoreanMonospaceFont)
{
    const std::string path = m_files / "a.log";
    Append(path, "x\n");
    CKelWatchView* view = Start({QString::fromStdString(path)})->Children().first()->GetView();
    EXPECT_EQ(view->palette().color(QPalette::Active, QPalette::Text), QColor(192, 192, 192));
    EXPECT_EQ(view->palette().color(QPalette::Active, QPalette::Base), QColor(0, 0, 0));
    EXPECT_EQ(view->font().families().value(0), QStringLiteral("돋움체"));
    EXPECT_EQ(view->font().pixelSize(), CKelWatchView::FontPixelHeight(view->logicalDpiY()));
    EXPECT_EQ(CKelWatchView::FontPixelHeight(96), 12);
    EXPECT_EQ(CKelWatchView::FontPixelHeight(120), 15);
    EXPECT_EQ(CKelWatchView::FontPixelHeight(100), 13); // 12.5 rounds up
    // A look changes the frame, not the view's colours.
    Start({QString::fromStdString(path)});
    view = m_app->MainFrame()->Children().first()->GetView();
    m_app->MainFrame()->OnApplicationLook(ID_VIEW_APPLOOK_OFF_2007_BLACK);
    EXPECT_EQ(view->palette().color(QPalette::Active, QPalette::Text), QColor(192, 192, 192));
    EXPECT_EQ(view->palette().color(QPalette::Active, QPalette::Base), QColor(0, 0, 0));
}

TEST_F(WatchWindows, ViewRefusesTypingButAllowsSelectingAndCopying)
{
    const std::string path = m_files / "copy.log";
    Append(path, "select me\n");
    CKelWatchView* view = Start({QString::fromStdString(path)})->Children().first()->GetView();
    ASSERT_TRUE(WaitForText(view, QStringLiteral("select me\n")));
    view->setFocus();
    QTest::keyClicks(view, QStringLiteral("typed"));
    QTest::keyClick(view, Qt::Key_Backspace);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(view->PlainText(), QStringLiteral("select me\n"));

    QApplication::clipboard()->clear();
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("select me\n"));

    // The commands of the ribbon: paste and cut change nothing.
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    m_app->MainFrame()->Action(ID_EDIT_SELECT_ALL)->trigger();
    m_app->MainFrame()->Action(ID_EDIT_PASTE)->trigger();
    m_app->MainFrame()->Action(ID_EDIT_CUT)->trigger();
    EXPECT_EQ(view->PlainText(), QStringLiteral("select me\n"));
    m_app->MainFrame()->Action(ID_EDIT_COPY)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("select me\n"));
}

TEST_F(WatchWindows, ChosenLookIsCheckedStoredAndUsedAtTheNextStart)
{
    CMainFrame* frame = Start();
    EXPECT_EQ(frame->CurrentLook(), ID_VIEW_APPLOOK_OFF_2007_BLUE); // nothing stored yet
    EXPECT_TRUE(frame->Action(ID_VIEW_APPLOOK_OFF_2007_BLUE)->isChecked());

    frame->Action(ID_VIEW_APPLOOK_OFF_2007_SILVER)->trigger();
    EXPECT_EQ(frame->CurrentLook(), ID_VIEW_APPLOOK_OFF_2007_SILVER);
    EXPECT_TRUE(frame->Action(ID_VIEW_APPLOOK_OFF_2007_SILVER)->isChecked());
    EXPECT_FALSE(frame->Action(ID_VIEW_APPLOOK_OFF_2007_BLUE)->isChecked());
    EXPECT_EQ(m_app->GetProfileInt(L"Workspace", L"ApplicationLook", 0), ID_VIEW_APPLOOK_OFF_2007_SILVER);
    const QColor silver = QApplication::palette().color(QPalette::Window);

    frame = Start(); // the next start
    EXPECT_EQ(frame->CurrentLook(), ID_VIEW_APPLOOK_OFF_2007_SILVER);
    EXPECT_TRUE(frame->Action(ID_VIEW_APPLOOK_OFF_2007_SILVER)->isChecked());
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), silver);

    frame->Action(ID_VIEW_APPLOOK_WIN_2000)->trigger();
    EXPECT_NE(QApplication::palette().color(QPalette::Window), silver);
    EXPECT_EQ(QApplication::style()->name().toLower(), QStringLiteral("windows"));
}

TEST_F(WatchWindows, UnknownStoredLookChecksNothingAndUsesTheBlueStyle)
{
    m_app = std::make_unique<CKelWatchApp>(QStringList());
    m_app->SetRegistryKey(CKelWatchApp::kRegistryKey);
    m_app->WriteProfileInt(L"Workspace", L"ApplicationLook", 999);
    m_app.reset();
    CMainFrame* frame = Start();
    EXPECT_EQ(frame->CurrentLook(), 999u);
    for (UINT id = ID_VIEW_APPLOOK_WIN_2000; id <= ID_VIEW_APPLOOK_OFF_2007_AQUA; ++id)
        EXPECT_FALSE(frame->Action(id)->isChecked()) << id;
    const QColor unknown = QApplication::palette().color(QPalette::Window);
    frame->OnApplicationLook(ID_VIEW_APPLOOK_OFF_2007_BLUE);
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), unknown);
}

TEST_F(WatchWindows, RibbonMenusAndStatusBarCarryTheirLabels)
{
    CMainFrame* frame = Start();
    EXPECT_EQ(frame->Ribbon()->ApplicationButton()->text(), QStringLiteral("파일"));
    EXPECT_EQ(frame->Ribbon()->Categories()->tabText(0), QStringLiteral("홈(&H)"));
    QStringList captions;
    for (CRibbonPanel* panel : frame->Ribbon()->Panels())
        captions << panel->Caption();
    EXPECT_EQ(captions, QStringList({"클립보드", "보기", "동작", "창"}));
    EXPECT_EQ(frame->Action(ID_LOGGING_START)->text(), QStringLiteral("로깅 시작"));
    EXPECT_EQ(frame->Action(ID_LOGGING_STOP)->text(), QStringLiteral("로깅 중지"));
    EXPECT_EQ(frame->Action(ID_VIEW_STATUS_BAR)->text(), QStringLiteral("상태 표시줄"));
    EXPECT_EQ(frame->Action(ID_WINDOW_MANAGER)->text(), QStringLiteral("창(&W)..."));
    EXPECT_EQ(frame->Action(ID_VIEW_APPLOOK_OFF_2007_AQUA)->text(), QStringLiteral("바다색 스타일(&A)"));
    EXPECT_EQ(frame->StatusPane(ID_STATUSBAR_PANE1)->text(), QStringLiteral("창 1"));
    EXPECT_EQ(frame->StatusPane(ID_STATUSBAR_PANE2)->text(), QStringLiteral("창 2"));

    frame->Action(ID_VIEW_STATUS_BAR)->trigger();
    EXPECT_FALSE(frame->statusBar()->isVisible());
    frame->Action(ID_VIEW_STATUS_BAR)->trigger();
    EXPECT_TRUE(frame->statusBar()->isVisible());
}

TEST_F(WatchWindows, LoggingCommandsAreEnabledAndChangeNothing)
{
    const std::string path = m_files / "quiet.log";
    Append(path, "line\n");
    CMainFrame* frame = Start({QString::fromStdString(path)});
    CKelWatchView* view = frame->Children().first()->GetView();
    ASSERT_TRUE(WaitForText(view, QStringLiteral("line\n")));
    for (UINT id : {ID_LOGGING_START, ID_LOGGING_STOP}) {
        EXPECT_TRUE(frame->Action(id)->isEnabled());
        frame->Action(id)->trigger();
    }
    EXPECT_EQ(frame->Children().size(), 1);
    EXPECT_EQ(view->PlainText(), QStringLiteral("line\n"));
    Append(path, "still followed\n");
    EXPECT_TRUE(WaitForText(view, QStringLiteral("line\nstill followed\n")));
}

TEST_F(WatchWindows, NewWindowOfADocumentSharesItsLines)
{
    const std::string path = m_files / "shared.log";
    Append(path, "1\n");
    CMainFrame* frame = Start({QString::fromStdString(path)});
    CKelWatchView* first = frame->Children().first()->GetView();
    ASSERT_TRUE(WaitForText(first, QStringLiteral("1\n")));
    frame->Action(ID_WINDOW_NEW)->trigger();
    ASSERT_EQ(frame->Children().size(), 2);
    CKelWatchView* second = frame->Children().last()->GetView();
    EXPECT_EQ(second->GetDocument(), first->GetDocument());
    EXPECT_EQ(frame->Children().first()->windowTitle(), QStringLiteral("shared.log:1"));
    EXPECT_EQ(frame->Children().last()->windowTitle(), QStringLiteral("shared.log:2"));

    Append(path, "2\n3\n");
    // Each new line lands in exactly one of the two views.
    auto both = [&] { return first->PlainText() + second->PlainText(); };
    EXPECT_TRUE(QTest::qWaitFor([&] { return both().contains(QLatin1Char('3')); }, kWaitMs));
    QTest::qWait(300); // a few more cycles: nothing may come twice
    EXPECT_EQ(both().count(QStringLiteral("1\n")), 1);
    EXPECT_EQ(both().count(QStringLiteral("2\n")), 1);
    EXPECT_EQ(both().count(QStringLiteral("3\n")), 1);
    EXPECT_EQ(first->PlainText().left(2), QStringLiteral("1\n"));

    // Closing a window keeps the document followed in the other one.
    frame->Children().last()->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame->Children().size() == 1; }, kWaitMs));
    EXPECT_EQ(frame->Children().first()->windowTitle(), QStringLiteral("shared.log"));
}

TEST_F(WatchWindows, DroppedFilesOpenAsDocuments)
{
    const std::string path = m_files / "dropped.log";
    Append(path, "dropped\n");
    CMainFrame* frame = Start();
    EXPECT_TRUE(frame->acceptDrops());
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path)), QUrl(QStringLiteral("https://example.com/x.log"))});
    frame->OpenDroppedFiles(&data); // what the frame does with a drop from the desktop
    ASSERT_EQ(frame->Children().size(), 1);
    EXPECT_TRUE(WaitForText(frame->Children().first()->GetView(), QStringLiteral("dropped\n")));
}

TEST_F(WatchWindows, NewDocumentIsUnnamedAndStaysEmpty)
{
    CMainFrame* frame = Start();
    frame->Action(ID_FILE_NEW)->trigger();
    ASSERT_EQ(frame->Children().size(), 1);
    EXPECT_EQ(frame->Children().first()->windowTitle(), QStringLiteral("KelWatch1"));
    QTest::qWait(300);
    EXPECT_TRUE(frame->Children().first()->GetView()->PlainText().isEmpty());
}

TEST_F(WatchWindows, SavingWritesTheViewTextButNeverOverTheFollowedLog)
{
    const std::string path = m_files / "keep.log";
    Append(path, "\xEF\xBB\xBFkeep\nme\n");
    CMainFrame* frame = Start({QString::fromStdString(path)});
    CChildFrame* child = frame->Children().first();
    ASSERT_TRUE(WaitForText(child->GetView(), QStringLiteral("\uFEFFkeep\nme\n")));

    const std::string copy = m_files / "copy.txt";
    EXPECT_TRUE(frame->SaveViewText(child, QString::fromStdString(copy)));
    EXPECT_EQ(kel::test::ReadBytes(copy), "\xEF\xBB\xBFkeep\r\nme\r\n");
    EXPECT_EQ(child->SavedPath(), QString::fromStdString(copy));

    EXPECT_FALSE(frame->SaveViewText(child, QString::fromStdString(path)));
    const std::string otherName = m_files / "other-name.log";
    std::filesystem::create_hard_link(path, otherName);
    EXPECT_FALSE(frame->SaveViewText(child, QString::fromStdString(otherName)));
    EXPECT_EQ(kel::test::ReadBytes(path), "\xEF\xBB\xBFkeep\nme\n");
}

// A carriage return, a no-break space or a line separator inside a line
// neither splits it nor changes in the saved text.
TEST_F(WatchWindows, CharactersInsideALineStayAsTheFileHasThem)
{
    const std::string path = m_files / "progress.log";
    const std::string lines = "10%\r50%\r100%\n1\xC2\xA0" "000\xE2\x80\xA8x\ndone\n";
    Append(path, lines);
    CMainFrame* frame = Start({QString::fromStdString(path)});
    CChildFrame* child = frame->Children().first();
    ASSERT_TRUE(QTest::qWaitFor([&] { return child->GetView()->PlainText().endsWith(QStringLiteral("done\n")); },
                                kWaitMs));
    EXPECT_EQ(child->GetView()->Lines().LineCount(), 3u);
    const std::string copy = m_files / "copy.txt";
    ASSERT_TRUE(frame->SaveViewText(child, QString::fromStdString(copy)));
    EXPECT_EQ(kel::test::ReadBytes(copy), "10%\r50%\r100%\r\n1\xC2\xA0" "000\xE2\x80\xA8x\r\ndone\r\n");
}

TEST_F(WatchWindows, SavingAnyWindowOfADocumentWritesItsFirstView)
{
    const std::string path = m_files / "two.log";
    Append(path, "1\n");
    CMainFrame* frame = Start({QString::fromStdString(path)});
    CKelWatchView* first = frame->Children().first()->GetView();
    ASSERT_TRUE(WaitForText(first, QStringLiteral("1\n")));
    frame->Action(ID_WINDOW_NEW)->trigger();
    ASSERT_EQ(frame->Children().size(), 2);
    CChildFrame* second = frame->Children().last();
    Append(path, "2\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return (first->PlainText() + second->GetView()->PlainText()).contains('2'); },
                                kWaitMs));
    const std::string copy = m_files / "saved.txt";
    ASSERT_TRUE(frame->SaveViewText(second, QString::fromStdString(copy)));
    EXPECT_EQ(QString::fromStdString(kel::test::ReadBytes(copy)), first->PlainText().replace(QLatin1String("\n"), QLatin1String("\r\n")));
}

TEST_F(WatchWindows, PrintingRendersTheViewText)
{
    const std::string path = m_files / "print.log";
    Append(path, "printed line\n");
    CKelWatchView* view = Start({QString::fromStdString(path)})->Children().first()->GetView();
    ASSERT_TRUE(WaitForText(view, QStringLiteral("printed line\n")));
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    const std::string pdf = m_files / "out.pdf";
    printer.setOutputFileName(QString::fromStdString(pdf));
    view->PrintTo(&printer);
    EXPECT_EQ(kel::test::ReadBytes(pdf).substr(0, 5), "%PDF-");
}

TEST_F(WatchWindows, WindowListShowsEveryWindowAndClosesTheChosenOne)
{
    CMainFrame* frame = Start();
    frame->NewDocument();
    frame->NewDocument();
    CWindowListDlg dialog(frame->MdiArea(), frame);
    ASSERT_EQ(dialog.List()->count(), 2);
    EXPECT_EQ(dialog.List()->item(0)->text(), QStringLiteral("KelWatch1"));
    dialog.List()->clearSelection();
    dialog.List()->item(0)->setSelected(true);
    dialog.CloseSelected();
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame->Children().size() == 1; }, kWaitMs));
    EXPECT_EQ(dialog.List()->count(), 1);
    EXPECT_EQ(frame->Children().first()->windowTitle(), QStringLiteral("KelWatch2"));
}

TEST_F(WatchWindows, BigFileArrivesInSlicesWithoutLosingALine)
{
    const std::string path = m_files / "big.log";
    std::string bytes;
    for (int i = 0; i < 200000; ++i)
        bytes += "line " + std::to_string(i) + " 한글 텍스트 padding padding\n";
    Append(path, bytes); // about 9 MB: more than one cycle's slice
    CKelWatchView* view = Start({QString::fromStdString(path)})->Children().first()->GetView();
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->Lines().LineCount() == 200000; }, kWaitMs * 3));
    EXPECT_EQ(view->Lines().Line(LineNumber(199999)), "line 199999 한글 텍스트 padding padding");
}

// The status pane says that the current view stopped following and how many
// lines came since; the follow command of the menu and ribbon resumes.
TEST_F(WatchWindows, StatusPaneCountsLinesWhileNotFollowingAndTheCommandResumes)
{
    const std::string path = m_files / "follow.log";
    Append(path, "one\ntwo\n");
    CMainFrame* frame = Start({QString::fromStdString(path)});
    CKelWatchView* view = frame->Children().first()->GetView();
    ASSERT_TRUE(WaitForText(view, QStringLiteral("one\ntwo\n")));
    QLabel* pane = frame->StatusPane(ID_STATUSBAR_FOLLOW);
    QAction* follow = frame->Action(ID_VIEW_FOLLOW);
    ASSERT_TRUE(pane && follow);
    EXPECT_TRUE(follow->isChecked());
    EXPECT_TRUE(pane->isHidden());

    view->setFocus();
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_FALSE(follow->isChecked());
    EXPECT_FALSE(pane->isHidden());
    Append(path, "three\nfour\nfive\n");
    ASSERT_TRUE(WaitForText(view, QStringLiteral("one\ntwo\nthree\nfour\nfive\n")));
    EXPECT_TRUE(pane->text().contains(QStringLiteral("새 줄 3개"))) << pane->text().toStdString();
    EXPECT_EQ(view->Selection().Caret().line.Get(), 1u);

    follow->trigger();
    EXPECT_TRUE(view->IsFollowing());
    EXPECT_TRUE(follow->isChecked());
    EXPECT_TRUE(pane->isHidden());
    EXPECT_EQ(view->Selection().Caret(), view->Lines().End());
}

// Ctrl+F opens the find bar; typing finds, F3 and Shift+F3 step, the count
// shows where the current match is, Escape closes the bar.
TEST_F(WatchWindows, FindBarFindsStepsAndCounts)
{
    const std::string path = m_files / "find.log";
    Append(path, "경고 one\nnothing\n경고 two\n");
    CMainFrame* frame = Start({QString::fromStdString(path)});
    CKelWatchView* view = frame->Children().first()->GetView();
    ASSERT_TRUE(WaitForText(view, QStringLiteral("경고 one\nnothing\n경고 two\n")));
    CFindBar* bar = frame->FindBar();
    EXPECT_FALSE(bar->isVisible());
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(bar->isVisible());
    bar->Edit()->insert(QStringLiteral("경고")); // as an input method types it
    EXPECT_EQ(view->Finder().Matches().size(), 2u);
    EXPECT_EQ(bar->CountText(), QStringLiteral("1/2"));
    QTest::keyClick(bar->Edit(), Qt::Key_F3);
    EXPECT_EQ(bar->CountText(), QStringLiteral("2/2"));
    QTest::keyClick(bar->Edit(), Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(bar->CountText(), QStringLiteral("1/2"));
    QTest::keyClick(bar->Edit(), Qt::Key_Return);
    EXPECT_EQ(bar->CountText(), QStringLiteral("2/2"));
    EXPECT_EQ(view->Selection().Start(), (STextPosition{LineNumber(2), LineColumn(0)}));
    QTest::keyClick(bar->Edit(), Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(view->Finder().IsActive());
}

TEST_F(WatchWindows, CtrlGAsksForALineAndGoesThere)
{
    const std::string path = m_files / "lines.log";
    Append(path, "one\ntwo\nthree\n");
    CMainFrame* frame = Start({QString::fromStdString(path)});
    CKelWatchView* view = frame->Children().first()->GetView();
    ASSERT_TRUE(WaitForText(view, QStringLiteral("one\ntwo\nthree\n")));
    QString label;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        label = dialog->labelText();
        dialog->setIntValue(2);
        dialog->accept();
    });
    view->setFocus();
    QTest::keyClick(view, Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(label, QStringLiteral("줄 번호 (1 - 3):"));
    EXPECT_EQ(view->Selection().Caret(), (STextPosition{LineNumber(1), LineColumn(0)}));
    EXPECT_FALSE(view->IsFollowing());
}

} // namespace
