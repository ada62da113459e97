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

#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QInputDialog>
#include <QMenuBar>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMimeData>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
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

    CMainFrame* Start(QStringList arguments = {}, size_t startLine = 0, bool follow = true)
    {
        m_app.reset(); // one application object at a time
        m_app = std::make_unique<CKelWatchApp>(std::move(arguments));
        m_app->SetStartOptions(startLine, follow);
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

    // The commands of the ribbon: paste and cut are disabled and change nothing.
    EXPECT_FALSE(m_app->MainFrame()->Action(ID_EDIT_PASTE)->isEnabled());
    EXPECT_FALSE(m_app->MainFrame()->Action(ID_EDIT_CUT)->isEnabled());
    EXPECT_TRUE(m_app->MainFrame()->Action(ID_EDIT_COPY)->isEnabled());
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    m_app->MainFrame()->Action(ID_EDIT_SELECT_ALL)->trigger();
    m_app->MainFrame()->Action(ID_EDIT_PASTE)->trigger();
    m_app->MainFrame()->Action(ID_EDIT_CUT)->trigger();
    EXPECT_EQ(view->PlainText(), QStringLiteral("select me\n"));
    m_app->MainFrame()->Action(ID_EDIT_COPY)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("select me\n"));
    // Edit -> copy with line numbers, also in the view's own menu.
    QAction* numbered = m_app->MainFrame()->Action(ID_EDIT_COPY_WITH_LINE_NUMBERS);
    ASSERT_TRUE(numbered);
    EXPECT_TRUE(view->actions().contains(numbered));
    numbered->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("1\tselect me\n"));
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

// Runs the print preview command and reads the dialog once its pages are
// laid out: its title and how many pages it holds.
std::pair<QString, int> PreviewOf(CMainFrame* frame)
{
    std::pair<QString, int> seen{QString(), -1};
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QPrintPreviewDialog*>(window);
            auto* pages = dialog ? dialog->findChild<QPrintPreviewWidget*>() : nullptr;
            if (pages && dialog->isVisible() && pages->pageCount() > 0) {
                seen = {dialog->windowTitle(), pages->pageCount()};
                dialog->reject();
            }
        }
    });
    poll.start(20);
    frame->Action(ID_FILE_PRINT_PREVIEW)->trigger();
    return seen;
}

// Every previewed page is laid out before the dialog shows: a big log
// previews its first pages only, and the title says so.
TEST_F(WatchWindows, PrintPreviewOfABigLogShowsItsFirstPages)
{
    const std::string path = m_files / "big.log";
    std::string text;
    for (int i = 0; i < 30000; ++i)
        text += "line " + std::to_string(i) + "\n";
    Append(path, text);
    CMainFrame* frame = Start({QString::fromStdString(path)});
    CKelWatchView* view = frame->Children().first()->GetView();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->Lines().LineCount() == 30000; }, kWaitMs));
    const auto [title, pages] = PreviewOf(frame);
    EXPECT_EQ(pages, 200);
    EXPECT_TRUE(title.contains(QStringLiteral("처음 200쪽"))) << title.toStdString();
    EXPECT_FALSE(frame->Action(ID_FILE_PRINT_PREVIEW)->isChecked());

    // A selection of a few lines previews whole.
    view->SelectLine(100);
    const auto [selectionTitle, selectionPages] = PreviewOf(frame);
    EXPECT_EQ(selectionPages, 1);
    EXPECT_FALSE(selectionTitle.contains(QStringLiteral("처음"))) << selectionTitle.toStdString();
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
    EXPECT_EQ(view->Finder().MatchCount(), 2u);
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

