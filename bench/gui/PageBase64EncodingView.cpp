#include "PageBase64EncodingView.h"

#include "FileChoice.h"
#include "ProgressWindow.h"
#include "QtText.h"

#include <ByteViews.h>

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

CPageBase64EncodingView::CPageBase64EncodingView(QWidget* parent)
    : CBytePageView(m_page, parent)
    , m_pOutput(new CDevEdit)
    , m_pStatus(new QLabel)
{
    m_pOutput->setReadOnly(true);
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
    layout->addWidget(m_pStatus, 5, 0);
    layout->addWidget(save, 5, 1);

    connect(open, &QPushButton::clicked, this, &CPageBase64EncodingView::OnFileOpen);
    connect(m_pInput, &CDevEdit::EditedByUser, this, &CPageBase64EncodingView::OnInputChanged);
    connect(encode, &QPushButton::clicked, this, &CPageBase64EncodingView::OnEncode);
    connect(save, &QPushButton::clicked, this, &CPageBase64EncodingView::OnFileSave);
    m_page.m_nView = kel::bench::kViewUnicode;
    _ShowFields();
}

void CPageBase64EncodingView::_ReadFields()
{
    m_page.m_strInput = FromQString(m_pInput->Text());
}

void CPageBase64EncodingView::_ShowFields()
{
    m_pPath->SetTextQuietly(ToQString(m_page.m_strPath));
    m_pInput->SetTextQuietly(ToQString(m_page.m_strInput));
    m_pOutput->SetTextQuietly(ToQString(m_page.m_strOutput));
    m_pViews->Show(m_page.m_nView);
    m_pStatus->setText(ToQString(m_page.m_strStatus));
}

void CPageBase64EncodingView::OnInputChanged()
{
    m_page.m_strInput = FromQString(m_pInput->Text());
    m_page.InputChanged();
    // Only the path box changes: the input keeps its text and selection.
    m_pPath->SetTextQuietly(ToQString(m_page.m_strPath));
    m_pInput->ensureCursorVisible();
}

void CPageBase64EncodingView::OnEncode()
{
    CBusyCursor busy; // the text is made only when it can be shown: small
    m_page.Encode();
    _ShowFields();
}

void CPageBase64EncodingView::OnFileSave()
{
    const CStringW name = ChooseFileToSave(this, m_page.SaveFileName());
    if (name.IsEmpty())
        return;
    RunWithProgress(this, m_page, QStringLiteral("파일을 저장하는 중입니다..."), [&] { m_page.Save(name); });
    m_pStatus->setText(ToQString(m_page.m_strStatus));
}
