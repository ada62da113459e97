#pragma once

// CKelbenchApp: the application object: reads the settings, starts the log,
// installs the dialogs that the libraries ask for, and creates the main
// window hidden with its tray icon.
#include <platform/WinApp.h>

#include <memory>

class CKelbenchDlg;

class CKelbenchApp : public CWinApp {
public:
    CKelbenchApp();
    ~CKelbenchApp() override;

    // Must run after the QApplication exists.
    BOOL InitInstance() override;
    int ExitInstance() override;

    CKelbenchDlg* MainWindow() { return m_pMainWnd.get(); }
    // The log level the settings selected; -1 when none was applied.
    int LogLevel() const { return m_nLogLevel; }

private:
    std::unique_ptr<CKelbenchDlg> m_pMainWnd;
    int m_nLogLevel = -1;
};
