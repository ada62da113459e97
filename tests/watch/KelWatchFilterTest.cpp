// The filter pane, highlight rules and line numbers on Qt's offscreen
// platform: the pane kept current while the file grows, a click there moving
// the view, highlight colours painted only while switched on, the choice and
// the rules kept in the profile, and the gutter shifting the text without
// shifting what a click hits.
#include "ChildFrm.h"
#include "FilterPane.h"
#include "HighlightDlg.h"
#include "KelWatchApp.h"
#include "KelWatchView.h"
#include "MainFrm.h"
#include "OffscreenApp.h"
#include "Resource.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>

#include <cstdlib>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

namespace {

using kel::test::TempDir;

// Generous: the machine may be busy; nothing here asserts on elapsed time.
constexpr int kWaitMs = 20000;

// Line `i` has "오류 <i>" when i is a multiple of 7; some lines end in CR LF,
// every 50th is longer than 8 KiB.
std::string LogLines(size_t from, size_t to)
{
    std::string text;
    for (size_t i = from; i < to; ++i) {
        text += "2026-12-08 line " + std::to_string(i) + (i % 7 == 0 ? " 오류 " + std::to_string(i) : " 정상");
        if (i % 50 == 3)
            text += " " + std::string(9000, 'x');
        text += i % 3 == 0 ? "\r\n" : "\n";
    }
    return text;
}

// The view's line numbers of the lines with "오류": the long lines come in
// pieces, so the numbers are looked up in the view, not computed.
std::vector<size_t> LinesWith(const CLineSource& lines, std::string_view word)
{
    std::vector<size_t> found;
    for (size_t line = 0; line < lines.LineCount(); ++line)
        if (lines.Line(LineNumber(line)).find(word) != std::string_view::npos)
            found.push_back(line);
    return found;
}

class WatchFilter : public ::testing::Test {
protected:
    void SetUp() override
    {
        kel::test::OffscreenApplication();
        m_path = m_dir / "filter.log";
        std::ofstream(m_path, std::ios::binary).flush();
        m_document = std::make_shared<CKelWatchDoc>();
        m_document->OnOpenDocument(CStringW(std::wstring(m_path.begin(), m_path.end())));
        m_view = std::make_unique<CKelWatchView>(m_document);
        m_view->resize(640, 320);
        m_view->show();
        m_pane = std::make_unique<CFilterPane>(m_view.get());
        m_pane->resize(640, 200);
        m_pane->show();
    }
    void TearDown() override
    {
        m_pane.reset();
        m_view.reset();
    }

    void Append(const std::string& bytes) { std::ofstream(m_path, std::ios::binary | std::ios::app) << bytes; }
    void Cycle()
    {
        do
            m_view->OnTimer(1);
        while (m_document->HasMore());
    }
    bool WaitForFilter() { return QTest::qWaitFor([&] { return m_pane->IsSearchDone(); }, kWaitMs); }
    // Clicks the list's row `row` (from the first one on screen).
    void ClickRow(size_t row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        CFilterList* list = m_pane->List();
        const QPoint point(40, static_cast<int>((static_cast<qreal>(row) + 0.5) * list->LineHeight()));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, point);
    }

    TempDir m_dir;
    std::string m_path;
    std::shared_ptr<CKelWatchDoc> m_document;
    std::unique_ptr<CKelWatchView> m_view;
    std::unique_ptr<CFilterPane> m_pane;
};

TEST_F(WatchFilter, ThePaneKeepsTheMatchingLinesCurrentAsTheFileGrows)
{
    Append(LogLines(0, 400));
    Cycle();
    m_pane->SetPattern(QStringLiteral("오류 [0-9]+"), true, true);
    ASSERT_TRUE(WaitForFilter());
    EXPECT_EQ(m_pane->Finder().MatchingLines(), LinesWith(m_view->Lines(), "오류"));
    EXPECT_EQ(m_pane->Finder().MatchingLines().size(), 58u); // 0, 7, ..., 399
    EXPECT_EQ(m_pane->StatusText(), QStringLiteral("58줄"));

    // Lines arrive in three writes, one of them cut in the middle of a line.
    for (const auto& [from, to] : {std::pair(400, 650), std::pair(650, 900)}) {
        Append(LogLines(from, to));
        Cycle();
        ASSERT_TRUE(WaitForFilter());
    }
    const std::string last = LogLines(900, 1000);
    Append(last.substr(0, last.size() / 2));
    Cycle();
    Append(last.substr(last.size() / 2));
    Cycle();
    ASSERT_TRUE(WaitForFilter());
    const std::vector<size_t> expected = LinesWith(m_view->Lines(), "오류");
    EXPECT_GE(expected.size(), 143u); // 0 to 994, plus a line cut in two
    EXPECT_EQ(m_pane->Finder().MatchingLines(), expected);
    EXPECT_EQ(m_pane->StatusText(), QStringLiteral("%L1줄").arg(expected.size()));
}

