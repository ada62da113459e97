#include "AboutDlg.h"

#include "QtText.h"

#include <KelInfoModule.h>

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
    , m_pVersion(new QLabel)
{
    setWindowTitle(QStringLiteral("Kelbench 정보"));
    m_pVersion->setText(QStringLiteral("Kelbench ")
        + ToQString(CKelInfoModule::GetVersionInfo(nullptr, L"ProductVersion")));
    auto* about = new QLabel(QStringLiteral(
        "이 프로그램은 KelCommon 라이브러리를 사용하는 Sample Code 의 목적으로 더불어 개발자들이 개발을 하는데 "
        "도움이 되는 간단한 유틸리티를 만들어 꿩도 먹고 알도 먹게 하는 목적을 가지고 만들었습니다."));
    about->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("확인"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pVersion);
    layout->addWidget(about);
    layout->addWidget(buttons);
}
