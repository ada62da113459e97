#include "DevEdit.h"

#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <vector>

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

// Where each character of the document's plain text `shown` starts in
// `text`, the text it was made from, plus one entry for the end: the
// document turns CR LF into one line break and keeps every other character
// as one (possibly shown differently). Empty when `shown` is not of that
// form, which leaves nothing to map.
std::vector<qsizetype> ShownToText(const QString& text, const QString& shown)
{
    std::vector<qsizetype> starts;
    starts.reserve(static_cast<size_t>(shown.size()) + 1);
    qsizetype at = 0;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (at >= text.size())
            return {};
        starts.push_back(at);
        const bool crlf = text[at] == u'\r' && at + 1 < text.size() && text[at + 1] == u'\n' && shown[i] == u'\n';
        at += crlf ? 2 : 1;
    }
    if (at != text.size())
        return {};
    starts.push_back(at);
    return starts;
}

// `text` with the edit that turned `before` into `after` (both plain texts
// of the document) applied to it: the changed middle, between the common
// beginning and end, replaces the characters it stood for in `text`.
QString ApplyEdit(const QString& text, const QString& before, const QString& after)
{
    const std::vector<qsizetype> starts = ShownToText(text, before);
    if (starts.empty())
        return after;
    const qsizetype shortest = std::min(before.size(), after.size());
    qsizetype head = 0;
    while (head < shortest && before[head] == after[head])
        ++head;
    qsizetype tail = 0;
    while (tail < shortest - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    const qsizetype from = starts[static_cast<size_t>(head)];
    const qsizetype to = starts[static_cast<size_t>(before.size() - tail)];
    return text.left(from) + after.mid(head, after.size() - tail - head) + text.mid(to);
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
    m_strText = text;
    m_strShown = toPlainText();
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
    const QString shown = toPlainText();
    m_strText = ApplyEdit(m_strText, m_strShown, shown);
    m_strShown = shown;
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