// The document read again in another encoding: the pane forgets the rows
// of the old text and lists those of the new one.
TEST_F(WatchFilter, ThePaneStartsOverWhenTheDocumentIsReadAgain)
{
    // CP949 text ("오류" twice), read at first as UTF-8 by the user's choice.
    Append("\xBF\xC0\xB7\xF9 one\nfine\n\xBF\xC0\xB7\xF9 two\n");
    ASSERT_TRUE(m_document->SetEncoding(CKelFile::UTF8_NOBOM));
    Cycle();
    m_pane->SetPattern(QStringLiteral("오류|one"), true, true);
    ASSERT_TRUE(WaitForFilter());
    EXPECT_EQ(m_pane->Finder().MatchingLines(), (std::vector<size_t>{0})); // only "one" reads right
    m_pane->List()->SetCurrentRow(0, false);

    ASSERT_TRUE(m_document->SetEncoding(CKelFile::CP949));
    Append("\xBF\xC0\xB7\xF9 three\n");
    Cycle();
    ASSERT_TRUE(WaitForFilter());
    ASSERT_EQ(m_view->Lines().LineCount(), 4u);
    EXPECT_EQ(m_view->Lines().Line(LineNumber(2)), "오류 two");
    // Every line of the new text searched, not only the one past the old count.
    EXPECT_EQ(m_pane->Finder().MatchingLines(), (std::vector<size_t>{0, 2, 3}));
    EXPECT_EQ(m_pane->StatusText(), QStringLiteral("3줄"));
    EXPECT_EQ(m_pane->List()->SelectedText(), QString()); // the old row is no row of the new text
}

// A closed pane keeps its pattern but does not search until it is shown.
TEST_F(WatchFilter, AHiddenPaneSearchesTheLinesThatCameOnceShownAgain)
{
    Append(LogLines(0, 100));
    Cycle();
    m_pane->SetPattern(QStringLiteral("오류"), false, true);
    ASSERT_TRUE(WaitForFilter());
    EXPECT_EQ(m_pane->Finder().MatchingLines().size(), 15u); // 0, 7, ..., 98
    m_pane->hide();
    Append(LogLines(100, 200));
    Cycle();
    QTest::qWait(50);
    EXPECT_EQ(m_pane->Finder().MatchingLines().size(), 15u);
    m_pane->show();
    ASSERT_TRUE(WaitForFilter());
    EXPECT_EQ(m_pane->Finder().MatchingLines(), LinesWith(m_view->Lines(), "오류"));
    EXPECT_EQ(m_pane->Finder().MatchingLines().size(), 29u);
}

TEST_F(WatchFilter, ARefusedOrEmptyPatternListsNothing)
{
    Append(LogLines(0, 50));
    Cycle();
    m_pane->SetPattern(QStringLiteral("오류"), false, true);
    ASSERT_TRUE(WaitForFilter());
    EXPECT_EQ(m_pane->Finder().MatchingLines().size(), 8u);
    m_pane->SetPattern(QStringLiteral("(오류"), true, true);
    EXPECT_TRUE(m_pane->Finder().MatchingLines().empty());
    EXPECT_TRUE(m_pane->StatusText().startsWith(QStringLiteral("잘못된 정규식: "))) << m_pane->StatusText().toStdString();
    m_pane->SetPattern(QString(), false, true);
    EXPECT_TRUE(m_pane->Finder().MatchingLines().empty());
    EXPECT_TRUE(m_pane->StatusText().isEmpty());
    // Typing into the pane's field filters too.
    QTest::keyClicks(m_pane->Edit(), QStringLiteral("LINE 4"));
    ASSERT_TRUE(WaitForFilter());
    EXPECT_TRUE(m_pane->Finder().MatchingLines().empty()); // case matters by default
    m_pane->SetPattern(QStringLiteral("LINE 4"), false, false);
    ASSERT_TRUE(WaitForFilter());
    EXPECT_EQ(m_pane->Finder().MatchingLines(), LinesWith(m_view->Lines(), "line 4")); // 4, 40-49
}