// While a search goes on, the bar says how far it got.
TEST_F(WatchWindows, FindBarShowsHowFarTheSearchGot)
{
    CFindBar bar;
    bar.Edit()->setText(QStringLiteral("x"));
    bar.ShowCount(5, std::nullopt, 40, QString());
    EXPECT_EQ(bar.CountText(), QStringLiteral("5+개 (검색 중 40%)"));
    bar.ShowCount(7, 2, 99, QString());
    EXPECT_EQ(bar.CountText(), QStringLiteral("3/7+ (검색 중 99%)"));
    bar.ShowCount(7, 2, 100, QString());
    EXPECT_EQ(bar.CountText(), QStringLiteral("3/7"));
    bar.ShowCount(0, std::nullopt, 100, QString());
    EXPECT_EQ(bar.CountText(), QStringLiteral("찾을 수 없음"));
    // Big counts as the locale writes numbers.
    bar.ShowCount(9326399, 9326336, 100, QString());
    EXPECT_EQ(bar.CountText(), QStringLiteral("%L1/%L2").arg(9326337).arg(9326399));
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

// ---- encodings and several files ----

std::string Utf16(const std::u16string& text, bool bigEndian)
{
    std::string bytes;
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

constexpr UINT kEncodingCommands[] = {ID_VIEW_ENCODING_UTF8, ID_VIEW_ENCODING_CP949, ID_VIEW_ENCODING_UTF16LE,
                                      ID_VIEW_ENCODING_UTF16BE, ID_VIEW_ENCODING_SYSTEM};

// The one encoding command checked, 0 for none.
UINT CheckedEncoding(CMainFrame* frame)
{
    UINT checked = 0;
    for (UINT id : kEncodingCommands) {
        if (frame->Action(id)->isChecked()) {
            EXPECT_EQ(checked, 0u) << "two encodings checked";
            checked = id;
        }
    }
    return checked;
}

TEST_F(WatchWindows, EachPathOnTheCommandLineOpensItsOwnTabTheFirstInFront)
{
    const std::string utf8 = m_files / "utf8.log";
    const std::string cp949 = m_files / "cp949.log";
    const std::string utf16 = m_files / "utf16.log";
    Append(utf8, "\xED\x95\x9C utf-8\n");
    Append(cp949, "\x8C\x63 cp949\n"); // "똠": only in CP949
    Append(utf16, "\xFF\xFE" + Utf16(u"\uD55C utf-16\n", false));
    CMainFrame* frame = Start({QString::fromStdString(utf8), QString::fromStdString(cp949), QString::fromStdString(utf16)});
    const QList<CChildFrame*> children = frame->Children();
    ASSERT_EQ(children.size(), 3);
    EXPECT_EQ(children[0]->windowTitle(), QStringLiteral("utf8.log"));
    EXPECT_EQ(children[1]->windowTitle(), QStringLiteral("cp949.log"));
    EXPECT_EQ(children[2]->windowTitle(), QStringLiteral("utf16.log"));
    EXPECT_EQ(frame->ActiveChild(), children[0]);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("KelWatch - utf8.log"));
    EXPECT_TRUE(WaitForText(children[0]->GetView(), QStringLiteral("한 utf-8\n")));
    EXPECT_TRUE(WaitForText(children[1]->GetView(), QStringLiteral("똠 cp949\n")));
    EXPECT_TRUE(WaitForText(children[2]->GetView(), QStringLiteral("\uFEFF한 utf-16\n")));
    // Three documents, not three windows of one.
    EXPECT_NE(children[0]->GetView()->GetDocument(), children[1]->GetView()->GetDocument());
    EXPECT_NE(children[1]->GetView()->GetDocument(), children[2]->GetView()->GetDocument());
}

TEST_F(WatchWindows, AStartLineIsShownOnceReadAndNoFollowStartsAtTheTop)
{
    const std::string first = m_files / "first.log";
    const std::string second = m_files / "second.log";
    std::string lines;
    for (int i = 1; i <= 500; ++i)
        lines += "line " + std::to_string(i) + "\n";
    Append(first, lines);
    Append(second, lines);
    CMainFrame* frame = Start({QString::fromStdString(first), QString::fromStdString(second)}, 321, false);
    CKelWatchView* shown = frame->Children().first()->GetView();
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown->Selection().Caret().line.Get() == 320; }, kWaitMs))
        << shown->Selection().Caret().line.Get();
    EXPECT_FALSE(shown->IsFollowing());
    CKelWatchView* other = frame->Children().last()->GetView();
    EXPECT_TRUE(WaitForText(other, QString::fromStdString(lines)));
    EXPECT_FALSE(other->IsFollowing());
    EXPECT_EQ(other->Selection().Caret().line.Get(), 0u) << "not following: the caret stays at the top";

    // A line past the end goes to the last line once all is read.
    CMainFrame* again = Start({QString::fromStdString(first)}, 100000);
    CKelWatchView* clamped = again->Children().first()->GetView();
    EXPECT_TRUE(QTest::qWaitFor([&] { return clamped->Selection().Caret().line.Get() == 499; }, kWaitMs))
        << clamped->Selection().Caret().line.Get();
}

