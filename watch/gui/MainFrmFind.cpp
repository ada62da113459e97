// The frame's find bar, filter pane switch and go to line, for the current view.
#include "MainFrm.h"

#include "ChildFrm.h"
#include "FindBar.h"
#include "KelWatchView.h"
#include "Resource.h"

#include <QAction>
#include <QInputDialog>
#include <QToolBar>

#include <algorithm>
#include <climits>

// The find bar sits under the documents, hidden until Ctrl+F.
void CMainFrame::createFindBar()
{
    m_findBar = new CFindBar(this);
    m_findToolBar = new QToolBar(QStringLiteral("찾기"), this);
    m_findToolBar->setMovable(false);
    m_findToolBar->setFloatable(false);
    m_findToolBar->toggleViewAction()->setVisible(false);
    m_findToolBar->addWidget(m_findBar);
    addToolBar(Qt::BottomToolBarArea, m_findToolBar);
    m_findToolBar->hide();
    connect(m_findBar, &CFindBar::patternChanged, this, &CMainFrame::_ApplyFind);
    connect(m_findBar, &CFindBar::nextRequested, Action(ID_EDIT_FIND_NEXT), &QAction::trigger);
    connect(m_findBar, &CFindBar::previousRequested, Action(ID_EDIT_FIND_PREVIOUS), &QAction::trigger);
    connect(m_findBar, &CFindBar::closeRequested, this, &CMainFrame::closeFindBar);
}

void CMainFrame::showFindBar()
{
    m_findToolBar->show();
    m_findBar->Activate();
    _ApplyFind();
}

void CMainFrame::closeFindBar()
{
    m_findToolBar->hide();
    if (CChildFrame* child = ActiveChild()) {
        child->GetView()->ClearFind();
        child->GetView()->setFocus();
    }
}

void CMainFrame::toggleFilter(bool on)
{
    if (CChildFrame* child = ActiveChild())
        child->ShowFilter(on);
    _ShowFilterState();
}

// The filter action is checked while the current window shows its pane.
void CMainFrame::_ShowFilterState()
{
    const CChildFrame* child = ActiveChild();
    Action(ID_VIEW_FILTER)->setChecked(child && child->IsFilterShown());
}

void CMainFrame::goToLine()
{
    CChildFrame* child = ActiveChild();
    if (!child)
        return;
    CKelWatchView* view = child->GetView();
    const int lines = static_cast<int>(std::clamp<size_t>(view->Lines().LineCount(), 1, INT_MAX));
    const int current = static_cast<int>(std::min<size_t>(view->Selection().Caret().line.Get() + 1, lines));
    bool ok = false;
    const int number = QInputDialog::getInt(this, QStringLiteral("줄 이동"),
                                            QStringLiteral("줄 번호 (1 - %1):").arg(lines), current, 1, lines, 1, &ok);
    if (ok)
        view->GoToLine(static_cast<size_t>(number));
}

// The bar's pattern for the current view.
void CMainFrame::_ApplyFind()
{
    if (CChildFrame* child = ActiveChild())
        child->GetView()->Find(m_findBar->Pattern(), m_findBar->IsRegularExpression(), m_findBar->IsCaseSensitive());
}

void CMainFrame::_ShowFindState()
{
    const CChildFrame* child = ActiveChild();
    if (!m_findBar || !child)
        return;
    const CKelWatchView* view = child->GetView();
    // Below 100 while the search goes on, however far it got.
    const size_t lines = std::max<size_t>(view->Lines().LineCount(), 1);
    const int searched = view->IsFindDone()
        ? 100
        : std::min(99, static_cast<int>(view->Finder().SearchedLines() * 100 / lines));
    m_findBar->ShowCount(view->Finder().MatchCount(), view->CurrentMatch(), searched,
                         QString::fromStdString(view->Finder().ErrorString()));
}
