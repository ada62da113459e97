#pragma once

// CFilterPane: the pane under a view that lists only the view's lines that
// match a pattern, each with its line number, kept up to date as lines
// arrive. The lines are looked for a slice at a time beside the window's
// events; the count (and how far the search has got) shows on the pane's
// bar. Clicking a line, or moving to it with the keys, moves the view to it.
// CFilterList is the list itself: it paints only the rows on screen, as the
// view does, with the matches marked and the view's highlight rules.
// Lives on the user-interface thread with its view.
#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QWidget>

// After the Qt headers: moc cannot parse <concepts> when a standard header
// brings it in before them.
#include "LineFinder.h"

#include <memory>
#include <optional>

class CGridPainter;
class CKelWatchView;
class QCheckBox;
class QLabel;
class QLineEdit;

class CFilterList : public QAbstractScrollArea {
    Q_OBJECT
public:
    static const QColor kSelectedRow;

    CFilterList(const CKelWatchView* view, const CLineFinder* finder, QWidget* parent = nullptr);
    ~CFilterList() override;

    // The matching lines changed (more were found, or the search began again).
    void RowsChanged();
    // The current row (an index into the finder's matching lines).
    std::optional<size_t> CurrentRow() const { return m_nCurrentRow; }
    void SetCurrentRow(size_t row, bool extend);
    // The text of the selected rows, each followed by "\n".
    QString SelectedText() const;
    size_t FirstVisibleRow() const;
    qreal LineHeight() const;

public slots:
    void copy() const;
    void selectAll();

signals:
    // The user chose the row of line `line` (from 0).
    void lineActivated(qulonglong line);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    size_t _RowCount() const;
    size_t _VisibleRows() const;
    void _UpdateScrollBars();
    qreal _GutterWidth() const;

    const CKelWatchView* m_view;
    const CLineFinder* m_finder;
    std::unique_ptr<CGridPainter> m_grid;
    std::optional<size_t> m_nCurrentRow;
    size_t m_nAnchorRow = 0;
};

class CFilterPane : public QWidget {
    Q_OBJECT
public:
    explicit CFilterPane(CKelWatchView* view, QWidget* parent = nullptr);

    // The pattern of the filter; an empty one lists nothing.
    void SetPattern(const QString& pattern, bool regularExpression, bool caseSensitive);
    const CLineFinder& Finder() const { return m_finder; }
    CFilterList* List() const { return m_list; }
    QLineEdit* Edit() const { return m_edit; }
    QString StatusText() const;
    bool IsSearchDone() const;
    // The view's text was replaced: the search starts again from its first line.
    void Restart();
    // Shows the pane with its text field ready for typing.
    void Activate();

signals:
    void closeRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void _ApplyPattern();
    void _SearchSlice();
    void _ShowStatus();

    CKelWatchView* m_view;
    CLineFinder m_finder{CLineFinder::EMode::MatchingLines};
    QBasicTimer m_searchTimer;
    QLineEdit* m_edit;
    QCheckBox* m_regularExpression;
    QCheckBox* m_caseSensitive;
    QLabel* m_status;
    CFilterList* m_list;
};
