#include "DevEdit.h"

#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

namespace {

// The path of the last local file of a drop; empty when it holds none.
QString DroppedPath(const QMimeData* data)
{
    QString path;
    if (data && data->hasUrls())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile())
                path = url.toLocalFile();
    return path;
}

} // namespace

CDevEdit::CDevEdit(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setAcceptDrops(true);
    connect(this, &QPlainTextEdit::textChanged, this, &CDevEdit::_OnTextChanged);
}

void CDevEdit::SetTextQuietly(const QString& text)
{
    m_bQuiet = true;
    setPlainText(text);
    m_bQuiet = false;
}

void CDevEdit::_OnTextChanged()
{
    if (m_bQuiet)
        return;
    if (m_nLimit > 0 && document()->characterCount() - 1 > m_nLimit) {
        m_bQuiet = true;
        QTextCursor cursor(document());
        cursor.setPosition(m_nLimit);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        m_bQuiet = false;
    }
    emit EditedByUser();
}

void CDevEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        ensureCursorVisible();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CDevEdit::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedPath(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        QPlainTextEdit::dragEnterEvent(event);
}

void CDevEdit::dragMoveEvent(QDragMoveEvent* event)
{
    if (!DroppedPath(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        QPlainTextEdit::dragMoveEvent(event);
}

bool CDevEdit::TakeDrop(const QMimeData* data)
{
    // The whole path is kept, however long: a cut path would name another
    // file. Only the text changes; the page learns of it when the user then
    // edits the text.
    const QString path = DroppedPath(data);
    if (path.isEmpty())
        return false;
    SetTextQuietly(path);
    return true;
}

void CDevEdit::dropEvent(QDropEvent* event)
{
    if (TakeDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        QPlainTextEdit::dropEvent(event);
}

CDevLineEdit::CDevLineEdit(QWidget* parent)
    : QLineEdit(parent)
{
    setAcceptDrops(true);
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!m_bQuiet)
            emit EditedByUser();
    });
}

void CDevLineEdit::SetTextQuietly(const QString& text)
{
    m_bQuiet = true;
    setText(text);
    m_bQuiet = false;
}

void CDevLineEdit::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedPath(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        QLineEdit::dragEnterEvent(event);
}

void CDevLineEdit::dragMoveEvent(QDragMoveEvent* event)
{
    if (!DroppedPath(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        QLineEdit::dragMoveEvent(event);
}

bool CDevLineEdit::TakeDrop(const QMimeData* data)
{
    const QString path = DroppedPath(data);
    if (path.isEmpty())
        return false;
    setText(path); // a read-only path box still takes a dropped file, and loads it
    return true;
}

void CDevLineEdit::dropEvent(QDropEvent* event)
{
    if (TakeDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        QLineEdit::dropEvent(event);
}
