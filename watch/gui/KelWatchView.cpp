#include "KelWatchView.h"

#include "GridPainter.h"
#include "Resource.h"
#include "ScrollRows.h"
#include "TextCells.h"

#include "KelException.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTimerEvent>
#include <QWheelEvent>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

namespace {

// Room between the view's edge and the text, as a text box leaves.
constexpr int kMargin = 4;
constexpr int kDetectionPollMs = 5;
const QColor kCurrentMatchBackground(255, 128, 0);

// The text from `from` to `to` as Qt text, converted a piece at a time; a
// byte-order mark at the start stays, as the file had it.
QString ToQString(const CLineSource& lines, STextPosition from, STextPosition to, size_t bytesHint)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytesHint));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    lines.VisitText(from, to, "\n", [&](std::string_view piece) {
        text.append(decoder.decode(QByteArrayView(piece.data(), static_cast<qsizetype>(piece.size()))));
    });
    return text;
}

} // namespace

const QColor CKelWatchView::kTextColor(192, 192, 192);
const QColor CKelWatchView::kMatchBackground(255, 214, 0);
const QColor CKelWatchView::kMatchText(0, 0, 0);
const QColor CKelWatchView::kGutterBackground(36, 36, 36);
const QColor CKelWatchView::kGutterText(128, 128, 128);
const QColor CKelWatchView::kBackgroundColor(0, 0, 0);
const QString CKelWatchView::kFontFace = QStringLiteral("돋움체");

CKelWatchView::CKelWatchView(std::shared_ptr<CKelWatchDoc> document, QWidget* parent)
    : QAbstractScrollArea(parent), m_pDocument(std::move(document)), m_nGeneration(m_pDocument->Generation()),
      m_shownState(_DocumentState())
{
    // Long lines do not wrap: both scroll bars as needed.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    // Drops go to the main frame (open a file).
    setAcceptDrops(false);
    _SetColours();
    _SetDisplayFont();
    // A scroll bar moved up by the user stops following; a value set by
    // the view itself triggers no action.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &CKelWatchView::_OnScrollBarAction);
}

CKelWatchView::~CKelWatchView() = default;

void CKelWatchView::OnInitialUpdate()
{
    _SetDisplayFont();
    m_readTimer.start(kReadTimerPeriodMs, this);
    m_catchUpTimer.start(0, this); // the first cycle as soon as the window is up
}

int CKelWatchView::FontPixelHeight(int dotsPerInch)
{
    // 9 * dpi / 72, rounded half away from zero.
    return (9 * dotsPerInch + 36) / 72;
}

QFont CKelWatchView::DisplayFont()
{
    QFont font;
    // "돋움체" where it exists, else a Korean monospace font through
    // fontconfig, so Hangul never shows as empty boxes.
    font.setFamilies({kFontFace, QStringLiteral("NanumGothicCoding"), QStringLiteral("D2Coding"),
                      QStringLiteral("Noto Sans Mono CJK KR"), QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(9);
    return font;
}

void CKelWatchView::_SetDisplayFont()
{
    QFont font = DisplayFont();
    font.setPixelSize(FontPixelHeight(logicalDpiY()));
    setFont(font);
    viewport()->setFont(font);
    m_pGrid = std::make_unique<CGridPainter>(font, viewport());
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(static_cast<int>(std::ceil(m_pGrid->CellWidth())));
    _UpdateScrollBars();
    viewport()->update();
}

void CKelWatchView::_SetColours()
{
    QPalette colours = palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Text, kTextColor);
        colours.setColor(group, QPalette::Base, kBackgroundColor);
    }
    setPalette(colours);
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
}

// ---- following ----

void CKelWatchView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_readTimer.timerId() || event->timerId() == m_catchUpTimer.timerId())
        OnTimer(kReadTimerId);
    else if (event->timerId() == m_findTimer.timerId())
        _SearchSlice();
    else
        QAbstractScrollArea::timerEvent(event);
}

