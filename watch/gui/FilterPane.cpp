#include "FilterPane.h"

#include "GridPainter.h"
#include "KelWatchView.h"
#include "ScrollRows.h"
#include "TextCells.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QTimerEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

namespace {

constexpr int kMargin = 4;
// The longest a slice of the search keeps the window from its events.
constexpr std::chrono::milliseconds kFilterSlice(30);

} // namespace

// ---- the list ----

const QColor CFilterList::kSelectedRow(38, 79, 120);

CFilterList::CFilterList(const CKelWatchView* view, const CLineFinder* finder, QWidget* parent)
    : QAbstractScrollArea(parent), m_view(view), m_finder(finder)
{
    setFocusPolicy(Qt::StrongFocus);
    setFont(view->font());
    viewport()->setFont(view->font());
    setPalette(view->palette());
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
    m_grid = std::make_unique<CGridPainter>(view->font(), viewport());
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(static_cast<int>(std::ceil(m_grid->CellWidth())));
}

CFilterList::~CFilterList() = default;

size_t CFilterList::_RowCount() const { return m_finder->MatchingLines().size(); }

size_t CFilterList::_VisibleRows() const
{
    return std::max<size_t>(1, static_cast<size_t>(viewport()->height() / m_grid->LineHeight()));
}

size_t CFilterList::FirstVisibleRow() const { return static_cast<size_t>(verticalScrollBar()->value()); }

qreal CFilterList::LineHeight() const { return m_grid->LineHeight(); }

qreal CFilterList::_GutterWidth() const
{
    const std::vector<size_t>& rows = m_finder->MatchingLines();
    return m_grid->GutterWidth(rows.empty() ? 1 : rows.back() + 1, kMargin);
}

void CFilterList::_UpdateScrollBars()
{
    const size_t rows = _RowCount();
    const size_t visible = _VisibleRows();
    verticalScrollBar()->setPageStep(static_cast<int>(visible));
    verticalScrollBar()->setRange(0, static_cast<int>(std::min<size_t>(rows > visible ? rows - visible : 0, INT_MAX)));
    // As wide as the widest line of the view: the list's own rows are not measured.
    const qreal width = 2 * kMargin + static_cast<qreal>(m_view->Lines().MaxLineCells() + 1) * m_grid->CellWidth();
    const qreal shown = viewport()->width() - _GutterWidth();
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setRange(0, std::max(0, static_cast<int>(std::min<qreal>(std::ceil(width - shown), INT_MAX))));
}

void CFilterList::RowsChanged()
{
    // A list scrolled to its end stays there, as the view follows its file.
    const bool atEnd = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    if (m_nCurrentRow && *m_nCurrentRow >= _RowCount()) {
        m_nCurrentRow.reset();
        m_nAnchorRow = 0;
    }
    _UpdateScrollBars();
    if (atEnd)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
}

void CFilterList::SetCurrentRow(size_t row, bool extend)
{
    if (_RowCount() == 0)
        return;
    row = std::min(row, _RowCount() - 1);
    if (!extend || !m_nCurrentRow)
        m_nAnchorRow = row;
    m_nCurrentRow = row;
    ScrollRowIntoView(verticalScrollBar(), row, _VisibleRows());
    viewport()->update();
    emit lineActivated(m_finder->MatchingLines()[row]);
}

QString CFilterList::SelectedText() const
{
    if (!m_nCurrentRow)
        return QString();
    const size_t from = std::min(m_nAnchorRow, *m_nCurrentRow);
    const size_t to = std::max(m_nAnchorRow, *m_nCurrentRow);
    std::string text;
    for (size_t row = from; row <= to; ++row) {
        text += m_view->Lines().Line(LineNumber(m_finder->MatchingLines()[row]));
        text += '\n';
    }
    return QString::fromStdString(text);
}

void CFilterList::copy() const
{
    if (m_nCurrentRow)
        QApplication::clipboard()->setText(SelectedText());
}

void CFilterList::selectAll()
{
    if (_RowCount() == 0)
        return;
    m_nAnchorRow = 0;
    m_nCurrentRow = _RowCount() - 1;
    viewport()->update();
}

