#include "PageBase64EncodingView.h"

#include "FileChoice.h"
#include "ProgressWindow.h"
#include "QtText.h"

#include <ByteViews.h>

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

CPageBase64EncodingView::CPageBase64EncodingView(QWidget* parent)
    : QWidget(parent)
    , m_pPath(new CDevLineEdit)
    , m_pInput(new CDevEdit)
    , m_pOutput(new CDevEdit)
    , m_pViews(new CViewButtons)
    , m_pStatus(new QLabel)
{
    m_pPath->setReadOnly(true);
    m_pOutput->setReadOnly(true);
    m_pInput->SetLimitText(static_cast<int>(kel::bench::kDisplayLimit));
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
    connect(m_pPath, &CDevLineEdit::EditedByUser, this, &CPageBase64EncodingView::OnPathChanged);
    connect(m_pInput, &CDevEdit::EditedByUser, this, &CPageBase64EncodingView::OnInputChanged);
    connect(&m_pViews->Group(), &QButtonGroup::idClicked, this, &CPageBase64EncodingView::OnViewClicked);
    connect(encode, &QPushButton::clicked, this, &CPageBase64EncodingView::OnEncode);
    connect(save, &QPushButton::clicked, this, &CPageBase64EncodingView::OnFileSave);
    m_page.m_nView = kel::bench::kViewUnicode;
    _ShowFields();
}

void CPageBase64EncodingView::_ShowFields()
{
    m_pPath->SetTextQuietly(ToQString(m_page.m_strPath));
    m_pInput->SetTextQuietly(ToQString(m_page.m_strInput));
    m_pOutput->SetTextQuietly(ToQString(m_page.m_strOutput));
    m_pViews->Show(m_page.m_nView);
    m_pStatus->setText(ToQString(m_page.m_strStatus));
}

void CPageBase64EncodingView::OnFileOpen()
{
    const CStringW file = ChooseFileToOpen(this);
    if (file.IsEmpty())
        return;
    _Open(file);
}

void CPageBase64EncodingView::_Open(const CStringW& path)
{
    RunWithProgress(this, m_page, QStringLiteral("파일을 읽는 중입니다..."), [&] { m_page.Open(path); });
    _ShowFields();
}

void CPageBase64EncodingView::OnPathChanged()
{
    _Open(FromQString(m_pPath->text()));
}

void CPageBase64EncodingView::OnInputChanged()
{
    m_page.m_strInput = FromQString(m_pInput->Text());
    m_page.InputChanged();
    // Only the path box changes: the input keeps its text and selection.
    m_pPath->SetTextQuietly(ToQString(m_page.m_strPath));
    m_pInput->ensureCursorVisible();
}

void CPageBase64EncodingView::OnViewClicked(int view)
{
    m_page.m_nView = view;
    m_page.m_strInput = FromQString(m_pInput->Text());
    m_page.ViewChanged();
    _ShowFields();
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
