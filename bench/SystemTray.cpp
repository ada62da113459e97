#include "SystemTray.h"

#include "KelbenchResources.h"

#include <cwchar>

using namespace kel::bench;

CSystemTray::~CSystemTray()
{
    RemoveIcon();
    _FreeLoadedIcon();
}

void CSystemTray::_FreeLoadedIcon()
{
    if (m_pLoadedIcon)
        m_shell.FreeIcon(m_pLoadedIcon);
    m_pLoadedIcon = nullptr;
}

bool CSystemTray::AddIcon(bool hasTarget, void* icon)
{
    if (icon != m_pLoadedIcon)
        _FreeLoadedIcon(); // the new record no longer refers to it
    m_nMaxTipLength = 128;
    m_bIconEnabled = true;
    m_bHasNotifyTarget = hasTarget;
    m_nid = STrayIconData();
    m_nid.bOwnWindow = !hasTarget;
    m_nid.uID = IDR_TRAY;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_nid.uCallbackMessage = WM_TRAY_NOTIFY;
    m_nid.hIcon = icon;
    std::wcsncpy(m_nid.szTip.data(), kAppTitle, static_cast<size_t>(m_nMaxTipLength - 1));
    m_bIconHidden = false;
    m_uAddFlags = m_nid.uFlags;
    const bool added = m_shell.AddIcon(m_nid);
    m_bIconRemoved = m_bIconHidden = m_bReAddPending = !added;
    return added;
}

bool CSystemTray::SetIconResource(UINT resource)
{
    void* icon = m_shell.LoadIcon(resource);
    if (!icon)
        return false;
    if (!m_bIconEnabled) {
        m_shell.FreeIcon(icon);
        return false;
    }
    if (icon != m_pLoadedIcon)
        _FreeLoadedIcon();
    m_pLoadedIcon = icon;
    m_nid.uFlags = NIF_ICON;
    m_nid.hIcon = icon;
    if (m_bIconHidden)
        return true;
    return m_shell.ModifyIcon(m_nid);
}

void CSystemTray::RemoveIcon()
{
    m_bReAddPending = false;
    if (!m_bIconEnabled || m_bIconRemoved)
        return;
    m_nid.uFlags = 0;
    if (m_shell.DeleteIcon(m_nid))
        m_bIconHidden = m_bIconRemoved = true;
}

int CSystemTray::OnTrayMessage(UINT iconId, UINT mouseMessage)
{
    if (iconId != m_nid.uID || iconId == 0)
        return 0;
    if (mouseMessage == WM_RBUTTONUP) {
        if (!m_shell.TrackMenu(IDR_TRAY, m_nDefaultItem, *this))
            return 0;
    } else if (mouseMessage == WM_LBUTTONDBLCLK) {
        m_shell.SetForeground();
        UINT command = 0;
        if (!m_shell.MenuItemCommand(IDR_TRAY, m_nDefaultItem, command))
            return 0;
        m_shell.PostCommand(command);
    }
    return 1;
}

void CSystemTray::PrepareMenu(void*)
{
}

void CSystemTray::_ReAdd()
{
    m_nid.uFlags = m_uAddFlags;
    const bool added = m_shell.AddIcon(m_nid);
    m_bIconHidden = m_bReAddPending = !added;
}

int CSystemTray::OnShellRestart()
{
    m_bReAddPending = true;
    if (!m_bIconHidden)
        _ReAdd();
    return 0;
}

void CSystemTray::OnWorkAreaChange(UINT setting)
{
    if (setting != SPI_SETWORKAREA)
        return;
    m_bReAddPending = !m_bIconHidden;
    if (m_bReAddPending)
        _ReAdd();
}
