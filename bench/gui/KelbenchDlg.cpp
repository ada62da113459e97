#include "KelbenchDlg.h"

#include "AboutDlg.h"
#include "PageBase64DecodingView.h"
#include "PageBase64EncodingView.h"
#include "PageFilesView.h"
#include "PageHashView.h"
#include "PageVSAssistView.h"

#include <KelbenchResources.h>

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

using namespace kel::bench;

CKelbenchDlg::CKelbenchDlg(bool trayAvailable, QWidget* parent)
    : QDialog(parent)
    , m_icon(CQtTrayShell::MainIcon())
    , m_shell(this, trayAvailable, [this](UINT command) { OnCommand(command); })
    , m_tray(m_shell)
    , m_pTabs(new QTabWidget)
{
    setWindowTitle(QString::fromWCharArray(kAppTitle));
    setWindowIcon(m_icon);
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    resize(780, 680);
    _CreatePages();

    // The about item: Qt offers no system menu, so it sits in the window's
    // context menu.
    auto* about = new QAction(QString::fromWCharArray(kAboutMenuText), this);
    connect(about, &QAction::triggered, this, &CKelbenchDlg::OnAbout);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    connect(&m_shell.Icon(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            m_tray.OnTrayMessage(IDR_TRAY, WM_LBUTTONDBLCLK);
    });
    connect(&m_shell.Menu(), &QMenu::aboutToShow, this, [this] { m_tray.PrepareMenu(&m_shell.Menu()); });
    if (QScreen* screen = QGuiApplication::primaryScreen())
        connect(screen, &QScreen::availableGeometryChanged, this,
            [this] { m_tray.OnWorkAreaChange(SPI_SETWORKAREA); });
}

CKelbenchDlg::~CKelbenchDlg() = default;

void CKelbenchDlg::_CreatePages()
{
    m_pVSAssist = new CPageVSAssistView;
    m_pFiles = new CPageFilesView;
    m_pEncoding = new CPageBase64EncodingView;
    m_pDecoding = new CPageBase64DecodingView;
    m_pHash = new CPageHashView;
    m_pTabs->addTab(m_pVSAssist, QStringLiteral("VS Assist"));
    m_pTabs->addTab(m_pFiles, QStringLiteral("Files"));
    m_pTabs->addTab(m_pEncoding, QStringLiteral("Base64 Encoding"));
    m_pTabs->addTab(m_pDecoding, QStringLiteral("Base64 Decoding"));
    m_pTabs->addTab(m_pHash, QStringLiteral("Hash"));
    m_pTabs->setUsesScrollButtons(true);
    m_pTabs->setCurrentIndex(kPageVSAssist);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pTabs);
}

bool CKelbenchDlg::Create()
{
    if (!m_tray.AddIcon(true, &m_icon))
        return false;
    m_tray.SetIconResource(IDR_MAINFRAME);
    return true;
}

void CKelbenchDlg::OnCommand(UINT command)
{
    if (command == ID_TRAY_EXIT) {
        m_tray.RemoveIcon();
        hide();
        emit ExitRequested();
        return;
    }
    const int page = PageOfTrayCommand(command);
    if (page >= 0)
        m_pTabs->setCurrentIndex(page);
    if ((page >= 0 || command == IDR_TRAY) && !isVisible())
        _RestoreFromTray();
}

void CKelbenchDlg::OnAbout()
{
    CAboutDlg about(this);
    about.exec();
}

void CKelbenchDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // Minimising hides the window to the tray, when there is one to come
    // back from.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_tray.m_bIconEnabled
        && !m_tray.m_bIconHidden)
        _HideToTray();
}

void CKelbenchDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return;
    QDialog::keyPressEvent(event);
}

void CKelbenchDlg::_HideToTray()
{
    // No animation: Qt offers none towards the tray.
    hide();
}

void CKelbenchDlg::_RestoreFromTray()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}
