#pragma once

// The tray shell of Kelbench on Qt: the icon is a QSystemTrayIcon whose
// context menu is the tray menu; commands go to the main window, queued as
// a posted message would be.
#include <SystemTray.h>

#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

#include <functional>

class CQtTrayShell : public ITrayShell {
public:
    using CommandHandler = std::function<void(UINT command)>;

    // `available` says whether the desktop has a tray; `onCommand` runs each
    // menu command and posted command on the window's thread.
    CQtTrayShell(QWidget* window, bool available, CommandHandler onCommand);

    bool AddIcon(const STrayIconData& data) override;
    bool ModifyIcon(const STrayIconData& data) override;
    bool DeleteIcon(const STrayIconData& data) override;
    void* LoadIcon(UINT resource) override;
    void FreeIcon(void* icon) override;
    bool TrackMenu(UINT menu, int defaultPosition, CSystemTray& tray) override;
    bool MenuItemCommand(UINT menu, int position, UINT& command) override;
    void SetForeground() override;
    void PostCommand(UINT command) override;

    QSystemTrayIcon& Icon() { return m_icon; }
    QMenu& Menu() { return m_menu; }

    // The program's icon, drawn rather than loaded from a file.
    static QIcon MainIcon();

private:
    QWidget* m_pWindow;
    bool m_bAvailable;
    CommandHandler m_onCommand;
    QMenu m_menu;
    QSystemTrayIcon m_icon;
};
