// The view widget on Qt's offscreen platform: following, caret and scrolling,
// selection with keyboard and mouse, copying, what it paints, saving and
// printing.
#include "KelWatchView.h"
#include "OffscreenApp.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QImage>
#include <QMouseEvent>
#include <QPrinter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <vector>

#include <sys/stat.h>

namespace {

using kel::test::TempDir;

class WatchView : public ::testing::Test {
protected:
    void SetUp() override
    {
        kel::test::OffscreenApplication();
        m_path = m_dir / "view.log";
        std::ofstream(m_path, std::ios::binary).flush();
        m_document = std::make_shared<CKelWatchDoc>();
        m_document->OnOpenDocument(CStringW(std::wstring(m_path.begin(), m_path.end())));
        m_view = std::make_unique<CKelWatchView>(m_document);
        m_view->resize(480, 320);
        m_view->show();
        m_view->setFocus();
    }

    void Append(const std::string& bytes) { std::ofstream(m_path, std::ios::binary | std::ios::app) << bytes; }
    // Every cycle the view needs to take what the file has now.
    void Cycle()
    {
        do
            m_view->OnTimer(1);
        while (m_document->HasMore());
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(m_view.get(), key, modifiers); }
    void Mouse(QEvent::Type type, STextPosition at, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QPointF point = m_view->PointOf(at) + QPointF(0.5, m_view->LineHeight() / 2);
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, point, m_view->viewport()->mapToGlobal(point), Qt::LeftButton, held, modifiers);
        QApplication::sendEvent(m_view->viewport(), &event);
    }
    std::string Selected() const { return m_view->Selection().SelectedText(m_view->Lines()); }
    static STextPosition At(size_t line, size_t column) { return {LineNumber(line), LineColumn(column)}; }
    QScrollBar* Vertical() const { return m_view->verticalScrollBar(); }
    QScrollBar* Horizontal() const { return m_view->horizontalScrollBar(); }

    TempDir m_dir;
    std::string m_path;
    std::shared_ptr<CKelWatchDoc> m_document;
    std::unique_ptr<CKelWatchView> m_view;
};

std::string NumberedLines(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "line " + std::to_string(i) + "\n";
    return text;
}

TEST_F(WatchView, WhileFollowingTheCaretGoesToTheEndAfterEveryCycleThatBringsText)
{
    Append(NumberedLines(300));
    Cycle();
    ASSERT_EQ(m_view->Lines().LineCount(), 300u);
    EXPECT_TRUE(m_view->IsFollowing());
    EXPECT_EQ(m_view->Selection().Caret(), m_view->Lines().End());
    EXPECT_GT(Vertical()->maximum(), 0);
    EXPECT_EQ(Vertical()->value(), Vertical()->maximum());
    EXPECT_GE(m_view->FirstVisibleRow() + m_view->VisibleRows(), m_view->Lines().RowCount());

    // Arrows at the end move nowhere else: still following.
    Key(Qt::Key_Down);
    Append("line 300\n");
    Cycle();
    EXPECT_TRUE(m_view->IsFollowing());
    EXPECT_EQ(m_view->Selection().Caret(), m_view->Lines().End());
    EXPECT_EQ(Vertical()->value(), Vertical()->maximum());
}

