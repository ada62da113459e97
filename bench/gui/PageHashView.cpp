#include "PageHashView.h"

#include "ProgressWindow.h"
#include "QtText.h"

#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QPushButton>

CPageHashView::CPageHashView(QWidget* parent)
    : CBytePageView(m_page, parent)
    , m_pAlgorithm(new QComboBox)
    , m_pLength(new QLineEdit)
    , m_pOutput(new QLineEdit)
{
    m_pOutput->setReadOnly(true);
    m_pAlgorithm->addItems({ QStringLiteral("MD5"), QStringLiteral("SHA1"), QStringLiteral("SHA256") });
    m_pLength->setValidator(new QIntValidator(0, 2048, m_pLength));
    auto* open = new QPushButton(QStringLiteral("File Open"));
    auto* hashing = new QPushButton(QStringLiteral("Hashing"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_pPath, 0, 0, 1, 3);
    layout->addWidget(open, 0, 3);
    layout->addLayout(m_pViews, 1, 0, 1, 4);
    layout->addWidget(m_pInput, 2, 0, 1, 4);
    layout->addWidget(m_pAlgorithm, 3, 0);
    layout->addWidget(new QLabel(QStringLiteral("자릿수")), 3, 1);
    layout->addWidget(m_pLength, 3, 2);
    layout->addWidget(hashing, 3, 3);
    layout->addWidget(m_pOutput, 4, 0, 1, 4);

    connect(open, &QPushButton::clicked, this, &CPageHashView::OnFileOpen);
    connect(m_pInput, &CDevEdit::EditedByUser, this, &CPageHashView::OnInputChanged);
    connect(m_pAlgorithm, &QComboBox::activated, this, &CPageHashView::OnAlgorithmChanged);
    connect(hashing, &QPushButton::clicked, this, &CPageHashView::OnHashing);
    _ShowFields();
}

void CPageHashView::_ReadFields()
{
    m_page.m_strInput = FromQString(m_pInput->Text());
    m_page.m_nAlgorithm = m_pAlgorithm->currentIndex();
    m_page.m_nDigestLength = m_pLength->text().toInt();
}

void CPageHashView::_ShowFields()
{
    m_pPath->SetTextQuietly(ToQString(m_page.m_strPath));
    m_pInput->SetTextQuietly(ToQString(m_page.m_strInput));
    m_pViews->Show(m_page.m_nView);
    m_pAlgorithm->setCurrentIndex(m_page.m_nAlgorithm);
    m_pLength->setText(QString::number(m_page.m_nDigestLength));
    m_pOutput->setText(ToQString(m_page.m_strOutput));
}

void CPageHashView::OnInputChanged()
{
    _ReadFields();
    m_page.InputChanged();
}

void CPageHashView::OnAlgorithmChanged(int index)
{
    _ReadFields();
    m_page.m_nAlgorithm = index;
    m_page.AlgorithmChanged();
    _ShowFields();
}

void CPageHashView::OnHashing()
{
    _ReadFields();
    RunWithProgress(this, m_page, QStringLiteral("해쉬값을 구하는 중입니다..."), [&] { m_page.Compute(); });
    _ShowFields();
}
