#include "BytePageView.h"

#include "FileChoice.h"
#include "ProgressWindow.h"
#include "QtText.h"

#include <ByteViews.h>

CBytePageView::CBytePageView(CBytePage& page, QWidget* parent)
    : QWidget(parent)
    , m_pPath(new CDevLineEdit)
    , m_pInput(new CDevEdit)
    , m_pViews(new CViewButtons)
    , m_rPage(page)
{
    m_pPath->setReadOnly(true);
    m_pInput->SetLimitText(static_cast<int>(kel::bench::kDisplayLimit));
    connect(m_pPath, &CDevLineEdit::EditedByUser, this, &CBytePageView::OnPathChanged);
    connect(&m_pViews->Group(), &QButtonGroup::idClicked, this, &CBytePageView::OnViewClicked);
}

void CBytePageView::OnFileOpen()
{
    const CStringW file = ChooseFileToOpen(this);
    if (file.IsEmpty())
        return;
    _ReadFields();
    _Open(file);
}

void CBytePageView::OnPathChanged()
{
    _ReadFields();
    _Open(FromQString(m_pPath->text()));
}

void CBytePageView::OnViewClicked(int view)
{
    _ReadFields();
    m_rPage.m_nView = view;
    m_rPage.ViewChanged();
    _ShowFields();
}

void CBytePageView::_Open(const CStringW& path)
{
    RunWithProgress(this, m_rPage, QStringLiteral("파일을 읽는 중입니다..."), [&] { m_rPage.Open(path); });
    _ShowFields();
}
