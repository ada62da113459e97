#include "ProgressWindow.h"

#include <QApplication>
#include <QProgressDialog>

namespace {

constexpr int kSteps = 1000;

} // namespace

CProgressWindow::CProgressWindow(QWidget* parent, const QString& label)
    : m_pParent(parent)
    , m_strLabel(label)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

CProgressWindow::~CProgressWindow()
{
    QApplication::restoreOverrideCursor();
}

bool CProgressWindow::Step(ULONGLONG done, ULONGLONG total)
{
    // The time runs from the first report: a question the action asks
    // before its work is no part of it.
    if (!m_clock.isValid())
        m_clock.start();
    if (total > 0 && done >= total) {
        m_pDialog.reset(); // over: a result shown next stands alone
        return true;
    }
    if (!m_pDialog && m_clock.elapsed() >= kDialogDelayMs) {
        m_pDialog = std::make_unique<QProgressDialog>(m_strLabel, QStringLiteral("취소"), 0, kSteps, m_pParent);
        m_pDialog->setWindowTitle(QStringLiteral("Kelbench"));
        m_pDialog->setWindowModality(Qt::WindowModal);
        m_pDialog->setAutoReset(false);
        m_pDialog->setAutoClose(false);
        m_pDialog->setMinimumDuration(0);
        m_pDialog->show();
    }
    if (m_pDialog) {
        m_pDialog->setValue(total ? static_cast<int>(done * kSteps / total) : 0);
        // The dialog is modal: input reaches only its cancel button.
        QApplication::processEvents();
        return !m_pDialog->wasCanceled();
    }
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return true;
}
