#pragma once

// The "VS Assist" tab: one button per recent list, and "Button1".
#include <PageVSAssist.h>

#include <QLineEdit>
#include <QWidget>

class CPageVSAssistView : public QWidget {
    Q_OBJECT
public:
    explicit CPageVSAssistView(QWidget* parent = nullptr);
    CPageVSAssist& Page() { return m_page; }
    QLineEdit* DiskIdBox() { return m_pDiskId; }

    void OnClearList(UINT button);
    void OnButton1();

private:
    CPageVSAssist m_page;
    QLineEdit* m_pDiskId;
};