// Scrolled up or selecting, the user keeps the place and the selection while
// lines arrive, and is told how many came; End or Ctrl+End shows them.
TEST_F(WatchView, ScrolledUpNewLinesDoNotMoveTheViewAndEndResumesFollowing)
{
    std::vector<std::pair<bool, qulonglong>> signalled;
    QObject::connect(m_view.get(), &CKelWatchView::followChanged,
                     [&](bool following, qulonglong since) { signalled.emplace_back(following, since); });
    Append(NumberedLines(300));
    Cycle();
    EXPECT_TRUE(signalled.empty()); // following from the start

    // Keyboard: to the top and a selection.
    Key(Qt::Key_Home, Qt::ControlModifier);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_FALSE(m_view->IsFollowing());
    Append("line 300\nline 301\n");
    Cycle();
    Append("line 302\n");
    Cycle();
    EXPECT_EQ(m_view->Lines().LineCount(), 303u);
    EXPECT_EQ(Selected(), "li");
    EXPECT_EQ(Vertical()->value(), 0);
    EXPECT_EQ(m_view->LinesSinceFollowStopped(), 3u);
    using Signal = std::pair<bool, qulonglong>;
    EXPECT_EQ(signalled, (std::vector<Signal>{{false, 0}, {false, 2}, {false, 3}}));

    Key(Qt::Key_End);
    EXPECT_TRUE(m_view->IsFollowing());
    EXPECT_EQ(m_view->LinesSinceFollowStopped(), 0u);
    EXPECT_TRUE(m_view->Selection().IsEmpty());
    EXPECT_EQ(Vertical()->value(), Vertical()->maximum());
    EXPECT_GE(m_view->FirstVisibleRow() + m_view->VisibleRows(), m_view->Lines().RowCount()); // line 302 shows
    EXPECT_EQ(signalled.back(), Signal(true, 0));

    // The wheel up: the first visible row stays while lines arrive.
    const QPointF centre(100, 100);
    QWheelEvent up(centre, m_view->viewport()->mapToGlobal(centre), {}, QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_view->viewport(), &up);
    EXPECT_FALSE(m_view->IsFollowing());
    const size_t first = m_view->FirstVisibleRow();
    EXPECT_LT(first + m_view->VisibleRows(), m_view->Lines().RowCount());
    Append(NumberedLines(50));
    Cycle();
    EXPECT_EQ(m_view->FirstVisibleRow(), first);
    EXPECT_EQ(m_view->LinesSinceFollowStopped(), 50u);
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_TRUE(m_view->IsFollowing());
    EXPECT_EQ(Vertical()->value(), Vertical()->maximum());

    // The scroll bar dragged up, then a mouse selection; SetFollowing resumes.
    Vertical()->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_FALSE(m_view->IsFollowing());
    m_view->SetFollowing(true);
    EXPECT_EQ(Vertical()->value(), Vertical()->maximum());
    Mouse(QEvent::MouseButtonPress, At(m_view->FirstVisibleRow(), 0));
    Mouse(QEvent::MouseMove, At(m_view->FirstVisibleRow(), 4));
    Mouse(QEvent::MouseButtonRelease, At(m_view->FirstVisibleRow(), 4));
    EXPECT_FALSE(m_view->IsFollowing());
    const std::string selected = Selected();
    EXPECT_EQ(selected, "line");
    Append(NumberedLines(5));
    Cycle();
    EXPECT_EQ(Selected(), selected);
    m_view->SetFollowing(true);
    EXPECT_TRUE(m_view->Selection().IsEmpty());
    EXPECT_EQ(m_view->Selection().Caret(), m_view->Lines().End());
}