TEST_F(WatchWindows, TabsOfTheSameNameFromTwoFoldersAreToldApartAndTheStatusCountsTheLines)
{
    std::filesystem::create_directories(m_files.path() / "api");
    std::filesystem::create_directories(m_files.path() / "web");
    const std::string api = m_files / "api/svc.log";
    const std::string web = m_files / "web/svc.log";
    Append(api, "one\ntwo\nthree\n");
    Append(web, "only\n");
    CMainFrame* frame = Start({QString::fromStdString(api), QString::fromStdString(web)});
    const QList<CChildFrame*> children = frame->Children();
    ASSERT_EQ(children.size(), 2);
    EXPECT_EQ(children[0]->windowTitle(), QStringLiteral("svc.log — api"));
    EXPECT_EQ(children[1]->windowTitle(), QStringLiteral("svc.log — web"));
    EXPECT_EQ(children[0]->toolTip(), QString::fromStdString(api));

    QLabel* size = frame->StatusPane(ID_STATUSBAR_SIZE);
    ASSERT_TRUE(size);
    const QString threeLines = QStringLiteral("%1 · 3줄").arg(QLocale().formattedDataSize(14, 1, QLocale::DataSizeIecFormat));
    EXPECT_TRUE(QTest::qWaitFor([&] { return size->text() == threeLines; }, kWaitMs)) << size->text().toStdString();
    frame->MdiArea()->setActiveSubWindow(children[1]);
    EXPECT_TRUE(QTest::qWaitFor([&] { return size->text().endsWith(QStringLiteral(" · 1줄")); }, kWaitMs))
        << size->text().toStdString();
    Append(web, "two\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return size->text().endsWith(QStringLiteral(" · 2줄")); }, kWaitMs))
        << size->text().toStdString();

    // One of them closed: the other is its name alone again.
    children[0]->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return children[1]->windowTitle() == QStringLiteral("svc.log"); }, kWaitMs))
        << children[1]->windowTitle().toStdString();
}

TEST_F(WatchWindows, AnUnreadablePathAmongSeveralStillOpensItsEmptyTab)
{
    const std::string present = m_files / "present.log";
    const std::string missing = m_files / "missing/gone.log"; // no such folder
    Append(present, "here\n");
    CMainFrame* frame = Start({QString::fromStdString(missing), QString::fromStdString(present)});
    ASSERT_EQ(frame->Children().size(), 2);
    EXPECT_EQ(frame->ActiveChild(), frame->Children().first());
    EXPECT_TRUE(WaitForText(frame->Children().last()->GetView(), QStringLiteral("here\n")));
    EXPECT_TRUE(frame->Children().first()->GetView()->PlainText().isEmpty());
    EXPECT_EQ(frame->StatusPane(ID_STATUSBAR_ENCODING)->text(),
              QStringLiteral("파일이 없습니다: %1").arg(QString::fromStdString(missing)));
    EXPECT_EQ(CheckedEncoding(frame), 0u);
}

TEST_F(WatchWindows, OpenDialogTakesSeveralFiles)
{
    const std::string first = m_files / "first.log";
    const std::string second = m_files / "second.log";
    Append(first, "one\n");
    Append(second, "two\n");
    CMainFrame* frame = Start();
    bool severalAllowed = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        severalAllowed = dialog->fileMode() == QFileDialog::ExistingFiles;
        dialog->setDirectory(QString::fromStdString(m_files.path().string()));
        dialog->selectFile(QStringLiteral("\"first.log\" \"second.log\""));
        static_cast<QDialog*>(dialog)->accept();
    });
    frame->Action(ID_FILE_OPEN)->trigger();
    EXPECT_TRUE(severalAllowed);
    ASSERT_EQ(frame->Children().size(), 2);
    QStringList titles;
    for (CChildFrame* child : frame->Children())
        titles << child->windowTitle();
    titles.sort();
    EXPECT_EQ(titles, QStringList({"first.log", "second.log"}));
    for (CChildFrame* child : frame->Children())
        EXPECT_TRUE(WaitForText(child->GetView(), child->windowTitle().startsWith(QLatin1String("first")) ? "one\n" : "two\n"));
}

