#include "KelbenchApp.h"

#include "KelbenchDlg.h"
#include "QtText.h"

#include <KelbenchResources.h>
#include <KelbenchSettings.h>
#include <PageSupport.h>
#include <platform/UiHooks.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QSystemTrayIcon>

using namespace kel::bench;

namespace {

void InstallDialogs()
{
    kel::platform::SetMessageBoxHook([](const CStringW& text, const CStringW& caption, UINT type) {
        const QString title = caption.IsEmpty() ? QString::fromWCharArray(kAppTitle) : ToQString(caption);
        if (type & kMbOkCancel)
            return QMessageBox::question(QApplication::activeWindow(), title, ToQString(text),
                       QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel)
                    == QMessageBox::Ok
                ? kel::platform::kIdOk
                : kel::platform::kIdCancel;
        if (type & kel::platform::kMbIconError)
            QMessageBox::critical(QApplication::activeWindow(), title, ToQString(text));
        else
            QMessageBox::information(QApplication::activeWindow(), title, ToQString(text));
        return kel::platform::kIdOk;
    });
    kel::platform::SetFolderChooserHook([](const CStringW& title, CStringW& path) {
        const QString chosen = QFileDialog::getExistingDirectory(QApplication::activeWindow(), ToQString(title));
        if (chosen.isEmpty())
            return false;
        path = FromQString(chosen);
        return true;
    });
}

} // namespace

CKelbenchApp::CKelbenchApp()
    : CWinApp(kAppTitle)
{
}

CKelbenchApp::~CKelbenchApp()
{
    kel::platform::SetMessageBoxHook(nullptr);
    kel::platform::SetFolderChooserHook(nullptr);
}

BOOL CKelbenchApp::InitInstance()
{
    m_nLogLevel = InitLogFromSettings(kAppTitle);
    InstallDialogs();
    // The program lives in the tray: closing or hiding its window must not
    // end it; only "종료" does.
    QApplication::setQuitOnLastWindowClosed(false);

    m_pMainWnd = std::make_unique<CKelbenchDlg>(QSystemTrayIcon::isSystemTrayAvailable());
    QObject::connect(m_pMainWnd.get(), &CKelbenchDlg::ExitRequested, qApp, &QApplication::quit, Qt::QueuedConnection);
    if (!m_pMainWnd->Create()) {
        // Without a notification area the window is shown instead, so the
        // program is never unreachable; closing it then ends the program.
        QApplication::setQuitOnLastWindowClosed(true);
        m_pMainWnd->show();
    }
    return TRUE;
}

int CKelbenchApp::ExitInstance()
{
    m_pMainWnd.reset();
    return 0;
}
