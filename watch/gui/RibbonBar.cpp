#include "RibbonBar.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

CRibbonPanel::CRibbonPanel(const QString& caption, const QString& keyTip, QWidget* parent)
    : QWidget(parent), m_caption(caption)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);
    m_buttons = new QHBoxLayout;
    m_buttons->setSpacing(2);
    layout->addLayout(m_buttons);
    auto* label = new QLabel(caption, this);
    label->setAlignment(Qt::AlignHCenter);
    label->setEnabled(false); // a caption, drawn dimmed
    layout->addWidget(label);
    setProperty("keyTip", keyTip);
}

QToolButton* CRibbonPanel::AddButton(QAction* action)
{
    auto* button = new QToolButton(this);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(true);
    m_buttons->addWidget(button);
    return button;
}

void CRibbonPanel::AddWidget(QWidget* widget)
{
    widget->setParent(this);
    m_buttons->addWidget(widget);
}

QString CRibbonPanel::Caption() const
{
    return m_caption;
}

CRibbonBar::CRibbonBar(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(0);
    m_tabRow = new QHBoxLayout;
    m_categories = new QTabBar(this);
    m_categories->setDrawBase(false);
    m_tabRow->addWidget(m_categories);
    m_tabRow->addStretch(1);
    layout->addLayout(m_tabRow);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
    m_panelRow = new QHBoxLayout;
    m_panelRow->addStretch(1);
    layout->addLayout(m_panelRow);
}

QToolButton* CRibbonBar::SetApplicationButton(const QString& label, const QString& keyTip, QMenu* menu)
{
    m_applicationButton = new QToolButton(this);
    m_applicationButton->setText(label);
    m_applicationButton->setMenu(menu);
    m_applicationButton->setPopupMode(QToolButton::InstantPopup);
    m_applicationButton->setProperty("keyTip", keyTip);
    m_tabRow->insertWidget(0, m_applicationButton);
    return m_applicationButton;
}

void CRibbonBar::AddCategory(const QString& label)
{
    m_categories->addTab(label);
}

CRibbonPanel* CRibbonBar::AddPanel(const QString& caption, const QString& keyTip)
{
    auto* panel = new CRibbonPanel(caption, keyTip, this);
    const int before = m_panelRow->count() - 1; // ahead of the closing stretch
    if (before > 0) {
        auto* separator = new QFrame(this);
        separator->setFrameShape(QFrame::VLine);
        separator->setFrameShadow(QFrame::Sunken);
        m_panelRow->insertWidget(before, separator);
    }
    m_panelRow->insertWidget(m_panelRow->count() - 1, panel);
    return panel;
}

QToolButton* CRibbonBar::AddToTabs(QAction* action)
{
    auto* button = new QToolButton(this);
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    m_tabRow->addWidget(button);
    return button;
}

QToolButton* CRibbonBar::AddToTabs(const QString& label, QMenu* menu)
{
    auto* button = new QToolButton(this);
    button->setText(label);
    button->setMenu(menu);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setAutoRaise(true);
    m_tabRow->addWidget(button);
    return button;
}

QList<CRibbonPanel*> CRibbonBar::Panels() const
{
    return findChildren<CRibbonPanel*>(QString(), Qt::FindDirectChildrenOnly);
}