void CKelWatchView::OnTimer(int /*timerId*/)
{
    m_catchUpTimer.stop();
    if (m_nGeneration != m_pDocument->Generation())
        _Restart();
    size_t added = 0;
    try {
        added = m_pDocument->ReadCycle(m_lines);
    } catch (CKelException* error) {
        error->Delete(); // a file error of this cycle; the next tick tries again
        return;
    }
    if (SDocumentState state = _DocumentState(); state != m_shownState) {
        m_shownState = std::move(state);
        viewport()->update(); // the file's problem is shown in the view while it has no text
        emit encodingChanged();
    }
    if (added > 0) {
        emit linesAppended();
        _UpdateScrollBars();
        if (m_bFollowing) {
            _ShowEnd();
        } else {
            // The user's place and selection stay; the lines are counted.
            m_nArrivedSince += added;
            emit followChanged(false, m_nArrivedSince);
        }
        if (m_finder.IsActive() && !m_findTimer.isActive())
            m_findTimer.start(0, this); // the new lines are searched too
        viewport()->update();
    }
    _GoToLineIfRead();
    // A big file comes in slices; the next one follows as soon as the
    // window has handled its events, not 100 ms later. While its encoding
    // is being detected, the view looks again every few milliseconds.
    if (m_pDocument->HasMore())
        m_catchUpTimer.start(0, this);
    else if (m_pDocument->IsDetecting())
        m_catchUpTimer.start(kDetectionPollMs, this);
}

CKelWatchView::SDocumentState CKelWatchView::_DocumentState() const
{
    return {m_pDocument->GetEncoding(), m_pDocument->IsFollowing(), m_pDocument->IsEncodingOpen(),
            m_pDocument->IsUtf8Fallback(), m_pDocument->FileProblem().str()};
}

// The document is read again from its first byte: the text shown so far
// goes, and the view starts over as a new one, following; a find and a
// filter go on over the new text.
void CKelWatchView::_Restart()
{
    m_nGeneration = m_pDocument->Generation();
    m_lines.Clear();
    m_selection = CTextSelection();
    m_findTimer.stop();
    m_waitingFind = EFind::None;
    m_nCurrentMatch.reset();
    m_finder.Restart();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    _UpdateScrollBars();
    m_nArrivedSince = 0;
    if (!m_bFollowing) {
        m_bFollowing = true;
        emit followChanged(true, 0);
    }
    viewport()->update();
    emit textReplaced(); // a filter of the lines starts over too
    emit findChanged();
}

void CKelWatchView::SetFollowing(bool on)
{
    if (on) {
        _ShowEnd();
        viewport()->update();
    }
    if (on == m_bFollowing)
        return;
    m_bFollowing = on;
    m_nArrivedSince = 0;
    emit followChanged(on, 0);
}

// The caret to the end, without a selection, and the view with it.
void CKelWatchView::_ShowEnd()
{
    m_selection.MoveTo(m_lines.End(), false);
    m_selection.ForgetCell();
    _EnsureCaretVisible();
}

void CKelWatchView::_OnScrollBarAction(int action)
{
    // The slider's position is the value the action is about to set.
    if (action != QAbstractSlider::SliderNoAction && verticalScrollBar()->sliderPosition() < verticalScrollBar()->maximum())
        SetFollowing(false);
}

void CKelWatchView::wheelEvent(QWheelEvent* event)
{
    if (event->angleDelta().y() > 0 && verticalScrollBar()->value() > 0)
        SetFollowing(false);
    QAbstractScrollArea::wheelEvent(event);
}

void CKelWatchView::GoToLine(size_t number)
{
    SetFollowing(false);
    const size_t last = std::max<size_t>(m_lines.LineCount(), 1);
    const size_t line = std::clamp<size_t>(number, 1, last) - 1;
    const size_t visible = VisibleRows();
    verticalScrollBar()->setValue(static_cast<int>(std::min<size_t>(line > visible / 2 ? line - visible / 2 : 0, INT_MAX)));
    m_selection.ForgetCell();
    _MoveCaret({LineNumber(line), LineColumn(0)}, false);
}

void CKelWatchView::GoToLineOnceRead(size_t number)
{
    m_nLineOnceRead = number;
    SetFollowing(false);
    _GoToLineIfRead();
}

void CKelWatchView::_GoToLineIfRead()
{
    const bool allRead = !m_pDocument->HasMore() && !m_pDocument->IsDetecting() && m_lines.LineCount() > 0;
    if (m_nLineOnceRead == 0 || (m_lines.LineCount() < m_nLineOnceRead && !allRead))
        return;
    GoToLine(m_nLineOnceRead);
    m_nLineOnceRead = 0;
}

void CKelWatchView::SetHighlightRules(std::shared_ptr<const CHighlightRules> rules)
{
    m_pHighlightRules = std::move(rules);
    viewport()->update();
    emit highlightChanged();
}