// Find selects the match after the caret, F3 and Shift+F3 go round, every
// visible match is highlighted with the current one apart, and lines that
// arrive later are searched too.
TEST_F(WatchView, FindGoesRoundHighlightsAndKeepsSearchingAsTheFileGrows)
{
    Append("alpha 오류 one\nbeta\n오류 two 오류 three\n");
    Cycle();
    std::vector<STextPosition> atFind;
    QObject::connect(m_view.get(), &CKelWatchView::findChanged, [&] { atFind.push_back(m_view->Selection().Start()); });
    Key(Qt::Key_Home, Qt::ControlModifier);
    Key(Qt::Key_Down);
    m_view->SetFollowing(true);
    m_view->Find(QStringLiteral("오류"), false, true);
    EXPECT_FALSE(m_view->IsFollowing()); // a find stops following
    EXPECT_TRUE(m_view->IsFindDone());
    EXPECT_FALSE(atFind.empty());
    ASSERT_EQ(m_view->Finder().MatchCount(), 3u);
    // Following put the caret at the end: the find went round to the first match.
    EXPECT_EQ(m_view->CurrentMatch(), 0u);
    EXPECT_EQ(Selected(), "오류");
    EXPECT_EQ(m_view->Selection().Start(), At(0, 6));

    m_view->FindNext();
    EXPECT_EQ(m_view->CurrentMatch(), 1u);
    EXPECT_EQ(m_view->Selection().Start(), At(2, 0));
    m_view->FindNext();
    EXPECT_EQ(m_view->Selection().Start(), At(2, 11));
    m_view->FindNext();
    EXPECT_EQ(m_view->CurrentMatch(), 0u); // round to the first
    m_view->FindPrevious();
    EXPECT_EQ(m_view->CurrentMatch(), 2u); // and back round to the last

    // Painted: the current match in its own colour, the others in theirs.
    const QImage image = m_view->viewport()->grab().toImage();
    auto colourAt = [&](STextPosition at) {
        const QPointF point = m_view->PointOf(at) + QPointF(2, m_view->LineHeight() / 2);
        return image.pixelColor(point.toPoint());
    };
    const QColor current = colourAt(At(2, 11));
    const QColor other = colourAt(At(2, 0));
    EXPECT_NE(current, other);
    EXPECT_EQ(colourAt(At(0, 6)), other);
    EXPECT_NE(other, QColor(Qt::black));
    EXPECT_NE(current, QColor(Qt::black));
    EXPECT_EQ(colourAt(At(1, 0)), QColor(Qt::black)); // "beta": no match

    // New lines are searched as they arrive; the place and selection stay.
    Append("four 오류\n");
    Cycle();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_view->IsFindDone(); }, 5000));
    EXPECT_EQ(m_view->Finder().MatchCount(), 4u);
    EXPECT_EQ(m_view->Selection().Start(), At(2, 11));
    m_view->FindNext();
    EXPECT_EQ(m_view->Selection().Start(), At(3, 5));

    // Case and expressions; an invalid one finds nothing.
    m_view->Find(QStringLiteral("ALPHA"), false, true);
    EXPECT_EQ(m_view->Finder().MatchCount(), 0u);
    m_view->Find(QStringLiteral("ALPHA"), false, false);
    EXPECT_EQ(m_view->Finder().MatchCount(), 1u);
    m_view->Find(QStringLiteral("t[a-z]+"), true, true);
    EXPECT_EQ(m_view->Finder().MatchCount(), 3u); // "ta" of beta, "two", "three"
    m_view->Find(QStringLiteral("(bad"), true, true);
    EXPECT_EQ(m_view->Finder().MatchCount(), 0u);
    EXPECT_FALSE(m_view->Finder().ErrorString().empty());
    m_view->ClearFind();
    EXPECT_FALSE(m_view->Finder().IsActive());
}

// A big log is searched a slice at a time: Find returns before the whole
// text is searched, and the events loop finishes it.
TEST_F(WatchView, FindInABigLogRunsInSlices)
{
    std::string text;
    for (int i = 0; i < 400000; ++i)
        text += "line " + std::to_string(i) + " 로그 메시지 payload payload payload\n";
    Append(text + "needle\n");
    // A file this big has its encoding detected beside the cycles.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        Cycle();
        return m_view->Lines().LineCount() == 400001;
    }, 60000));
    // A pattern that costs work at every position, so that no machine
    // searches these 20 MB within one slice.
    m_view->Find(QStringLiteral("[a-z ]*[a-z ]*n[e]+dle"), true, false);
    EXPECT_FALSE(m_view->IsFindDone());
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_view->IsFindDone(); }, 60000));
    ASSERT_EQ(m_view->Finder().MatchCount(), 1u);
    EXPECT_EQ(Selected(), "needle"); // the step waited for the search to get there
}

// UTF-16BE without a mark: detection takes it for something else.
std::string Utf16BigEndian(const std::u16string& text)
{
    std::string bytes;
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit >> 8);
        bytes += static_cast<char>(unit & 0xFF);
    }
    return bytes;
}

