#include "FilesDialogs.h"

#include "QtText.h"

#include <FileCharset.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

// "확인" and "취소" under the dialog's controls.
void AddButtons(QDialog* dialog, QVBoxLayout* layout)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("확인"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("취소"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
}

QLineEdit* AddTextDialog(QDialog* dialog, const QString& caption, QVBoxLayout*& layout)
{
    dialog->setWindowTitle(caption);
    layout = new QVBoxLayout(dialog);
    auto* text = new QLineEdit;
    layout->addWidget(text);
    return text;
}

} // namespace

CDlgFilesStringAdd::CDlgFilesStringAdd(QWidget* parent)
    : QDialog(parent)
{
    QVBoxLayout* layout = nullptr;
    m_pText = AddTextDialog(this, QStringLiteral("문자열 붙이기"), layout);
    m_pBefore = new QRadioButton(QStringLiteral("파일명 앞에 붙이기"));
    auto* after = new QRadioButton(QStringLiteral("파일명 뒤에 붙이기"));
    m_pBefore->setChecked(true);
    layout->addWidget(m_pBefore);
    layout->addWidget(after);
    AddButtons(this, layout);
}

void CDlgFilesStringAdd::accept()
{
    m_strText = FromQString(m_pText->text());
    m_nPosition = m_pBefore->isChecked() ? 0 : 1;
    QDialog::accept();
}

CDlgFilesStringRemove::CDlgFilesStringRemove(QWidget* parent)
    : QDialog(parent)
{
    QVBoxLayout* layout = nullptr;
    m_pText = AddTextDialog(this, QStringLiteral("문자열 지우기"), layout);
    AddButtons(this, layout);
}

void CDlgFilesStringRemove::accept()
{
    m_strText = FromQString(m_pText->text());
    QDialog::accept();
}

CDlgFilesExtChange::CDlgFilesExtChange(QWidget* parent)
    : QDialog(parent)
{
    QVBoxLayout* layout = nullptr;
    m_pText = AddTextDialog(this, QStringLiteral("확장자 변경"), layout);
    AddButtons(this, layout);
}

void CDlgFilesExtChange::accept()
{
    m_strText = FromQString(m_pText->text());
    QDialog::accept();
}

CDlgFilesCharsetChange::CDlgFilesCharsetChange(QWidget* parent)
    : QDialog(parent)
    , m_pTarget(new QComboBox)
{
    setWindowTitle(QStringLiteral("글자셋 변경"));
    auto* layout = new QVBoxLayout(this);
    for (const wchar_t* name : kel::bench::kCharsetTargetNames)
        m_pTarget->addItem(QString::fromWCharArray(name));
    layout->addWidget(m_pTarget);
    AddButtons(this, layout);
}

void CDlgFilesCharsetChange::accept()
{
    m_nTarget = m_pTarget->currentIndex();
    QDialog::accept();
}