void CKelWatchView::SetLineNumbers(bool on)
{
    m_bLineNumbers = on;
    _UpdateScrollBars();
    viewport()->update();
}

void CKelWatchView::SelectLine(size_t number)
{
    GoToLine(number);
    m_selection.MoveTo(CTextSelection::LineEnd(m_lines, m_selection.Caret()), true);
    viewport()->update();
}

// ---- geometry ----

size_t CKelWatchView::FirstVisibleRow() const { return static_cast<size_t>(verticalScrollBar()->value()); }

size_t CKelWatchView::VisibleRows() const
{
    return std::max<size_t>(1, static_cast<size_t>(viewport()->height() / m_pGrid->LineHeight()));
}

QPointF CKelWatchView::PointOf(STextPosition position) const
{
    const size_t cells = kel::watch::CellsBefore(m_lines.Line(position.line), position.column.Get());
    const auto row = static_cast<qreal>(position.line.Get()) - static_cast<qreal>(FirstVisibleRow());
    return {_CellX(cells), row * m_pGrid->LineHeight()};
}

qreal CKelWatchView::LineHeight() const { return m_pGrid->LineHeight(); }

qreal CKelWatchView::_CellX(size_t cell) const
{
    return _TextLeft() + static_cast<qreal>(cell) * m_pGrid->CellWidth() - horizontalScrollBar()->value();
}

qreal CKelWatchView::_TextLeft() const { return GutterWidth() + kMargin; }

qreal CKelWatchView::GutterWidth() const
{
    return m_bLineNumbers ? m_pGrid->GutterWidth(std::max<size_t>(m_lines.LineCount(), 1), kMargin) : 0;
}

void CKelWatchView::_UpdateScrollBars()
{
    const size_t rows = m_lines.RowCount();
    const size_t visible = VisibleRows();
    verticalScrollBar()->setPageStep(static_cast<int>(visible));
    verticalScrollBar()->setRange(0, static_cast<int>(std::min<size_t>(rows > visible ? rows - visible : 0, INT_MAX)));
    // The widest line and room for the caret after it.
    const qreal width = 2 * kMargin + static_cast<qreal>(m_lines.MaxLineCells() + 1) * m_pGrid->CellWidth();
    const qreal shown = viewport()->width() - GutterWidth();
    const int hidden = static_cast<int>(std::min<qreal>(std::ceil(width - shown), INT_MAX));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setRange(0, std::max(0, hidden));
}

void CKelWatchView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    _UpdateScrollBars();
}

void CKelWatchView::_EnsureCaretVisible()
{
    const STextPosition caret = m_selection.Caret();
    ScrollRowIntoView(verticalScrollBar(), caret.line.Get(), VisibleRows());

    const qreal cellWidth = m_pGrid->CellWidth();
    const qreal x = kMargin + static_cast<qreal>(kel::watch::CellsBefore(m_lines.Line(caret.line), caret.column.Get())) * cellWidth;
    const int scroll = horizontalScrollBar()->value();
    if (x - kMargin < scroll)
        horizontalScrollBar()->setValue(static_cast<int>(x - kMargin));
    else if (x + cellWidth > scroll + viewport()->width() - GutterWidth())
        horizontalScrollBar()->setValue(static_cast<int>(std::ceil(x + 2 * cellWidth - viewport()->width() + GutterWidth())));
}

STextPosition CKelWatchView::_PositionAt(const QPoint& point) const
{
    const long row = static_cast<long>(FirstVisibleRow()) + static_cast<long>(std::floor(point.y() / m_pGrid->LineHeight()));
    const LineNumber line(static_cast<size_t>(std::clamp(row, 0L, static_cast<long>(m_lines.LineCount()))));
    const double cell = (point.x() - _TextLeft() + horizontalScrollBar()->value()) / m_pGrid->CellWidth();
    return {line, LineColumn(kel::watch::ColumnAtCell(m_lines.Line(line), cell))};
}

// ---- painting ----

