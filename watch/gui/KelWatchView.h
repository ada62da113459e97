#pragma once

// CKelWatchView: the read-only view of one followed document. Its 100 ms
// timer runs the document's read cycle into the view's own line store; while
// the view follows, it puts the caret at the end and scrolls there. Scrolling
// up, a mouse selection or a find stops following, so the user's place and
// selection stay while lines arrive; End, Ctrl+End or SetFollowing resume.
// Only the rows on screen are painted, light grey on black in a 9-point
// Korean monospace font, without wrapping; highlight rules, when given, colour
// whole lines, and a gutter may show the line numbers. The user selects and
// copies with mouse and keyboard as in a text box. When the document is read
// again in another encoding, the view drops its text and starts as a new view
// would. Lives on the user-interface thread.
#include "HighlightRules.h"
#include "KelWatchDoc.h"
#include "LineFinder.h"
#include "LineStore.h"
#include "TextSelection.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>

#include <memory>
#include <optional>
#include <string>
#include <utility>

class CGridPainter;
class QPainter;
class QPrinter;

class CKelWatchView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static const QColor kTextColor;       // RGB(192, 192, 192)
    static const QColor kBackgroundColor; // black
    static const QString kFontFace;       // "돋움체"
    // Matches of a find or a filter, and the line-number gutter.
    static const QColor kMatchBackground;
    static const QColor kMatchText;
    static const QColor kGutterBackground;
    static const QColor kGutterText;

    explicit CKelWatchView(std::shared_ptr<CKelWatchDoc> document, QWidget* parent = nullptr);
    ~CKelWatchView() override;

    // The display font, and the timer that follows the file.
    void OnInitialUpdate();
    // One read cycle of the document; the lines it brings are appended.
    void OnTimer(int timerId);

    CKelWatchDoc* GetDocument() const { return m_pDocument.get(); }
    const std::shared_ptr<CKelWatchDoc>& SharedDocument() const { return m_pDocument; }
    const CLineSource& Lines() const { return m_lines; }
    const CTextSelection& Selection() const { return m_selection; }
    // The rows on screen: the first one and how many fit whole.
    size_t FirstVisibleRow() const;
    size_t VisibleRows() const;
    // The top left of the cell of `position` in the viewport.
    QPointF PointOf(STextPosition position) const;
    qreal LineHeight() const;

    bool IsFollowing() const { return m_bFollowing; }
    // Lines appended since following stopped (0 while following).
    size_t LinesSinceFollowStopped() const { return m_nArrivedSince; }

    // Find: every match in the visible lines is highlighted and the current
    // one is selected and drawn apart. The search runs a slice at a time
    // beside the window's events and goes on as lines arrive; a find stops
    // following. FindNext and FindPrevious go round at the ends.
    void Find(const QString& pattern, bool regularExpression, bool caseSensitive);
    void FindNext();
    void FindPrevious();
    void ClearFind();
    const CLineFinder& Finder() const { return m_finder; }
    // True once every line shown so far has been searched.
    bool IsFindDone() const { return m_finder.IsDone(m_lines); }
    std::optional<size_t> CurrentMatch() const { return m_nCurrentMatch; }

    // Go to line: the caret to the start of line `number` (from 1, kept
    // within the lines), shown in the middle of the view; following stops.
    void GoToLine(size_t number);
    // Goes to line `number` as soon as the document has read that far, or
    // has read all there is (then to its last line).
    void GoToLineOnceRead(size_t number);
    // The same, with the line selected (the view scrolls to its start).
    void SelectLine(size_t number);

    // Lines that match a rule take its colours; none (nullptr) is the plain look.
    void SetHighlightRules(std::shared_ptr<const CHighlightRules> rules);
    const CHighlightRules* HighlightRules() const { return m_pHighlightRules.get(); }
    // Line numbers (from 1) in a gutter on the left.
    void SetLineNumbers(bool on);
    bool HasLineNumbers() const { return m_bLineNumbers; }
    // Width of the gutter in pixels: 0 without line numbers.
    qreal GutterWidth() const;

    // The whole text as a copy of everything gives it: lines end in "\n".
    QString PlainText() const;
    // Writes the text with "\r\n" line ends as UTF-8; false when the file
    // cannot be written.
    bool SaveText(const QString& path) const;
    // Prints at 9 points whatever the printer's resolution, black on white;
    // long lines are wrapped, and a page breaks between lines unless one
    // line fills more than a page.
    void PrintTo(QPrinter* printer) const;
    // Pages PrintTo fills at least (a line a row; wrapping only adds pages),
    // for the printer's range of text: the selection or everything.
    size_t MinimumPageCount(QPrinter* printer) const;

    // Pixel height of a 9-point font on a screen of `dotsPerInch`, rounded
    // as the platform's multiply-divide rounds.
    static int FontPixelHeight(int dotsPerInch);
    // The display font: "돋움체", else a Korean monospace font.
    static QFont DisplayFont();

