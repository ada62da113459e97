#include "QtTrayShell.h"

#include <KelbenchResources.h>

#include <QCursor>
#include <QPainter>
#include <QTimer>

using namespace kel::bench;

CQtTrayShell::CQtTrayShell(QWidget* window, bool available, CommandHandler onCommand)
    : m_pWindow(window)
    , m_bAvailable(available)
    , m_onCommand(std::move(onCommand))
{
    bool first = true;
    for (const SMenuItem& item : kTrayMenu) {
        if (item.nCommand == 0) {
            m_menu.addSeparator();
            continue;
        }
        QAction* action = m_menu.addAction(QString::fromWCharArray(item.pszText));
        const UINT command = item.nCommand;
        QObject::connect(action, &QAction::triggered, &m_menu, [this, command] { m_onCommand(command); });
        if (first)
            m_menu.setDefaultAction(action);
        first = false;
    }
    m_icon.setContextMenu(&m_menu);
}

QIcon CQtTrayShell::MainIcon()
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x2E, 0x5C, 0x8A));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(2, 2, 60, 60, 12, 12);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(44);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("K"));
    return QIcon(pixmap);
}

bool CQtTrayShell::AddIcon(const STrayIconData& data)
{
    if (!m_bAvailable)
        return false;
    if (data.uFlags & CSystemTray::NIF_ICON)
        m_icon.setIcon(data.hIcon ? *static_cast<QIcon*>(data.hIcon) : MainIcon());
    if (data.uFlags & CSystemTray::NIF_TIP)
        m_icon.setToolTip(QString::fromWCharArray(data.szTip.data()));
    m_icon.show();
    return true;
}

bool CQtTrayShell::ModifyIcon(const STrayIconData& data)
{
    if (!m_bAvailable)
        return false;
    if ((data.uFlags & CSystemTray::NIF_ICON) && data.hIcon)
        m_icon.setIcon(*static_cast<QIcon*>(data.hIcon));
    return true;
}

bool CQtTrayShell::DeleteIcon(const STrayIconData&)
{
    m_icon.hide();
    return true;
}

void* CQtTrayShell::LoadIcon(UINT resource)
{
    return resource == IDR_MAINFRAME ? new QIcon(MainIcon()) : nullptr;
}

void CQtTrayShell::FreeIcon(void* icon)
{
    delete static_cast<QIcon*>(icon);
}

bool CQtTrayShell::TrackMenu(UINT menu, int, CSystemTray& tray)
{
    if (menu != IDR_TRAY)
        return false;
    tray.PrepareMenu(&m_menu);
    m_menu.popup(QCursor::pos());
    return true;
}

bool CQtTrayShell::MenuItemCommand(UINT menu, int position, UINT& command)
{
    if (menu != IDR_TRAY || position < 0 || position >= static_cast<int>(std::size(kTrayMenu)))
        return false;
    command = kTrayMenu[position].nCommand;
    return true;
}

void CQtTrayShell::SetForeground()
{
    m_pWindow->activateWindow();
}

void CQtTrayShell::PostCommand(UINT command)
{
    QTimer::singleShot(0, m_pWindow, [this, command] { m_onCommand(command); });
}
