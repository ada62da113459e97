// The frame's saving and printing of the current view's text.
#include "MainFrm.h"

#include "ChildFrm.h"
#include "KelWatchView.h"
#include "Resource.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <filesystem>

namespace {

// A print preview lays out at most this many pages.
constexpr int kPreviewPages = 200;

bool IsSameFile(const QString& a, const QString& b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists()) {
        // Another name of the same file (a hard link) is the same file too.
        std::error_code error;
        return std::filesystem::equivalent(QFile::encodeName(a).toStdString(), QFile::encodeName(b).toStdString(), error)
            || first.canonicalFilePath() == second.canonicalFilePath();
    }
    return first.absoluteFilePath() == second.absoluteFilePath();
}

} // namespace

bool CMainFrame::SaveViewText(CChildFrame* child, const QString& path)
{
    const CKelWatchDoc* document = child->GetView()->GetDocument();
    const QString followed = QString::fromStdWString(document->GetPathName().str());
    if (!followed.isEmpty() && IsSameFile(path, followed))
        return false; // writing the view's text over the log it follows would destroy the log
    // Saving is the document's: it writes the text of the document's first
    // view, whichever of its windows is active.
    CKelWatchView* firstView = child->GetView();
    for (CChildFrame* other : Children()) {
        if (other->GetView()->GetDocument() == document) {
            firstView = other->GetView();
            break;
        }
    }
    if (!firstView->SaveText(path))
        return false;
    child->SetSavedPath(path);
    return true;
}

void CMainFrame::save()
{
    CChildFrame* child = ActiveChild();
    if (!child)
        return;
    if (child->SavedPath().isEmpty())
        saveAs();
    else if (!SaveViewText(child, child->SavedPath()))
        QMessageBox::warning(this, QStringLiteral("KelWatch"), QStringLiteral("%1 에 저장할 수 없습니다.").arg(child->SavedPath()));
}

void CMainFrame::saveAs()
{
    CChildFrame* child = ActiveChild();
    if (!child)
        return;
    const QString path = QFileDialog::getSaveFileName(this, QString(), child->DocumentTitle());
    if (!path.isEmpty() && !SaveViewText(child, path))
        QMessageBox::warning(this, QStringLiteral("KelWatch"), QStringLiteral("%1 에 저장할 수 없습니다.").arg(path));
}

void CMainFrame::print()
{
    CChildFrame* child = ActiveChild();
    if (!child)
        return;
    // A selection can be printed alone: a whole big log is many thousand pages.
    QPrintDialog dialog(m_printer.get(), this);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, !child->GetView()->Selection().IsEmpty());
    if (dialog.exec() == QDialog::Accepted)
        child->GetView()->PrintTo(m_printer.get());
}

void CMainFrame::printDirect()
{
    if (CChildFrame* child = ActiveChild()) {
        m_printer->setPrintRange(QPrinter::AllPages);
        child->GetView()->PrintTo(m_printer.get());
    }
}

// The preview has its own print and close buttons; the preview command is
// checked while it is shown.
void CMainFrame::printPreview()
{
    QAction* previewAction = Action(ID_FILE_PRINT_PREVIEW);
    CChildFrame* child = ActiveChild();
    if (!child) {
        previewAction->setChecked(false);
        return;
    }
    previewAction->setChecked(true);
    // The preview shows the selection when there is one, else everything;
    // of a big log only the first pages, since every page previewed is
    // laid out and kept in memory before the dialog shows.
    CKelWatchView* view = child->GetView();
    m_printer->setPrintRange(view->Selection().IsEmpty() ? QPrinter::AllPages : QPrinter::Selection);
    QPrintPreviewDialog preview(m_printer.get(), this);
    const size_t pages = view->MinimumPageCount(m_printer.get());
    if (pages > kPreviewPages) {
        m_printer->setFromTo(1, kPreviewPages);
        preview.setWindowTitle(QStringLiteral("인쇄 미리 보기: 처음 %1쪽 (전체 %L2쪽 이상)").arg(kPreviewPages).arg(pages));
    }
    connect(&preview, &QPrintPreviewDialog::paintRequested, view, &CKelWatchView::PrintTo);
    preview.exec();
    m_printer->setPrintRange(QPrinter::AllPages);
    m_printer->setFromTo(0, 0);
    previewAction->setChecked(false);
}

void CMainFrame::printSetup()
{
    QPageSetupDialog dialog(m_printer.get(), this);
    dialog.exec();
}
