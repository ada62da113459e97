#include "PageBase64EncodingView.h"

#include "QtText.h"

#include <ByteViews.h>

#include <QFileDialog>
#include <QGridLayout>
#include <QPushButton>

CPageBase64EncodingView::CPageBase64EncodingView(QWidget* parent)
    : QWidget(parent)
    , m_pPath(new CDevLineEdit)
    , m_pInput(new CDevEdit)
    , m_pOutput(new CDevEdit)
    , m_pViews(new CViewButtons)
{
    m_pPath->setReadOnly(true);
    m_pOutput->setReadOnly(true);
    m_pInput->SetLimitText(static_cast<int>(kelbench::kDisplayLimit));
    auto* open = new QPushButton(QStringLiteral("File Open"));
    auto* encode = new QPushButton(QStringLiteral("Encoding"));
    auto* save = new QPushButton(QStringLiteral("File Save"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_pPath, 0, 0);
    layout->addWidget(open, 0, 1);
    layout->addLayout(m_pViews, 1, 0);
    layout->addWidget(m_pInput, 2, 0, 1, 2);
    layout->addWidget(encode, 3, 1);
    layout->addWidget(m_pOutput, 4, 0, 1, 2);
    layout->addWidget(save, 5, 1);

    connect(open, &QPushButton::clicked, this, &CPageBase64EncodingView::OnFileOpen);
    connect(m_pPath, &CDevLineEdit::EditedByUser, this, &CPageBase64EncodingView::OnPathChanged);
    connect(m_pInput, &CDevEdit::EditedByUser, this, &CPageBase64EncodingView::OnInputChanged);
    connect(&m_pViews->Group(), &QButtonGroup::idClicked, this, &CPageBase64EncodingView::OnViewClicked);
    connect(encode, &QPushButton::clicked, this, &CPageBase64EncodingView::OnEncode);
    connect(save, &QPushButton::clicked, this, &CPageBase64EncodingView::OnFileSave);
    m_page.m_nView = kelbench::kViewUnicode;
    _ShowFields();
}

void CPageBase64EncodingView::_ShowFields()
{
    m_pPath->SetTextQuietly(ToQString(m_page.m_strPath));
    m_pInput->SetTextQuietly(ToQString(m_page.m_strInput));
    m_pOutput->SetTextQuietly(ToQString(m_page.m_strOutput));
    m_pViews->Show(m_page.m_nView);
}

void CPageBase64EncodingView::OnFileOpen()
{
    const QString file = QFileDialog::getOpenFileName(this, QString(), QString(), QStringLiteral("All Files(*.*) (*)"),
        nullptr, QFileDialog::ReadOnly);
    if (file.isEmpty())
        return;
    m_page.m_strPath = FromQString(file);
    CBusyCursor busy;
    m_page.LoadPath();
    _ShowFields();
}

void CPageBase64EncodingView::OnPathChanged()
{
    m_page.m_strPath = FromQString(m_pPath->text());
    CBusyCursor busy;
    m_page.LoadPath();
    _ShowFields();
}

void CPageBase64EncodingView::OnInputChanged()
{
    m_page.m_strInput = FromQString(m_pInput->toPlainText());
    m_page.InputChanged();
    // Only the path box changes: the input keeps its text and selection.
    m_pPath->SetTextQuietly(ToQString(m_page.m_strPath));
    m_pInput->ensureCursorVisible();
}

void CPageBase64EncodingView::OnViewClicked(int view)
{
    m_page.m_nView = view;
    m_page.m_strInput = FromQString(m_pInput->toPlainText());
    m_page.ViewChanged();
    _ShowFields();
}

void CPageBase64EncodingView::OnEncode()
{
    CBusyCursor busy;
    m_page.Encode();
    _ShowFields();
}

void CPageBase64EncodingView::OnFileSave()
{
    CStringW name = m_page.SaveFileName();
    if (name.IsEmpty()) {
        const QString chosen = QFileDialog::getSaveFileName(this, QString(), QString(),
            QStringLiteral("All Files(*.*) (*)"));
        if (chosen.isEmpty())
            return;
        name = FromQString(chosen);
    }
    CBusyCursor busy;
    m_page.Save(name);
}
