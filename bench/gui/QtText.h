#pragma once

// Conversions between the layer's wide strings and Qt's strings, and a busy
// cursor for the length of a long action.
#include <platform/StringW.h>

#include <QApplication>
#include <QString>

inline QString ToQString(const CStringW& text)
{
    return QString::fromStdWString(text.str());
}

inline CStringW FromQString(const QString& text)
{
    return CStringW(text.toStdWString());
}

// Shows the wait cursor while it lives, for the short actions that report
// no progress (a folder search, a sort).
class CBusyCursor {
public:
    CBusyCursor()
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        // Let the cursor reach the screen before the work blocks the thread.
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    ~CBusyCursor() { QApplication::restoreOverrideCursor(); }
    CBusyCursor(const CBusyCursor&) = delete;
    CBusyCursor& operator=(const CBusyCursor&) = delete;
};
