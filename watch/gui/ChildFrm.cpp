#include "ChildFrm.h"

#include "FilterPane.h"
#include "KelWatchView.h"

#include <QCloseEvent>
#include <QPixmap>
#include <QSplitter>

CChildFrame::CChildFrame(CKelWatchView* view, QWidget* parent)
    : QMdiSubWindow(parent), m_view(view), m_filter(new CFilterPane(view)), m_splitter(new QSplitter(Qt::Vertical))
{
    m_splitter->addWidget(view);
    m_splitter->addWidget(m_filter);
    m_splitter->setStretchFactor(0, 3);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setChildrenCollapsible(false);
    m_filter->hide();
    connect(m_filter, &CFilterPane::closeRequested, this, [this] { ShowFilter(false); });
    setWidget(m_splitter);
    setAttribute(Qt::WA_DeleteOnClose);
    // Tabs carry no icons.
    QPixmap blank(1, 1);
    blank.fill(Qt::transparent);
    setWindowIcon(QIcon(blank));
}

void CChildFrame::closeEvent(QCloseEvent* event)
{
    QMdiSubWindow::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}

void CChildFrame::ShowFilter(bool on)
{
    if (on) {
        m_filter->Activate();
        return;
    }
    m_filter->hide();
    m_view->setFocus();
}

bool CChildFrame::IsFilterShown() const { return !m_filter->isHidden(); }
