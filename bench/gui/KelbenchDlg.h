#pragma once

// CKelbenchDlg: the main window, a tab sheet of five pages that the tray
// icon's menu brings up. It is hidden and shown, never destroyed, until the
// tray menu's "종료" ends the program.
#include "QtTrayShell.h"

#include <SystemTray.h>

#include <QDialog>

#include <memory>

class QTabWidget;
class CPageBase64DecodingView;
class CPageBase64EncodingView;
class CPageFilesView;
class CPageHashView;
class CPageVSAssistView;

class CKelbenchDlg : public QDialog {
    Q_OBJECT
public:
    // `trayAvailable` says whether the desktop offers a notification area.
    explicit CKelbenchDlg(bool trayAvailable, QWidget* parent = nullptr);
    ~CKelbenchDlg() override;

    // Adds the tray icon; false when it cannot be added (no tray), and the
    // window must then be shown so that the program stays reachable.
    bool Create();

    // A command of the tray menu (or a double-click on the icon).
    void OnCommand(UINT command);
    void OnAbout();

    QTabWidget* Tabs() { return m_pTabs; }
    CSystemTray& Tray() { return m_tray; }
    CQtTrayShell& TrayShell() { return m_shell; }
    CPageVSAssistView* VSAssistPage() { return m_pVSAssist; }
    CPageFilesView* FilesPage() { return m_pFiles; }
    CPageBase64EncodingView* EncodingPage() { return m_pEncoding; }
    CPageBase64DecodingView* DecodingPage() { return m_pDecoding; }
    CPageHashView* HashPage() { return m_pHash; }

signals:
    // "종료" was chosen: the icon is gone and the program ends.
    void ExitRequested();

protected:
    void changeEvent(QEvent* event) override;
    // Enter in a single-line box must not press a page's first button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void _CreatePages();
    void _HideToTray();
    void _RestoreFromTray();

    QIcon m_icon;
    CQtTrayShell m_shell;
    CSystemTray m_tray;
    QTabWidget* m_pTabs;
    CPageVSAssistView* m_pVSAssist;
    CPageFilesView* m_pFiles;
    CPageBase64EncodingView* m_pEncoding;
    CPageBase64DecodingView* m_pDecoding;
    CPageHashView* m_pHash;
};
