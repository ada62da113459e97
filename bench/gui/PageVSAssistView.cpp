#include "PageVSAssistView.h"

#include "QtText.h"

#include <QGridLayout>
#include <QPushButton>

CPageVSAssistView::CPageVSAssistView(QWidget* parent)
    : QWidget(parent)
    , m_pDiskId(new QLineEdit)
{
    struct SButton {
        UINT id;
        const char* text;
    };
    const SButton buttons[] = {
        { CPageVSAssist::kVS6Projects, "VS 6.0 Project List Clear" },
        { CPageVSAssist::kVS6Files, "VS 6.0 Files List Clear" },
        { CPageVSAssist::kVS2008Projects, "VS 2008 Project List Clear" },
        { CPageVSAssist::kVS2008Files, "VS 2008 Files List Clear" },
        { CPageVSAssist::kDoxygen, "Doxygen List Clear" },
    };
    auto* layout = new QGridLayout(this);
    int row = 0;
    for (const SButton& b : buttons) {
        auto* button = new QPushButton(QString::fromLatin1(b.text));
        layout->addWidget(button, row++, 0);
        const UINT id = b.id;
        connect(button, &QPushButton::clicked, this, [this, id] { OnClearList(id); });
    }
    auto* button1 = new QPushButton(QStringLiteral("Button1"));
    layout->addWidget(button1, row, 0);
    layout->addWidget(m_pDiskId, row, 1);
    layout->setRowStretch(row + 1, 1);
    connect(button1, &QPushButton::clicked, this, &CPageVSAssistView::OnButton1);
}

void CPageVSAssistView::OnClearList(UINT button)
{
    CPageVSAssist::ClearList(button);
}

void CPageVSAssistView::OnButton1()
{
    m_page.m_strDiskId = FromQString(m_pDiskId->text());
    m_page.ShowDiskId();
    m_pDiskId->setText(ToQString(m_page.m_strDiskId));
}