void CKelWatchView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    if (m_lines.LineCount() == 0 && !m_shownState.problem.empty()) {
        _PaintFileProblem(painter);
        return;
    }
    const QRect area = event->rect();
    const qreal lineHeight = m_pGrid->LineHeight();
    const qreal cellWidth = m_pGrid->CellWidth();
    const int scroll = horizontalScrollBar()->value();
    const size_t firstCell = static_cast<size_t>(std::max(0.0, std::floor((area.left() + scroll - _TextLeft()) / cellWidth)));
    const size_t endCell = static_cast<size_t>(std::max(0.0, std::ceil((area.right() + 1 + scroll - _TextLeft()) / cellWidth))) + 1;
    const size_t first = FirstVisibleRow() + static_cast<size_t>(std::max(0.0, std::floor(area.top() / lineHeight)));
    const size_t last = std::min(m_lines.LineCount(), FirstVisibleRow() + static_cast<size_t>(std::ceil((area.bottom() + 1) / lineHeight)));
    const STextPosition start = m_selection.Start();
    const STextPosition end = m_selection.End();
    const QPalette& colours = palette();

    const std::vector<CLineFinder::SMatch> matches = m_finder.MatchesOfLines(m_lines, LineNumber(first), LineNumber(last + 1));
    const std::optional<CLineFinder::SMatch> currentMatch = _CurrentMatch();
    std::optional<STextPosition> currentStart;
    if (currentMatch)
        currentStart = STextPosition{currentMatch->line, currentMatch->begin};
    // The current match selected is drawn as the current match, not as a selection.
    const bool currentSelected = currentMatch && _IsSelected(*currentMatch);
    auto match = matches.begin();
    for (size_t row = first; row <= last; ++row) {
        const LineNumber line(row);
        const std::string_view text = m_lines.Line(line);
        const qreal top = static_cast<qreal>(row - FirstVisibleRow()) * lineHeight;
        const SHighlightRule* rule = m_pHighlightRules ? m_pHighlightRules->RuleFor(text) : nullptr;
        if (rule && rule->background)
            painter.fillRect(QRectF(0, top, viewport()->width(), lineHeight), RgbColour(*rule->background));
        painter.setPen(rule ? RgbColour(rule->foreground) : kTextColor);
        m_pGrid->DrawLine(painter, text, firstCell, endCell, _CellX(0), top);
        for (; match != matches.end() && match->line == line; ++match) {
            const bool current = currentStart == STextPosition{match->line, match->begin};
            m_pGrid->DrawCells(painter, text, kel::watch::CellsBefore(text, match->begin.Get()),
                              kel::watch::CellsBefore(text, match->end.Get()), _CellX(0), top,
                              current ? kCurrentMatchBackground : kMatchBackground, kMatchText);
        }
        if (m_selection.IsEmpty() || currentSelected || line < start.line || line > end.line)
            continue;
        // The selected part again, in the selection's colours; a selected
        // line end shows as one more cell.
        const size_t from = line == start.line ? kel::watch::CellsBefore(text, start.column.Get()) : 0;
        size_t to = line == end.line ? kel::watch::CellsBefore(text, end.column.Get())
                                     : kel::watch::CellsBefore(text, text.size()) + 1;
        m_pGrid->DrawCells(painter, text, from, to, _CellX(0), top, colours.color(QPalette::Active, QPalette::Highlight),
                          colours.color(QPalette::Active, QPalette::HighlightedText));
    }
    if (hasFocus())
        _PaintCaret(painter);
    if (m_bLineNumbers)
        _PaintGutter(painter, first, last);
}

void CKelWatchView::_PaintCaret(QPainter& painter) const
{
    const STextPosition caret = m_selection.Caret();
    if (caret.line.Get() < FirstVisibleRow())
        return;
    const qreal x = _CellX(kel::watch::CellsBefore(m_lines.Line(caret.line), caret.column.Get()));
    const qreal top = static_cast<qreal>(caret.line.Get() - FirstVisibleRow()) * LineHeight();
    painter.fillRect(QRectF(x, top, 1, LineHeight()), kTextColor);
}

// What keeps the file from being read, where its first line would be.
void CKelWatchView::_PaintFileProblem(QPainter& painter) const
{
    painter.setPen(palette().color(QPalette::Text));
    const QRectF line(_TextLeft(), 0, viewport()->width() - _TextLeft(), LineHeight());
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdWString(m_shownState.problem));
}

// The numbers of the rows from `first` to `last`, right-aligned on a band
// that the text scrolls under.
void CKelWatchView::_PaintGutter(QPainter& painter, size_t first, size_t last) const
{
    const qreal width = GutterWidth();
    painter.fillRect(QRectF(0, 0, width, viewport()->height()), kGutterBackground);
    painter.setPen(kGutterText);
    for (size_t row = first; row <= last && row < m_lines.LineCount(); ++row)
        m_pGrid->DrawLineNumber(painter, row + 1, width, kMargin,
                               static_cast<qreal>(row - FirstVisibleRow()) * m_pGrid->LineHeight());
}

