#pragma once

// CSystemTray: the notification-area icon of the main window and its state:
// whether it is enabled, shown or removed, and whether a re-add is owed
// after the shell restarted. What the platform does (show the icon, pop up
// the menu, post a command) goes through ITrayShell, which the program
// implements with Qt and the tests with a recorder.
#include <platform/Types.h>

#include <array>

// The icon record handed to the shell.
struct STrayIconData {
    UINT uID = 0;
    UINT uFlags = 0;            // NIF_* of the request
    UINT uCallbackMessage = 0;
    void* hIcon = nullptr;
    bool bOwnWindow = false;    // no target window: the tray's own one receives
    std::array<wchar_t, 128> szTip {};
};

class CSystemTray;

class ITrayShell {
public:
    virtual ~ITrayShell() = default;
    virtual bool AddIcon(const STrayIconData& data) = 0;
    virtual bool ModifyIcon(const STrayIconData& data) = 0;
    virtual bool DeleteIcon(const STrayIconData& data) = 0;
    // An icon resource at the default size; null when it cannot be loaded.
    virtual void* LoadIcon(UINT resource) = 0;
    virtual void FreeIcon(void* icon) = 0;
    // Pops up the first submenu of `menu` at the cursor with the item at
    // `defaultPosition` as default, after `tray.PrepareMenu`; false when the
    // menu cannot be loaded.
    virtual bool TrackMenu(UINT menu, int defaultPosition, CSystemTray& tray) = 0;
    // The command of the item at `position` of the first submenu of `menu`;
    // false when the menu cannot be loaded.
    virtual bool MenuItemCommand(UINT menu, int position, UINT& command) = 0;
    // Brings the target window to the foreground and posts it a command.
    virtual void SetForeground() = 0;
    virtual void PostCommand(UINT command) = 0;
};

class CSystemTray {
public:
    static constexpr UINT NIF_MESSAGE = 1, NIF_ICON = 2, NIF_TIP = 4;

    explicit CSystemTray(ITrayShell& shell) : m_shell(shell) {}
    virtual ~CSystemTray();
    CSystemTray(const CSystemTray&) = delete;
    CSystemTray& operator=(const CSystemTray&) = delete;

    // Adds the icon for `hasTarget` (a target window) with `icon`.
    bool AddIcon(bool hasTarget, void* icon);
    bool SetIconResource(UINT resource);
    void RemoveIcon();
    // 1 when the message was for this icon and a target exists, else 0.
    int OnTrayMessage(UINT iconId, UINT mouseMessage);
    // Called with the popup menu before it is shown.
    virtual void PrepareMenu(void* menu);
    // The shell restarted and lost every icon.
    int OnShellRestart();
    // A system setting changed.
    void OnWorkAreaChange(UINT setting);

    // State, as the tests and the window look at it.
    bool m_bIconEnabled = false;
    bool m_bIconHidden = true;
    bool m_bIconRemoved = true;
    bool m_bReAddPending = false;
    int m_nDefaultItem = 0;
    bool m_bDefaultIsPosition = true;
    bool m_bHasNotifyTarget = false;
    UINT m_uAddFlags = 0;
    int m_nMaxTipLength = 0;
    const STrayIconData& IconData() const { return m_nid; }

private:
    void _ReAdd();
    void _FreeLoadedIcon();

    ITrayShell& m_shell;
    STrayIconData m_nid;
    // The icon SetIconResource loaded. The record refers to it for every
    // re-add after a shell restart or a work-area change, so it is freed only
    // when the record lets go of it (a new icon, a new add) or with the tray.
    void* m_pLoadedIcon = nullptr;
};