TEST_F(WatchWindows, EncodingMenuInTheViewMenuAndOnTheRibbon)
{
    CMainFrame* frame = Start();
    const QStringList labels = {"UTF-8", "CP949 (EUC-KR)", "UTF-16LE", "UTF-16BE", "시스템 코드 페이지"};
    for (int i = 0; i < labels.size(); ++i) {
        QAction* action = frame->Action(kEncodingCommands[i]);
        ASSERT_TRUE(action);
        EXPECT_EQ(action->text(), labels[i]);
        EXPECT_TRUE(action->isCheckable());
        EXPECT_FALSE(action->isEnabled()); // no document to read again
        ASSERT_TRUE(action->actionGroup());
        EXPECT_EQ(action->actionGroup(), frame->Action(ID_VIEW_ENCODING_UTF8)->actionGroup());
    }
    QAction* detect = frame->Action(ID_VIEW_ENCODING_DETECT);
    EXPECT_EQ(detect->text(), QStringLiteral("다시 감지(&D)"));
    EXPECT_FALSE(detect->isCheckable());
    EXPECT_EQ(detect->actionGroup(), nullptr);

    // 보기(&V) > 인코딩(&C), holding the six.
    QMenu* encodings = nullptr;
    for (QAction* top : frame->menuBar()->actions())
        if (top->text() == QStringLiteral("보기(&V)") && top->menu())
            for (QAction* item : top->menu()->actions())
                if (item->text() == QStringLiteral("인코딩(&C)"))
                    encodings = item->menu();
    ASSERT_TRUE(encodings);
    QList<QAction*> items = encodings->actions();
    items.removeIf([](QAction* item) { return item->isSeparator(); });
    ASSERT_EQ(items.size(), 6);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(items[i], frame->Action(kEncodingCommands[i]));
    EXPECT_EQ(items[5], detect);

    // The ribbon's view panel has a button opening the same menu.
    bool onRibbon = false;
    for (CRibbonPanel* panel : frame->Ribbon()->Panels())
        if (panel->Caption() == QStringLiteral("보기"))
            for (QToolButton* button : panel->findChildren<QToolButton*>())
                if (button->defaultAction() == encodings->menuAction())
                    onRibbon = button->popupMode() == QToolButton::InstantPopup;
    EXPECT_TRUE(onRibbon);
}

TEST_F(WatchWindows, ChoosingUtf16BigEndianReadsTheFileAgain)
{
    const std::string path = m_files / "be.log";
    Append(path, Utf16(u"빅 엔디언 첫 줄\nsecond \u00E9\n", true)); // no mark
    CMainFrame* frame = Start({QString::fromStdString(path)});
    CKelWatchView* view = frame->Children().first()->GetView();
    QLabel* pane = frame->StatusPane(ID_STATUSBAR_ENCODING);
    // No known encoding fits: shown as UTF-8 with replacement characters,
    // no encoding checked, and said so.
    const QString fallback = QStringLiteral("UTF-8 (맞는 인코딩 없음: 대체 문자로 표시)");
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->GetDocument()->IsUtf8Fallback(); }, kWaitMs));
    EXPECT_TRUE(view->GetDocument()->IsFollowing());
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane->text() == fallback; }, kWaitMs)) << pane->text().toStdString();
    EXPECT_NE(view->PlainText(), QStringLiteral("빅 엔디언 첫 줄\nsecond \u00E9\n"));
    EXPECT_EQ(CheckedEncoding(frame), 0u);

    QAction* bigEndian = frame->Action(ID_VIEW_ENCODING_UTF16BE);
    EXPECT_TRUE(bigEndian->isEnabled());
    bigEndian->trigger();
    EXPECT_TRUE(bigEndian->isChecked());
    EXPECT_EQ(pane->text(), QStringLiteral("UTF-16BE"));
    EXPECT_TRUE(WaitForText(view, QStringLiteral("빅 엔디언 첫 줄\nsecond \u00E9\n")));
    Append(path, Utf16(u"셋\n", true));
    EXPECT_TRUE(WaitForText(view, QStringLiteral("빅 엔디언 첫 줄\nsecond \u00E9\n셋\n")));

    // Detecting again: nothing checked until the detection is done.
    frame->Action(ID_VIEW_ENCODING_DETECT)->trigger();
    EXPECT_EQ(CheckedEncoding(frame), 0u);
    EXPECT_EQ(pane->text(), QStringLiteral("감지 중"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane->text() == fallback; }, kWaitMs)) << pane->text().toStdString();
    EXPECT_FALSE(bigEndian->isChecked());
}

TEST_F(WatchWindows, AMissingFileIsNamedInTheStatusPaneUntilItAppears)
{
    const std::string path = m_files / "not-yet.log";
    CMainFrame* frame = Start({QString::fromStdString(path)});
    QLabel* pane = frame->StatusPane(ID_STATUSBAR_ENCODING);
    const QString missing = QStringLiteral("파일이 없습니다: %1").arg(QString::fromStdString(path));
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane->text() == missing; }, kWaitMs)) << pane->text().toStdString();
    Append(path, "arrived\n");
    CKelWatchView* view = frame->Children().first()->GetView();
    EXPECT_TRUE(WaitForText(view, QStringLiteral("arrived\n")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane->text() != missing; }, kWaitMs));
}

