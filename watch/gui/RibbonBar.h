#pragma once

// CRibbonBar: the ribbon met by a plain widget: the application button with
// its menu and the category tabs on the first row (with elements on the
// right of the tab row), and the panels of the category below, each a row of
// command buttons over its caption.
#include <QWidget>

class QAction;
class QHBoxLayout;
class QMenu;
class QTabBar;
class QToolButton;

class CRibbonPanel : public QWidget {
    Q_OBJECT
public:
    CRibbonPanel(const QString& caption, const QString& keyTip, QWidget* parent = nullptr);
    QToolButton* AddButton(QAction* action);
    void AddWidget(QWidget* widget);
    QString Caption() const;

private:
    QHBoxLayout* m_buttons;
    QString m_caption;
};

class CRibbonBar : public QWidget {
    Q_OBJECT
public:
    explicit CRibbonBar(QWidget* parent = nullptr);

    QToolButton* SetApplicationButton(const QString& label, const QString& keyTip, QMenu* menu);
    void AddCategory(const QString& label);
    CRibbonPanel* AddPanel(const QString& caption, const QString& keyTip = QString());
    // A button on the right of the tab row.
    QToolButton* AddToTabs(QAction* action);
    QToolButton* AddToTabs(const QString& label, QMenu* menu);

    QToolButton* ApplicationButton() const { return m_applicationButton; }
    QTabBar* Categories() const { return m_categories; }
    QList<CRibbonPanel*> Panels() const;

private:
    QToolButton* m_applicationButton = nullptr;
    QTabBar* m_categories;
    QHBoxLayout* m_tabRow;
    QHBoxLayout* m_panelRow;
};