// Read again in another encoding, the view drops what it showed and starts
// as a new view: caret at the end, following, a find searching the new text.
TEST_F(WatchView, ReadAgainInAnotherEncodingTheViewStartsOver)
{
    Append(Utf16BigEndian(u"첫 경고 줄\n둘째\n경고 셋\n"));
    Cycle();
    ASSERT_NE(m_document->GetEncoding(), CKelFile::UTF16_BE);
    const QString garbled = m_view->PlainText();
    EXPECT_FALSE(garbled.contains(QStringLiteral("경고")));
    // The user selects, stops following and looks for a word.
    Key(Qt::Key_Home, Qt::ControlModifier);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    m_view->Find(QStringLiteral("경고"), false, true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_view->IsFindDone(); }, 20000));
    EXPECT_EQ(m_view->Finder().MatchCount(), 0u);
    EXPECT_FALSE(m_view->IsFollowing());
    std::vector<std::pair<bool, qulonglong>> follow;
    QObject::connect(m_view.get(), &CKelWatchView::followChanged,
                     [&](bool following, qulonglong since) { follow.emplace_back(following, since); });
    int encodingSignals = 0;
    QObject::connect(m_view.get(), &CKelWatchView::encodingChanged, [&] { ++encodingSignals; });

    ASSERT_TRUE(m_document->SetEncoding(CKelFile::UTF16_BE));
    Cycle();
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("첫 경고 줄\n둘째\n경고 셋\n"));
    EXPECT_EQ(m_view->Lines().LineCount(), 3u);
    EXPECT_TRUE(m_view->IsFollowing());
    EXPECT_EQ(follow, (std::vector<std::pair<bool, qulonglong>>{{true, 0}}));
    EXPECT_EQ(encodingSignals, 1);
    EXPECT_TRUE(m_view->Selection().IsEmpty());
    EXPECT_EQ(m_view->Selection().Caret(), m_view->Lines().End());
    EXPECT_EQ(m_view->LinesSinceFollowStopped(), 0u);
    ASSERT_TRUE(m_view->Finder().IsActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_view->IsFindDone(); }, 20000));
    ASSERT_EQ(m_view->Finder().MatchCount(), 2u);
    EXPECT_EQ(m_view->Finder().MatchAt(m_view->Lines(), 0).line, LineNumber(0));
    EXPECT_EQ(m_view->Finder().MatchAt(m_view->Lines(), 1).line, LineNumber(2));
    EXPECT_TRUE(m_view->IsFollowing()); // searching again moves nowhere

    // Further lines come once, after the text read again.
    Append(Utf16BigEndian(u"넷\n"));
    Cycle();
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("첫 경고 줄\n둘째\n경고 셋\n넷\n"));
}

// Each view of the document drops its own share of the old text; the view
// that reads next takes the whole file in the new encoding.
TEST_F(WatchView, EveryViewOfTheDocumentDropsItsText)
{
    CKelWatchView second(m_document);
    second.resize(480, 320);
    Append("\xEB\xA1\x9C\xEA\xB7\xB8 one\n"); // UTF-8
    Cycle();
    Append("\xEB\xA1\x9C\xEA\xB7\xB8 two\n");
    second.OnTimer(1);
    ASSERT_EQ(m_view->Lines().LineCount(), 1u);
    ASSERT_EQ(second.Lines().LineCount(), 1u);

    ASSERT_TRUE(m_document->SetEncoding(CKelFile::CP949));
    Cycle();
    second.OnTimer(1);
    EXPECT_EQ(m_view->Lines().LineCount(), 2u);
    EXPECT_FALSE(m_view->PlainText().contains(QStringLiteral("로그")));
    EXPECT_EQ(second.Lines().LineCount(), 0u);
    EXPECT_TRUE(second.PlainText().isEmpty());

    ASSERT_TRUE(m_document->SetEncoding(CKelFile::UTF8_NOBOM));
    second.OnTimer(1);
    Cycle();
    EXPECT_EQ(second.PlainText(), QStringLiteral("로그 one\n로그 two\n"));
    EXPECT_EQ(m_view->Lines().LineCount(), 0u);
    // A view opened now starts with the current generation: nothing to drop.
    CKelWatchView third(m_document);
    Append("\xEB\xA1\x9C\xEA\xB7\xB8 three\n");
    third.OnTimer(1);
    third.OnTimer(1);
    EXPECT_EQ(third.PlainText(), QStringLiteral("로그 three\n"));
}