TEST_F(WatchWindows, EncodingCheckAndStatusPaneFollowTheActiveTab)
{
    const std::string utf8 = m_files / "a.log";
    const std::string euckr = m_files / "b.log";
    const std::string ascii = m_files / "c.log";
    const std::string utf16 = m_files / "d.log";
    Append(utf8, "\xEF\xBB\xBF\xED\x95\x9C\n");
    Append(euckr, "\xC7\xD1\xB1\xDB\n");
    Append(ascii, "plain\n");
    Append(utf16, "\xFF\xFE" + Utf16(u"x\n", false));
    CMainFrame* frame = Start({QString::fromStdString(utf8), QString::fromStdString(euckr), QString::fromStdString(ascii),
                               QString::fromStdString(utf16)});
    const QList<CChildFrame*> children = frame->Children();
    ASSERT_EQ(children.size(), 4);
    QLabel* pane = frame->StatusPane(ID_STATUSBAR_ENCODING);
    ASSERT_TRUE(pane);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane->text() == QStringLiteral("UTF-8"); }, kWaitMs)) << pane->text().toStdString();
    EXPECT_FALSE(pane->isHidden());
    EXPECT_EQ(CheckedEncoding(frame), ID_VIEW_ENCODING_UTF8);

    const struct {
        int tab;
        UINT checked;
        QString status;
    } expected[] = {
        {1, ID_VIEW_ENCODING_CP949, QStringLiteral("EUC-KR")},
        {2, ID_VIEW_ENCODING_SYSTEM, QStringLiteral("ASCII (아직 정하지 않음)")}, // 7-bit text decides nothing
        {3, ID_VIEW_ENCODING_UTF16LE, QStringLiteral("UTF-16LE")},
        {0, ID_VIEW_ENCODING_UTF8, QStringLiteral("UTF-8")},
    };
    for (const auto& tab : expected) {
        SCOPED_TRACE(tab.tab);
        CKelWatchView* view = children[tab.tab]->GetView();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->GetDocument()->GetEncoding() != CKelFile::UNDETECTED; }, kWaitMs));
        frame->MdiArea()->setActiveSubWindow(children[tab.tab]);
        EXPECT_EQ(CheckedEncoding(frame), tab.checked);
        EXPECT_EQ(pane->text(), tab.status);
    }

    // A choice in one tab is that document's alone.
    frame->MdiArea()->setActiveSubWindow(children[2]);
    frame->Action(ID_VIEW_ENCODING_CP949)->trigger();
    EXPECT_EQ(pane->text(), QStringLiteral("CP949"));
    frame->MdiArea()->setActiveSubWindow(children[3]);
    EXPECT_EQ(CheckedEncoding(frame), ID_VIEW_ENCODING_UTF16LE);
    EXPECT_EQ(children[3]->GetView()->GetDocument()->GetEncoding(), CKelFile::UTF16_LE);
    frame->MdiArea()->setActiveSubWindow(children[2]);
    EXPECT_EQ(CheckedEncoding(frame), ID_VIEW_ENCODING_CP949);

    // With the last tab closed there is nothing to show or choose.
    for (CChildFrame* child : children)
        child->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->Children().isEmpty(); }, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane->isHidden(); }, kWaitMs));
    EXPECT_EQ(CheckedEncoding(frame), 0u);
    EXPECT_FALSE(frame->Action(ID_VIEW_ENCODING_UTF8)->isEnabled());
}

TEST_F(WatchWindows, AnEncodingThatCannotBeShownSaysSoAndAChoiceShowsTheFile)
{
    const std::string path = m_files / "utf32.log";
    Append(path, std::string("\0\0\xFE\xFF\0\0\0a\0\0\0\n", 12));
    CMainFrame* frame = Start({QString::fromStdString(path)});
    CKelWatchView* view = frame->Children().first()->GetView();
    QLabel* pane = frame->StatusPane(ID_STATUSBAR_ENCODING);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane->text() == QStringLiteral("지원하지 않음 (UTF32_BE)"); }, kWaitMs))
        << pane->text().toStdString();
    EXPECT_EQ(CheckedEncoding(frame), 0u);
    frame->Action(ID_VIEW_ENCODING_UTF16BE)->trigger();
    // Read as UTF-16BE: U+0000 ends a line, then U+FEFF, U+0000, U+0061, ...
    EXPECT_TRUE(WaitForText(view, QStringLiteral("\n\uFEFF\na\n\n")));
    EXPECT_EQ(pane->text(), QStringLiteral("UTF-16BE"));
}

} // namespace