TEST_F(WatchFilter, ClickingARowMovesTheViewToItsLineAndKeysWalkTheRows)
{
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += (i == 100 || i == 900 || i == 1500 ? "needle " : "hay ") + std::to_string(i) + "\n";
    Append(text);
    Cycle();
    m_pane->SetPattern(QStringLiteral("needle"), false, true);
    ASSERT_TRUE(WaitForFilter());
    ASSERT_EQ(m_pane->Finder().MatchingLines(), (std::vector<size_t>{100, 900, 1500}));
    ASSERT_TRUE(m_view->IsFollowing());

    // No row is drawn as chosen until one is.
    auto chosenPixels = [&] {
        const QImage image = m_pane->List()->viewport()->grab().toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += image.pixelColor(x, y) == CFilterList::kSelectedRow;
        return count;
    };
    EXPECT_EQ(chosenPixels(), 0);
    ClickRow(1);
    EXPECT_GT(chosenPixels(), 0);
    EXPECT_FALSE(m_view->IsFollowing()); // the view keeps the chosen line while lines arrive
    EXPECT_EQ(m_view->Selection().Caret().line.Get(), 900u);
    EXPECT_EQ(m_view->Selection().SelectedText(m_view->Lines()), "needle 900");
    EXPECT_LE(m_view->FirstVisibleRow(), 900u);
    EXPECT_GT(m_view->FirstVisibleRow() + m_view->VisibleRows(), 900u);

    QTest::keyClick(m_pane->List(), Qt::Key_Down);
    EXPECT_EQ(m_view->Selection().Caret().line.Get(), 1500u);
    QTest::keyClick(m_pane->List(), Qt::Key_Home);
    EXPECT_EQ(m_view->Selection().Caret().line.Get(), 100u);

    // Rows selected with Shift are copied as lines.
    QTest::keyClick(m_pane->List(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(m_pane->List(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("needle 100\nneedle 900\n"));

    // A new match arrives: the rows already there stay where they are.
    Append("needle 2000\n");
    Cycle();
    ASSERT_TRUE(WaitForFilter());
    EXPECT_EQ(m_pane->Finder().MatchingLines().back(), 2000u);
    EXPECT_EQ(m_pane->List()->CurrentRow(), std::optional<size_t>(1));
}

TEST_F(WatchFilter, AListScrolledToItsEndFollowsNewMatches)
{
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "match " + std::to_string(i) + "\n";
    Append(text);
    Cycle();
    m_pane->SetPattern(QStringLiteral("match"), false, true);
    ASSERT_TRUE(WaitForFilter());
    QScrollBar* rows = m_pane->List()->verticalScrollBar();
    ASSERT_GT(rows->maximum(), 0);
    EXPECT_EQ(rows->value(), rows->maximum());
    Append("match 300\nmatch 301\n");
    Cycle();
    ASSERT_TRUE(WaitForFilter());
    EXPECT_EQ(rows->value(), rows->maximum());
    // Scrolled up, it stays.
    rows->setValue(10);
    Append("match 302\n");
    Cycle();
    ASSERT_TRUE(WaitForFilter());
    EXPECT_EQ(rows->value(), 10);
}

// Pixels of `colour` in the band of row `row` of the view; text is drawn
// smoothed, so a glyph's pixels are its colour only near enough.
int PixelsOf(const QImage& image, const CKelWatchView& view, size_t row, QColor colour, int tolerance = 0)
{
    auto near = [&](QColor pixel) {
        return std::abs(pixel.red() - colour.red()) <= tolerance && std::abs(pixel.green() - colour.green()) <= tolerance
            && std::abs(pixel.blue() - colour.blue()) <= tolerance;
    };
    int count = 0;
    const int top = static_cast<int>(static_cast<qreal>(row) * view.LineHeight());
    for (int y = top + 1; y < top + static_cast<int>(view.LineHeight()) - 1; ++y)
        for (int x = 0; x < image.width(); ++x)
            count += near(image.pixelColor(x, y));
    return count;
}

TEST_F(WatchFilter, HighlightRulesColourTheirLinesOnlyWhileSwitchedOn)
{
    Append("INFO started\nERROR 연결 실패\nplain line\n");
    Cycle();
    m_view->clearFocus();
    const QColor background(0x20, 0x40, 0xC0);
    const QColor foreground(0xFF, 0x30, 0x30);
    auto rules = std::make_shared<const CHighlightRules>(std::vector<SHighlightRule>{
        {"ERROR", false, true, 0xFFFFFF, 0x2040C0}, {"started", false, true, 0xFF3030, std::nullopt}});

    QImage plain = m_view->viewport()->grab().toImage();
    EXPECT_EQ(PixelsOf(plain, *m_view, 1, background), 0);
    EXPECT_EQ(PixelsOf(plain, *m_view, 0, foreground, 60), 0);

    m_view->SetHighlightRules(rules);
    QImage coloured = m_view->viewport()->grab().toImage();
    // The whole row of the ERROR line on its background, the text line in its colour.
    EXPECT_GT(PixelsOf(coloured, *m_view, 1, background), coloured.width() / 2 * (int(m_view->LineHeight()) - 2));
    EXPECT_GT(PixelsOf(coloured, *m_view, 0, foreground, 60), 0);
    EXPECT_EQ(PixelsOf(coloured, *m_view, 2, background), 0);
    EXPECT_EQ(PixelsOf(coloured, *m_view, 2, foreground, 60), 0);

    m_view->SetHighlightRules(nullptr);
    plain = m_view->viewport()->grab().toImage();
    EXPECT_EQ(PixelsOf(plain, *m_view, 1, background), 0);
}

TEST_F(WatchFilter, LineNumbersShiftTheTextButClicksStillHitTheirCharacter)
{
    Append("zero\none\ntwo\nthree\nfour\nfive\nsix\nseven\neight\n");
    Cycle();
    const qreal plainX = m_view->PointOf({LineNumber(5), LineColumn(2)}).x();
    m_view->SetLineNumbers(true);
    const qreal gutter = m_view->GutterWidth();
    EXPECT_GT(gutter, 0);
    EXPECT_DOUBLE_EQ(m_view->PointOf({LineNumber(5), LineColumn(2)}).x(), plainX + gutter);

    const QPointF point = m_view->PointOf({LineNumber(5), LineColumn(2)}) + QPointF(0.5, m_view->LineHeight() / 2);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, point.toPoint());
    EXPECT_EQ(m_view->Selection().Caret(), (STextPosition{LineNumber(5), LineColumn(2)}));

    // The numbers are drawn in the gutter, and it widens with the tenth line.
    m_view->clearFocus();
    const QImage image = m_view->viewport()->grab().toImage();
    int lit = 0;
    for (int y = 0; y < int(m_view->LineHeight()); ++y)
        for (int x = 0; x < int(gutter); ++x)
            lit += image.pixelColor(x, y) != CKelWatchView::kGutterBackground;
    EXPECT_GT(lit, 0);
    Append("nine\n");
    Cycle();
    EXPECT_GT(m_view->GutterWidth(), gutter);

    m_view->SetLineNumbers(false);
    EXPECT_EQ(m_view->GutterWidth(), 0);
    EXPECT_DOUBLE_EQ(m_view->PointOf({LineNumber(5), LineColumn(2)}).x(), plainX);
}

// ---- in the frame ----

class WatchFrameLook : public ::testing::Test {
protected:
    void SetUp() override
    {
        kel::test::OffscreenApplication();
        setenv("KEL_REGISTRY_ROOT", m_registry.path().c_str(), 1);
        m_path = m_files / "app.log";
        std::ofstream(m_path, std::ios::binary) << "INFO a\nERROR b\n";
    }
    void TearDown() override
    {
        m_app.reset();
        unsetenv("KEL_REGISTRY_ROOT");
    }
    CMainFrame* Start(QStringList arguments)
    {
        m_app.reset();
        m_app = std::make_unique<CKelWatchApp>(std::move(arguments));
        EXPECT_TRUE(m_app->InitInstance());
        return m_app->MainFrame();
    }

    TempDir m_registry;
    TempDir m_files;
    std::string m_path;
    std::unique_ptr<CKelWatchApp> m_app;
};

TEST_F(WatchFrameLook, HighlightingIsOffAtFirstAndTheChoiceAndRulesAreKept)
{
    CMainFrame* frame = Start({QString::fromStdString(m_path)});
    CKelWatchView* view = frame->ActiveChild()->GetView();
    EXPECT_FALSE(frame->Action(ID_VIEW_HIGHLIGHT)->isChecked());
    EXPECT_EQ(view->HighlightRules(), nullptr);
    EXPECT_EQ(frame->HighlightRules()->Rules(), CHighlightRules::Defaults());
    EXPECT_FALSE(frame->Action(ID_VIEW_LINE_NUMBERS)->isChecked());

    frame->Action(ID_VIEW_HIGHLIGHT)->trigger();
    ASSERT_NE(view->HighlightRules(), nullptr);
    EXPECT_EQ(view->HighlightRules()->Rules(), CHighlightRules::Defaults());
    const std::vector<SHighlightRule> mine = {{"경고\t[0-9]+", true, false, 0x123456, 0x654321},
                                              {"plain", false, true, 0xABCDEF, std::nullopt}};
    frame->SetHighlightRules(std::make_shared<const CHighlightRules>(mine));
    EXPECT_EQ(view->HighlightRules()->Rules(), mine);
    frame->Action(ID_VIEW_LINE_NUMBERS)->trigger();
    EXPECT_TRUE(view->HasLineNumbers());

    // The next start, and a window opened then, use them.
    frame = Start({QString::fromStdString(m_path)});
    view = frame->ActiveChild()->GetView();
    EXPECT_TRUE(frame->Action(ID_VIEW_HIGHLIGHT)->isChecked());
    ASSERT_NE(view->HighlightRules(), nullptr);
    EXPECT_EQ(view->HighlightRules()->Rules(), mine);
    EXPECT_TRUE(view->HasLineNumbers());
    frame->Action(ID_VIEW_HIGHLIGHT)->trigger();
    EXPECT_EQ(view->HighlightRules(), nullptr);

    // No rules at all is a choice too: not the defaults again.
    frame->SetHighlightRules(std::make_shared<const CHighlightRules>());
    frame = Start({});
    EXPECT_FALSE(frame->Action(ID_VIEW_HIGHLIGHT)->isChecked());
    EXPECT_TRUE(frame->HighlightRules()->Rules().empty());
}

TEST_F(WatchFrameLook, TheFilterCommandShowsThePaneOfTheCurrentWindow)
{
    CMainFrame* frame = Start({QString::fromStdString(m_path)});
    CChildFrame* first = frame->ActiveChild();
    QAction* filter = frame->Action(ID_VIEW_FILTER);
    EXPECT_FALSE(first->IsFilterShown());
    filter->trigger();
    EXPECT_TRUE(first->IsFilterShown());
    EXPECT_TRUE(filter->isChecked());
    QTest::keyClicks(first->FilterPane()->Edit(), QStringLiteral("ERROR"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->FilterPane()->Finder().MatchingLines().size() == 1; }, kWaitMs));

    CChildFrame* second = frame->OpenDocumentFile(QString::fromStdString(m_path));
    ASSERT_EQ(frame->ActiveChild(), second);
    EXPECT_FALSE(filter->isChecked()); // the new window's pane is hidden
    frame->MdiArea()->setActiveSubWindow(first);
    EXPECT_TRUE(filter->isChecked());
    // Escape in the pane closes it; the command's check follows.
    QTest::keyClick(first->FilterPane()->Edit(), Qt::Key_Escape);
    EXPECT_FALSE(first->IsFilterShown());
    EXPECT_FALSE(filter->isChecked());
}

TEST_F(WatchFrameLook, TheRulesEditorGivesBackItsRowsAndNamesABadExpression)
{
    const std::vector<SHighlightRule> rules = {{"오류", false, false, 0xFF0000, 0x000080},
                                               {"^WARN", true, true, 0xFFFF00, std::nullopt}};
    CHighlightDlg dialog(rules);
    QTableWidget* table = dialog.Table();
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(dialog.Rules(), rules);
    EXPECT_TRUE(dialog.Problem().isEmpty());

    table->setCurrentCell(1, 0);
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("up")), Qt::LeftButton);
    EXPECT_EQ(dialog.Rules(), (std::vector<SHighlightRule>{rules[1], rules[0]}));

    table->item(0, 0)->setText(QStringLiteral("^WARN("));
    EXPECT_TRUE(dialog.Problem().contains(QStringLiteral("^WARN("))) << dialog.Problem().toStdString();
    // A row left without a pattern is dropped.
    table->item(0, 0)->setText(QString());
    EXPECT_EQ(dialog.Rules(), (std::vector<SHighlightRule>{rules[0]}));
    EXPECT_TRUE(dialog.Problem().isEmpty());
}

} // namespace