void CFilterList::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(viewport());
    const std::vector<size_t>& rows = m_finder->MatchingLines();
    const CLineSource& lines = m_view->Lines();
    const CHighlightRules* rules = m_view->HighlightRules();
    const CTextPattern& pattern = m_finder->Pattern();
    const qreal lineHeight = m_grid->LineHeight();
    const qreal cellWidth = m_grid->CellWidth();
    const qreal gutter = _GutterWidth();
    const qreal left = gutter + kMargin - horizontalScrollBar()->value();
    const size_t firstCell = static_cast<size_t>(std::max(0.0, std::floor((gutter - left) / cellWidth)));
    const size_t endCell = static_cast<size_t>(std::ceil((viewport()->width() - left) / cellWidth)) + 1;
    const size_t first = FirstVisibleRow();
    const size_t end = std::min(rows.size(), first + _VisibleRows() + 1);
    // The selected rows: none until a row is chosen.
    const bool anySelected = m_nCurrentRow.has_value();
    const size_t current = m_nCurrentRow.value_or(0);
    const size_t selectedFrom = std::min(m_nAnchorRow, current);
    const size_t selectedTo = std::max(m_nAnchorRow, current);

    for (size_t row = first; row < end; ++row) {
        const std::string_view text = lines.Line(LineNumber(rows[row]));
        const qreal top = static_cast<qreal>(row - first) * lineHeight;
        const SHighlightRule* rule = rules ? rules->RuleFor(text) : nullptr;
        QColor foreground = rule ? RgbColour(rule->foreground) : CKelWatchView::kTextColor;
        if (anySelected && row >= selectedFrom && row <= selectedTo)
            painter.fillRect(QRectF(0, top, viewport()->width(), lineHeight), kSelectedRow);
        else if (rule && rule->background)
            painter.fillRect(QRectF(0, top, viewport()->width(), lineHeight), RgbColour(*rule->background));
        painter.setPen(foreground);
        m_grid->DrawLine(painter, text, firstCell, endCell, left, top);
        for (auto match = pattern.Find(text); match; match = pattern.Find(text, match->end))
            m_grid->DrawCells(painter, text, kel::watch::CellsBefore(text, match->begin),
                              kel::watch::CellsBefore(text, match->end), left, top, CKelWatchView::kMatchBackground,
                              CKelWatchView::kMatchText);
    }
    // Line numbers on a band the text scrolls under.
    painter.fillRect(QRectF(0, 0, gutter, viewport()->height()), CKelWatchView::kGutterBackground);
    painter.setPen(CKelWatchView::kGutterText);
    for (size_t row = first; row < end; ++row)
        m_grid->DrawLineNumber(painter, rows[row] + 1, gutter, kMargin, static_cast<qreal>(row - first) * lineHeight);
}

void CFilterList::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    _UpdateScrollBars();
}

void CFilterList::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    const long current = m_nCurrentRow ? static_cast<long>(*m_nCurrentRow) : -1;
    const long page = static_cast<long>(_VisibleRows());
    const long last = static_cast<long>(_RowCount()) - 1;
    long target = current;
    switch (event->key()) {
    case Qt::Key_Down: target = current + 1; break;
    case Qt::Key_Up: target = current - 1; break;
    case Qt::Key_PageDown: target = current + page; break;
    case Qt::Key_PageUp: target = current - page; break;
    case Qt::Key_Home: target = 0; break;
    case Qt::Key_End: target = last; break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (last >= 0)
        SetCurrentRow(static_cast<size_t>(std::clamp(target, 0L, last)), event->modifiers().testFlag(Qt::ShiftModifier));
    event->accept();
}

void CFilterList::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const size_t row = FirstVisibleRow() + static_cast<size_t>(std::max(0.0, event->position().y() / m_grid->LineHeight()));
    if (row < _RowCount())
        SetCurrentRow(row, event->modifiers().testFlag(Qt::ShiftModifier));
}

// ---- the pane ----