TEST_F(WatchView, GoToLineShowsItInTheMiddleAndStopsFollowing)
{
    Append(NumberedLines(300));
    Cycle();
    m_view->GoToLine(150);
    EXPECT_FALSE(m_view->IsFollowing());
    EXPECT_EQ(m_view->Selection().Caret(), At(149, 0));
    EXPECT_TRUE(m_view->Selection().IsEmpty());
    const size_t first = m_view->FirstVisibleRow();
    EXPECT_LE(first, 149u);
    EXPECT_GT(first + m_view->VisibleRows(), 149u);
    EXPECT_LE(149 - first, m_view->VisibleRows() / 2 + 1);
    m_view->GoToLine(0);
    EXPECT_EQ(m_view->Selection().Caret(), At(0, 0));
    EXPECT_EQ(Vertical()->value(), 0);
    m_view->GoToLine(100000);
    EXPECT_EQ(m_view->Selection().Caret(), At(299, 0));
}

TEST_F(WatchView, TypingPastingAndCuttingChangeNothing)
{
    Append("abc\n");
    Cycle();
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTest::keyClicks(m_view.get(), QStringLiteral("typed"));
    Key(Qt::Key_Backspace);
    Key(Qt::Key_Delete);
    Key(Qt::Key_Return);
    Key(Qt::Key_A, Qt::ControlModifier);
    Key(Qt::Key_V, Qt::ControlModifier);
    Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("abc\n"));
}

TEST_F(WatchView, KeyboardSelectsAndCopiesAsATextBox)
{
    Append("first line\n둘째 줄 second\nthird\n");
    Cycle();
    Key(Qt::Key_Home, Qt::ControlModifier);
    Key(Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(Selected(), "first line");
    QApplication::clipboard()->clear();
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("first line"));

    // Down keeps the caret's cell: cell 10 of "둘째 줄 second" is before 'c'.
    Key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(Selected(), "first line\n둘째 줄 se");
    Key(Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier); // back to the word's start
    EXPECT_EQ(Selected(), "first line\n둘째 줄 ");
    Key(Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(Selected(), "first line\n둘째 줄 second\nthird\n");
    Key(Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("first line\n둘째 줄 second\nthird\n"));

    // An arrow without shift ends the selection where the caret is.
    Key(Qt::Key_Up);
    EXPECT_TRUE(m_view->Selection().IsEmpty());
    EXPECT_EQ(m_view->Selection().Caret(), At(2, 0));

    Key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(m_view->Selection().Start(), At(0, 0));
    EXPECT_EQ(m_view->Selection().End(), m_view->Lines().End());
}

TEST_F(WatchView, CopyKeepsTheByteOrderMarkOfTheFile)
{
    Append("\xEF\xBB\xBFmark\n");
    Cycle();
    QApplication::clipboard()->clear();
    Key(Qt::Key_A, Qt::ControlModifier);
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("\uFEFFmark\n"));
    EXPECT_EQ(m_view->PlainText(), QStringLiteral("\uFEFFmark\n"));
}

