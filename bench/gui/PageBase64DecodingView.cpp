#include "PageBase64DecodingView.h"

#include "FileChoice.h"
#include "ProgressWindow.h"
#include "QtText.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

CPageBase64DecodingView::CPageBase64DecodingView(QWidget* parent)
    : CBytePageView(m_page, parent)
    , m_pOutput(new CDevEdit)
    , m_pStatus(new QLabel)
{
    m_pOutput->setReadOnly(true);
    auto* open = new QPushButton(QStringLiteral("File Open"));
    auto* decode = new QPushButton(QStringLiteral("Decoding"));
    auto* save = new QPushButton(QStringLiteral("File Save"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_pPath, 0, 0);
    layout->addWidget(open, 0, 1);
    layout->addWidget(m_pInput, 1, 0, 1, 2);
    layout->addWidget(decode, 2, 1);
    layout->addLayout(m_pViews, 3, 0);
    layout->addWidget(m_pOutput, 4, 0, 1, 2);
    layout->addWidget(m_pStatus, 5, 0);
    layout->addWidget(save, 5, 1);

    connect(open, &QPushButton::clicked, this, &CPageBase64DecodingView::OnFileOpen);
    connect(m_pInput, &CDevEdit::EditedByUser, this, &CPageBase64DecodingView::OnInputChanged);
    connect(decode, &QPushButton::clicked, this, &CPageBase64DecodingView::OnDecode);
    connect(save, &QPushButton::clicked, this, &CPageBase64DecodingView::OnFileSave);
    _ShowFields();
}

void CPageBase64DecodingView::_ShowFields()
{
    m_pPath->SetTextQuietly(ToQString(m_page.m_strPath));
    m_pInput->SetTextQuietly(ToQString(m_page.m_strInput));
    m_pOutput->SetTextQuietly(ToQString(m_page.m_strOutput));
    m_pViews->Show(m_page.m_nView);
    m_pStatus->setText(ToQString(m_page.m_strStatus));
}

void CPageBase64DecodingView::OnInputChanged()
{
    m_page.m_strInput = FromQString(m_pInput->Text());
    m_page.InputChanged();
    m_pPath->SetTextQuietly(ToQString(m_page.m_strPath));
}

void CPageBase64DecodingView::OnDecode()
{
    RunWithProgress(this, m_page, QStringLiteral("디코딩하는 중입니다..."), [&] { m_page.Decode(); });
    _ShowFields();
}

void CPageBase64DecodingView::OnFileSave()
{
    const CStringW name = ChooseFileToSave(this, m_page.SaveFileName());
    if (name.IsEmpty())
        return;
    RunWithProgress(this, m_page, QStringLiteral("파일을 저장하는 중입니다..."), [&] { m_page.Save(name); });
    m_pStatus->setText(ToQString(m_page.m_strStatus));
}
