#pragma once

// CDevEdit: the pages' text boxes. Ctrl+A selects the whole text and scrolls
// the caret into view; a file dropped on the box replaces its text with the
// file's path (the last one when several are dropped). CDevEdit is the
// multi-line box, where a drop is not an edit of the user's; CDevLineEdit
// the single-line path box, where a drop reports the change.
//
// The multi-line box shows text through a document that keeps no carriage
// returns (CR LF and a lone CR both become one line break) and shows a few
// other characters differently (a no-break space as a blank). Text() hands
// back the characters the page put in, CR included, with the user's edits
// applied to them, so the bytes a page rebuilds are the bytes it showed.
#include <QLineEdit>
#include <QPlainTextEdit>

class CDevEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CDevEdit(QWidget* parent = nullptr);
    // Characters the box holds at most; typing or pasting beyond is cut off.
    void SetLimitText(int limit) { m_nLimit = limit; }
    // Replaces the text without reporting it as the user's edit.
    void SetTextQuietly(const QString& text);
    // The text as the page set it, with the user's edits since.
    const QString& Text() const { return m_strText; }
    // What a drop of `data` does: false when it holds no local file.
    bool TakeDrop(const QMimeData* data);

signals:
    // The user changed the text (typing, pasting).
    void EditedByUser();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void _OnTextChanged();

    int m_nLimit = 0;
    bool m_bQuiet = false;
    QString m_strText;  // what Text() gives
    QString m_strShown; // the document's plain text when m_strText was last brought up to date
};

class CDevLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CDevLineEdit(QWidget* parent = nullptr);
    void SetTextQuietly(const QString& text);
    bool TakeDrop(const QMimeData* data);

signals:
    void EditedByUser();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool m_bQuiet = false;
};