TEST_F(WatchView, PageKeysMoveByWhatTheViewShows)
{
    Append(NumberedLines(200));
    Cycle();
    Key(Qt::Key_Home, Qt::ControlModifier);
    const size_t page = m_view->VisibleRows();
    Key(Qt::Key_PageDown);
    EXPECT_EQ(m_view->Selection().Caret().line.Get(), page);
    EXPECT_EQ(m_view->FirstVisibleRow(), page);
    Key(Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(m_view->Selection().Caret().line.Get(), 2 * page);
    EXPECT_EQ(m_view->Selection().Anchor().line.Get(), page);
    Key(Qt::Key_PageUp);
    EXPECT_EQ(m_view->Selection().Caret().line.Get(), page);
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(m_view->Selection().Caret(), m_view->Lines().End());
    EXPECT_EQ(Vertical()->value(), Vertical()->maximum());
}

TEST_F(WatchView, MouseClicksDragsAndDoubleClicksSelect)
{
    Append("first line\n둘째 줄 second\nthird\n");
    Cycle();
    Mouse(QEvent::MouseButtonPress, At(0, 2));
    Mouse(QEvent::MouseButtonRelease, At(0, 2));
    EXPECT_EQ(m_view->Selection().Caret(), At(0, 2));
    EXPECT_TRUE(m_view->Selection().IsEmpty());

    Mouse(QEvent::MouseButtonPress, At(0, 2));
    Mouse(QEvent::MouseMove, At(1, 6)); // after 둘째
    Mouse(QEvent::MouseButtonRelease, At(1, 6));
    EXPECT_EQ(Selected(), "rst line\n둘째");

    Mouse(QEvent::MouseButtonPress, At(2, 3), Qt::ShiftModifier);
    Mouse(QEvent::MouseButtonRelease, At(2, 3), Qt::ShiftModifier);
    EXPECT_EQ(Selected(), "rst line\n둘째 줄 second\nthi");

    Mouse(QEvent::MouseButtonPress, At(1, 3));
    Mouse(QEvent::MouseButtonRelease, At(1, 3));
    Mouse(QEvent::MouseButtonDblClick, At(1, 3));
    EXPECT_EQ(Selected(), "둘째");
    QApplication::clipboard()->clear();
    m_view->copy();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("둘째"));
}

TEST_F(WatchView, WheelScrollsAndALongLineScrollsSideways)
{
    Append(NumberedLines(5) + std::string(2000, 'w') + "\n" + NumberedLines(300));
    Cycle();
    EXPECT_EQ(m_view->Lines().LineCount(), 306u); // the long line is not wrapped
    EXPECT_GT(Horizontal()->maximum(), 1000);
    Key(Qt::Key_Home, Qt::ControlModifier);
    const QPointF centre(100, 100);
    QWheelEvent wheel(centre, m_view->viewport()->mapToGlobal(centre), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_view->viewport(), &wheel);
    EXPECT_EQ(Vertical()->value(), QApplication::wheelScrollLines());

    Key(Qt::Key_Home, Qt::ControlModifier);
    for (int i = 0; i < 5; ++i)
        Key(Qt::Key_Down);
    Key(Qt::Key_End, Qt::ShiftModifier); // End alone goes back to following the file's end
    EXPECT_EQ(Horizontal()->value(), Horizontal()->maximum());
    Key(Qt::Key_Home);
    EXPECT_EQ(Horizontal()->value(), 0);
}

// Light grey text on black; a carriage return inside a line is drawn in its
// cell and does not break the line.
TEST_F(WatchView, PaintsLightGreyOnBlackWithTheCarriageReturnInItsLine)
{
    Append("10%\r50%\n");
    Cycle();
    ASSERT_EQ(m_view->Lines().LineCount(), 1u);
    EXPECT_EQ(m_view->Lines().Line(LineNumber(0)), "10%\r50%");
    m_view->clearFocus();
    const QImage image = m_view->viewport()->grab().toImage();
    auto litIn = [&](QRectF area) {
        int lit = 0;
        for (int y = int(area.top()); y < int(area.bottom()); ++y)
            for (int x = int(area.left()); x < int(area.right()); ++x)
                lit += image.pixelColor(x, y) != Qt::black;
        return lit;
    };
    const qreal height = m_view->LineHeight();
    const QPointF cr = m_view->PointOf(At(0, 3));
    const qreal cell = m_view->PointOf(At(0, 4)).x() - cr.x();
    EXPECT_GT(litIn(QRectF(cr, QSizeF(cell, height))), 0); // the symbol is shown
    EXPECT_EQ(litIn(QRectF(0, height * 2, 100, height * 2)), 0); // nothing below the text
    QColor brightest = Qt::black;
    for (int x = 0; x < image.width() / 2; ++x)
        for (int y = 0; y < int(height); ++y)
            if (image.pixelColor(x, y).green() > brightest.green())
                brightest = image.pixelColor(x, y);
    // Grey, as bright as the text colour where a stroke covers a whole pixel.
    EXPECT_EQ(brightest.red(), brightest.green());
    EXPECT_EQ(brightest.blue(), brightest.green());
    EXPECT_GT(brightest.green(), 160);
    EXPECT_LE(brightest.green(), 192);
    EXPECT_EQ(image.pixelColor(image.width() - 1, image.height() - 1), QColor(Qt::black));
}