CFilterPane::CFilterPane(CKelWatchView* view, QWidget* parent)
    : QWidget(parent),
      m_view(view),
      m_edit(new QLineEdit(this)),
      m_regularExpression(new QCheckBox(QStringLiteral("정규식"), this)),
      m_caseSensitive(new QCheckBox(QStringLiteral("대/소문자 구분"), this)),
      m_status(new QLabel(this)),
      m_list(new CFilterList(view, &m_finder, this))
{
    m_edit->setPlaceholderText(QStringLiteral("이 내용이 있는 줄만 보기"));
    m_edit->setClearButtonEnabled(true);
    auto* close = new QToolButton(this);
    close->setText(QStringLiteral("닫기"));

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 2, 4, 2);
    bar->addWidget(new QLabel(QStringLiteral("필터:"), this));
    bar->addWidget(m_edit, 1);
    bar->addWidget(m_regularExpression);
    bar->addWidget(m_caseSensitive);
    bar->addWidget(m_status);
    bar->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(bar);
    layout->addWidget(m_list, 1);

    connect(m_edit, &QLineEdit::textChanged, this, &CFilterPane::_ApplyPattern);
    connect(m_regularExpression, &QCheckBox::toggled, this, &CFilterPane::_ApplyPattern);
    connect(m_caseSensitive, &QCheckBox::toggled, this, &CFilterPane::_ApplyPattern);
    connect(m_edit, &QLineEdit::returnPressed, m_list, [this] { m_list->setFocus(); });
    connect(close, &QToolButton::clicked, this, &CFilterPane::closeRequested);
    connect(m_list, &CFilterList::lineActivated, view, [view](qulonglong line) { view->SelectLine(line + 1); });
    connect(view, &CKelWatchView::highlightChanged, m_list->viewport(), qOverload<>(&QWidget::update));
    // A hidden pane keeps its pattern but searches only once shown again.
    connect(view, &CKelWatchView::linesAppended, this, [this] {
        if (m_finder.IsActive() && !m_searchTimer.isActive() && !isHidden())
            m_searchTimer.start(0, this);
    });
    connect(view, &CKelWatchView::textReplaced, this, &CFilterPane::Restart);
}

void CFilterPane::SetPattern(const QString& pattern, bool regularExpression, bool caseSensitive)
{
    // One change, one search: the fields are set before the pattern is applied.
    {
        const QSignalBlocker blockEdit(m_edit);
        const QSignalBlocker blockExpression(m_regularExpression);
        const QSignalBlocker blockCase(m_caseSensitive);
        m_edit->setText(pattern);
        m_regularExpression->setChecked(regularExpression);
        m_caseSensitive->setChecked(caseSensitive);
    }
    _ApplyPattern();
}

void CFilterPane::Activate()
{
    show();
    m_edit->setFocus(Qt::ShortcutFocusReason);
    m_edit->selectAll();
}

void CFilterPane::Restart()
{
    m_finder.Restart();
    m_list->RowsChanged();
    _SearchSlice();
}

bool CFilterPane::IsSearchDone() const { return !m_finder.IsActive() || m_finder.IsDone(m_view->Lines()); }

QString CFilterPane::StatusText() const { return m_status->text(); }

void CFilterPane::_ApplyPattern()
{
    m_searchTimer.stop();
    // A refused pattern leaves no search and no rows, only its error.
    m_finder.SetPattern(m_edit->text().toStdString(), m_regularExpression->isChecked(), m_caseSensitive->isChecked());
    m_list->RowsChanged();
    _SearchSlice();
}

void CFilterPane::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    _SearchSlice(); // the lines that arrived while the pane was hidden
}

void CFilterPane::_SearchSlice()
{
    if (isHidden()) {
        m_searchTimer.stop();
        return;
    }
    const size_t before = m_finder.MatchingLines().size();
    const bool done = !m_finder.IsActive() || m_finder.Search(m_view->Lines(), kFilterSlice);
    if (m_finder.MatchingLines().size() != before)
        m_list->RowsChanged();
    if (done)
        m_searchTimer.stop();
    else if (!m_searchTimer.isActive())
        m_searchTimer.start(0, this);
    _ShowStatus();
}

void CFilterPane::_ShowStatus()
{
    if (m_edit->text().isEmpty()) {
        m_status->clear();
        return;
    }
    if (!m_finder.IsActive()) {
        m_status->setText(QStringLiteral("잘못된 정규식: %1").arg(QString::fromStdString(m_finder.ErrorString())));
        return;
    }
    QString text = QStringLiteral("%L1줄").arg(static_cast<qulonglong>(m_finder.MatchingLines().size()));
    const size_t total = m_view->Lines().LineCount();
    if (!m_finder.IsDone(m_view->Lines()))
        text += QStringLiteral(" (검색 중 %1%)").arg(m_finder.SearchedLines() * 100 / std::max<size_t>(total, 1));
    m_status->setText(text);
}

void CFilterPane::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        emit closeRequested();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CFilterPane::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_searchTimer.timerId())
        _SearchSlice();
    else
        QWidget::timerEvent(event);
}