public slots:
    void copy() const;
    // The selected lines, each with its number and a tab before it.
    void copyWithLineNumbers() const;
    void selectAll();
    // Following on: the caret to the end and the view with it; off: the
    // view stays where it is.
    void SetFollowing(bool on);

signals:
    // Following went on or off, or lines arrived while it is off.
    void followChanged(bool following, qulonglong linesSince);
    // The matches found so far or the current match changed.
    void findChanged();
    // Lines were appended to Lines().
    void linesAppended();
    // Every line of Lines() went: the document is read again from its start.
    void textReplaced();
    // The highlight rules were switched or changed.
    void highlightChanged();
    // The document's encoding was detected, chosen or dropped, or turned out
    // to be one that cannot be shown.
    void encodingChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // What the status pane and the empty view say of the document.
    struct SDocumentState {
        int encoding = 0;
        bool following = true;
        bool encodingOpen = false;
        bool utf8Fallback = false;
        std::wstring problem;
        bool operator==(const SDocumentState&) const = default;
    };
    SDocumentState _DocumentState() const;
    void _PaintFileProblem(QPainter& painter) const;
    void _PaintCaret(QPainter& painter) const;
    void _Restart();
    void _GoToLineIfRead();
    void _SetDisplayFont();
    void _SetColours();
    void _UpdateScrollBars();
    void _MoveCaret(STextPosition position, bool extend);
    void _EnsureCaretVisible();
    void _ShowEnd();
    enum class EFind { None, Forward, Backward };
    void _StartFind(EFind direction, STextPosition from);
    void _SearchSlice();
    bool _TryGoToMatch();
    void _GoToMatch(size_t index);
    std::optional<CLineFinder::SMatch> _CurrentMatch() const;
    bool _IsSelected(const CLineFinder::SMatch& match) const;
    void _OnScrollBarAction(int action);
    bool _HandleMoveKey(QKeyEvent* event);
    STextPosition _PositionAt(const QPoint& point) const;
    qreal _CellX(size_t cell) const;
    qreal _TextLeft() const;
    void _PaintGutter(QPainter& painter, size_t first, size_t last) const;

    std::shared_ptr<CKelWatchDoc> m_pDocument;
    CLineStore m_lines;
    CTextSelection m_selection;
    std::unique_ptr<CGridPainter> m_pGrid;
    QBasicTimer m_readTimer;
    QBasicTimer m_catchUpTimer; // an extra cycle at once while a big file loads
    QBasicTimer m_findTimer;    // the next slice of a search
    CLineFinder m_finder;
    std::optional<size_t> m_nCurrentMatch;
    EFind m_waitingFind = EFind::None; // a step waiting for the search to get there
    STextPosition m_findFrom;
    bool m_bFollowing = true;
    size_t m_nArrivedSince = 0;
    std::shared_ptr<const CHighlightRules> m_pHighlightRules;
    bool m_bLineNumbers = false;
    size_t m_nLineOnceRead = 0; // 0: none waiting
    // The document's generation that the text shown is of, and its state
    // last told about.
    unsigned m_nGeneration = 0;
    SDocumentState m_shownState;
};