// What the view always saved: the text as Qt text (a character beyond
// U+10FFFF as U+FFFD, a lone surrogate as it is) encoded by Qt as UTF-8.
QByteArray SavedBytesOf(const std::wstring& text)
{
    QString form;
    for (const wchar_t ch : text) {
        const auto value = static_cast<char32_t>(ch);
        if (value > 0x10FFFF) {
            form.append(QChar(0xFFFD));
        } else if (value > 0xFFFF) {
            form.append(QChar(QChar::highSurrogate(value)));
            form.append(QChar(QChar::lowSurrogate(value)));
        } else {
            form.append(QChar(static_cast<char16_t>(value)));
        }
    }
    return form.toUtf8();
}

TEST_F(WatchView, SavesTheBytesTheViewAlwaysWrote)
{
    const std::string utf16 = std::string("\xFF\xFE", 2) + std::string("a\0\x00\xD8" "b\0\x3D\xD8\x00\xDE\x00\xAC\r\0\n\0", 16);
    const std::vector<std::string> files = {
        "\xEF\xBB\xBF첫 줄\tTab\r\n10%\r50%\n1\xC2\xA0" "000\n\n\nno end",
        "bad \xFF byte\nover\xC0\xAFlong\n\xED\xA0\x80\n",
        utf16,
        "\xC7\xD1\xB1\xDB cp949\r\n\xB0\xA1\n",
    };
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string path = m_dir / ("saved" + std::to_string(i) + ".log");
        std::ofstream(path, std::ios::binary) << files[i];
        auto document = std::make_shared<CKelWatchDoc>();
        document->OnOpenDocument(CStringW(std::wstring(path.begin(), path.end())));
        CKelWatchView view(document);
        do
            view.OnTimer(1);
        while (document->HasMore());

        CKelWatchDoc reference;
        reference.OnOpenDocument(CStringW(std::wstring(path.begin(), path.end())));
        const std::wstring text = reference.ReadCycle().str();
        ASSERT_FALSE(text.empty()) << i;

        const std::string copy = m_dir / "copy.txt";
        ASSERT_TRUE(view.SaveText(QString::fromStdString(copy)));
        EXPECT_EQ(QByteArray::fromStdString(kel::test::ReadBytes(copy)), SavedBytesOf(text)) << i;
    }
}

TEST_F(WatchView, ASaveThatCannotFinishLeavesTheFileAsItWasAndNoTemporaryFile)
{
    const std::string path = m_dir / "grown.log";
    std::ofstream(path, std::ios::binary) << std::string(64 * 1024, 'x') << '\n';
    auto document = std::make_shared<CKelWatchDoc>();
    document->OnOpenDocument(CStringW(std::wstring(path.begin(), path.end())));
    CKelWatchView view(document);
    do
        view.OnTimer(1);
    while (document->HasMore());

    const std::string target = m_dir / "kept.txt";
    std::ofstream(target, std::ios::binary) << "the old text\n";
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    {
        // A disk that fills up: writes past 4 KiB fail (SIGXFSZ ignored).
        const kel::test::FileSizeLimit limit(4096);
        EXPECT_FALSE(view.SaveText(QString::fromStdString(target)));
    }
    EXPECT_EQ(kel::test::ReadBytes(target), "the old text\n");
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "kept.txt" || name.rfind("kept.txt", 0) != 0) << "a temporary file was left: " << name;
    }

    ASSERT_TRUE(view.SaveText(QString::fromStdString(target)));
    const std::string saved = kel::test::ReadBytes(target);
    EXPECT_GT(saved.size(), 64u * 1024);
    EXPECT_EQ(saved.substr(0, 4), "xxxx");
    struct stat status {};
    ASSERT_EQ(::stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u) << "the saved file keeps its mode";
}

