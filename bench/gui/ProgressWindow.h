#pragma once

// CProgressWindow: the window's answer to a page's progress reports. The
// work runs on the window's thread; every report lets the window handle its
// events, so it keeps painting. An action still running after half a second
// gets a progress dialog with a cancel button; until then the user's input
// waits, so nothing can start a second action inside the first.
#include <Progress.h>

#include <QElapsedTimer>
#include <QString>

#include <memory>

class QProgressDialog;
class QWidget;

class CProgressWindow : public kel::bench::CProgress {
public:
    CProgressWindow(QWidget* parent, const QString& label);
    ~CProgressWindow() override;
    CProgressWindow(const CProgressWindow&) = delete;
    CProgressWindow& operator=(const CProgressWindow&) = delete;

    bool Step(ULONGLONG done, ULONGLONG total) override;

    // Time before the dialog shows.
    static constexpr int kDialogDelayMs = 500;

private:
    QWidget* m_pParent;
    QString m_strLabel;
    QElapsedTimer m_clock;
    std::unique_ptr<QProgressDialog> m_pDialog;
};

// Runs `action` with `page`'s progress reported to a CProgressWindow and the
// wait cursor shown.
template <typename Page, typename Action>
void RunWithProgress(QWidget* parent, Page& page, const QString& label, Action action)
{
    CProgressWindow progress(parent, label);
    struct SDetach {
        Page& page;
        ~SDetach() { page.m_pProgress = nullptr; }
    } detach { page };
    page.m_pProgress = &progress;
    action();
}