void CKelWatchView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void CKelWatchView::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

// ---- selection ----

void CKelWatchView::_MoveCaret(STextPosition position, bool extend)
{
    m_selection.MoveTo(m_lines.Clamp(position), extend);
    _EnsureCaretVisible();
    viewport()->update();
}

void CKelWatchView::selectAll()
{
    SetFollowing(false); // the selection stays while lines arrive
    m_selection.SelectAll(m_lines);
    viewport()->update();
}

void CKelWatchView::copy() const
{
    if (m_selection.IsEmpty())
        return;
    QApplication::clipboard()->setText(ToQString(m_lines, m_selection.Start(), m_selection.End(), 0));
}

void CKelWatchView::copyWithLineNumbers() const
{
    if (m_selection.IsEmpty())
        return;
    const std::string text = m_lines.NumberedText(m_selection.Start(), m_selection.End());
    QApplication::clipboard()->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

QString CKelWatchView::PlainText() const
{
    return ToQString(m_lines, {}, m_lines.End(), m_lines.TextBytes());
}

bool CKelWatchView::_HandleMoveKey(QKeyEvent* event)
{
    using Move = STextPosition (*)(const CLineSource&, STextPosition);
    struct SMoveKey {
        QKeySequence::StandardKey move;
        QKeySequence::StandardKey select;
        Move where;
    };
    static const SMoveKey kMoves[] = {
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, &CTextSelection::CharacterRight},
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, &CTextSelection::CharacterLeft},
        {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, &CTextSelection::WordRight},
        {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, &CTextSelection::WordLeft},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine,
         [](const CLineSource&, STextPosition at) { return CTextSelection::LineStart(at); }},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, &CTextSelection::LineEnd},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument,
         [](const CLineSource&, STextPosition) { return STextPosition{}; }},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument,
         [](const CLineSource& lines, STextPosition) { return lines.End(); }},
    };
    for (const SMoveKey& key : kMoves) {
        const bool extend = event->matches(key.select);
        if (extend || event->matches(key.move)) {
            m_selection.ForgetCell();
            _MoveCaret(key.where(m_lines, m_selection.Caret()), extend);
            return true;
        }
    }
    // Rows and pages keep the caret's cell; a page also scrolls by a page.
    const long page = static_cast<long>(VisibleRows());
    struct SRowKey {
        QKeySequence::StandardKey move;
        QKeySequence::StandardKey select;
        long rows;
    };
    const SRowKey rowKeys[] = {
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, 1},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, -1},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, page},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, -page},
    };
    for (const SRowKey& key : rowKeys) {
        const bool extend = event->matches(key.select);
        if (extend || event->matches(key.move)) {
            if (std::abs(key.rows) > 1)
                verticalScrollBar()->setValue(verticalScrollBar()->value() + static_cast<int>(key.rows));
            const STextPosition target = m_selection.RowsAway(m_lines, key.rows);
            m_selection.MoveTo(target, extend);
            _EnsureCaretVisible();
            viewport()->update();
            return true;
        }
    }
    return false;
}

void CKelWatchView::keyPressEvent(QKeyEvent* event)
{
    const bool toEnd = event->key() == Qt::Key_End && !event->modifiers().testFlag(Qt::ShiftModifier);
    if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else if (toEnd) {
        SetFollowing(true); // End, as Ctrl+End, goes back to following
    } else if (_HandleMoveKey(event)) {
        // Moving away from the end, or selecting, stops following.
        if (!m_selection.IsEmpty() || m_selection.Caret() != m_lines.End())
            SetFollowing(false);
    } else {
        event->ignore(); // typing changes nothing: the view is read-only
        return;
    }
    event->accept();
}

void CKelWatchView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    SetFollowing(false);
    m_selection.ForgetCell();
    _MoveCaret(_PositionAt(event->position().toPoint()), event->modifiers().testFlag(Qt::ShiftModifier));
}

void CKelWatchView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        _MoveCaret(_PositionAt(event->position().toPoint()), true);
}

void CKelWatchView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    SetFollowing(false);
    m_selection.SelectWord(m_lines, _PositionAt(event->position().toPoint()));
    viewport()->update();
}
