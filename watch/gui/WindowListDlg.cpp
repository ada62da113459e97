#include "WindowListDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

CWindowListDlg::CWindowListDlg(QMdiArea* area, QWidget* parent) : QDialog(parent), m_area(area)
{
    setWindowTitle(QStringLiteral("창"));
    auto* layout = new QHBoxLayout(this);
    m_list = new QListWidget(this);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(m_list, 1);
    auto* buttons = new QDialogButtonBox(Qt::Vertical, this);
    auto* activate = buttons->addButton(QStringLiteral("활성화(&A)"), QDialogButtonBox::ActionRole);
    auto* close = buttons->addButton(QStringLiteral("창 닫기(&C)"), QDialogButtonBox::ActionRole);
    auto* ok = buttons->addButton(QStringLiteral("확인"), QDialogButtonBox::AcceptRole);
    layout->addWidget(buttons);
    connect(activate, &QPushButton::clicked, this, &CWindowListDlg::ActivateSelected);
    connect(close, &QPushButton::clicked, this, &CWindowListDlg::CloseSelected);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &CWindowListDlg::ActivateSelected);
    _Fill();
}

void CWindowListDlg::_Fill()
{
    m_list->clear();
    for (QMdiSubWindow* window : m_area->subWindowList()) {
        auto* item = new QListWidgetItem(window->windowTitle(), m_list);
        item->setData(Qt::UserRole, QVariant::fromValue(static_cast<QObject*>(window)));
        if (window == m_area->activeSubWindow())
            m_list->setCurrentItem(item);
    }
}

QList<QMdiSubWindow*> CWindowListDlg::_Selected() const
{
    QList<QMdiSubWindow*> windows;
    for (QListWidgetItem* item : m_list->selectedItems())
        if (auto* window = qobject_cast<QMdiSubWindow*>(item->data(Qt::UserRole).value<QObject*>()))
            windows.append(window);
    return windows;
}

void CWindowListDlg::ActivateSelected()
{
    const QList<QMdiSubWindow*> windows = _Selected();
    if (!windows.isEmpty())
        m_area->setActiveSubWindow(windows.first());
    accept();
}

void CWindowListDlg::CloseSelected()
{
    for (const QPointer<QMdiSubWindow> window : _Selected())
        if (window)
            window->close();
    _Fill();
}
