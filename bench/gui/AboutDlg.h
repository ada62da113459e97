#pragma once

// CAboutDlg: "Kelbench 정보", with the program's version.
#include <QDialog>

class QLabel;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    QLabel* VersionText() { return m_pVersion; }

private:
    QLabel* m_pVersion;
};
