#pragma once

// CDevEdit: the pages' text boxes. Ctrl+A selects the whole text and scrolls
// the caret into view; a file dropped on the box replaces its text with the
// file's path (the last one when several are dropped). CDevEdit is the
// multi-line box, CDevLineEdit the single-line one.
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

signals:
    // The user changed the text (typing, pasting, a drop).
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
};

class CDevLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CDevLineEdit(QWidget* parent = nullptr);
    void SetTextQuietly(const QString& text);

signals:
    void EditedByUser();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool m_bQuiet = false;
};