// Words of a PDF as pdftotext lays them out: text and box, in points.
struct SWord {
    QString text;
    double xMin, yMin, xMax, yMax;
    int page;
};

std::vector<SWord> PdfWords(const std::string& pdf, const std::string& html)
{
    const std::string command = "pdftotext -bbox '" + pdf + "' '" + html + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << "pdftotext (Debian poppler-utils) is needed";
    const QString page = QString::fromStdString(kel::test::ReadBytes(html));
    static const QRegularExpression pattern(QStringLiteral(
        R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    std::vector<SWord> words;
    int pages = 0;
    for (auto match = pattern.globalMatch(page); match.hasNext();) {
        const QRegularExpressionMatch word = match.next();
        if (word.captured(0).startsWith(QStringLiteral("<page"))) {
            ++pages;
            continue;
        }
        words.push_back({word.captured(5), word.captured(1).toDouble(), word.captured(2).toDouble(),
                         word.captured(3).toDouble(), word.captured(4).toDouble(), pages});
    }
    return words;
}

TEST_F(WatchView, PrintsEveryLineAtNinePointsWhateverThePrinterResolution)
{
    std::string text;
    for (int i = 0; i < 150; ++i)
        text += "L" + std::to_string(1000 + i) + " 한글 로그\n";
    text += std::string(400, 'x') + "\n"; // wrapped, not cut
    Append(text);
    Cycle();
    for (const QPrinter::PrinterMode mode : {QPrinter::HighResolution, QPrinter::ScreenResolution}) {
        QPrinter printer(mode);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const std::string pdf = m_dir / "printed.pdf";
        printer.setOutputFileName(QString::fromStdString(pdf));
        m_view->PrintTo(&printer);
        const std::vector<SWord> words = PdfWords(pdf, m_dir / "printed.html");

        std::set<QString> numbers;
        std::map<int, std::vector<double>> tops; // per page
        size_t xs = 0;
        for (const SWord& word : words) {
            if (word.text.startsWith(QLatin1Char('L'))) {
                numbers.insert(word.text);
                EXPECT_NEAR(word.yMax - word.yMin, 9.0, 0.9) << word.text.toStdString();
                tops[word.page].push_back(word.yMin);
            }
            if (word.text.startsWith(QLatin1Char('x')))
                xs += static_cast<size_t>(word.text.size());
        }
        EXPECT_EQ(numbers.size(), 150u) << mode;
        EXPECT_EQ(xs, 400u) << mode;
        EXPECT_GE(tops.size(), 2u) << "150 lines of 9 points take more than one page";
        for (const auto& [page, lineTops] : tops)
            for (size_t i = 1; i < lineTops.size(); ++i)
                EXPECT_NEAR(lineTops[i] - lineTops[i - 1], 9.0 * 1.15, 9.0 * 0.3); // one line apart
    }
}

TEST_F(WatchView, PrintsOnlyTheSelectionWhenAskedTo)
{
    Append(NumberedLines(300));
    Cycle();
    Key(Qt::Key_Home, Qt::ControlModifier);
    for (int i = 0; i < 10; ++i)
        Key(Qt::Key_Down);
    Key(Qt::Key_Right);
    Key(Qt::Key_Down, Qt::ShiftModifier);
    Key(Qt::Key_Down, Qt::ShiftModifier); // from "ine 10" to "l" of line 12
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const std::string pdf = m_dir / "selection.pdf";
    printer.setOutputFileName(QString::fromStdString(pdf));
    printer.setPrintRange(QPrinter::Selection);
    m_view->PrintTo(&printer);
    QStringList texts;
    for (const SWord& word : PdfWords(pdf, m_dir / "selection.html"))
        texts << word.text;
    EXPECT_EQ(texts, QStringList({"ine", "10", "line", "11", "l"}));
}

} // namespace
