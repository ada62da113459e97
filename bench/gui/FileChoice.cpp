#include "FileChoice.h"

#include "QtText.h"

#include <PageSupport.h>

#include <QFileDialog>

namespace {

const QString kFilter = QStringLiteral("All Files(*.*) (*)");

} // namespace

CStringW ChooseFileToOpen(QWidget* parent)
{
    return FromQString(QFileDialog::getOpenFileName(parent, QString(), QString(), kFilter, nullptr,
        QFileDialog::ReadOnly));
}

CStringW ChooseFileToSave(QWidget* parent, const CStringW& automatic)
{
    if (!automatic.IsEmpty())
        return kel::bench::ConfirmReplace(automatic) ? automatic : CStringW();
    // The dialog asks itself before replacing a file.
    return FromQString(QFileDialog::getSaveFileName(parent, QString(), QString(), kFilter));
}
