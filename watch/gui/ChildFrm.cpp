#include "ChildFrm.h"

#include "KelWatchView.h"

#include <QCloseEvent>
#include <QPixmap>

CChildFrame::CChildFrame(CKelWatchView* view, QWidget* parent) : QMdiSubWindow(parent), m_view(view)
{
    setWidget(view);
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
