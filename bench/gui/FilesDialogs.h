#pragma once

// The small modal dialogs of the Files page. Each opens empty; OK copies
// the controls into the fields, Cancel changes nothing.
#include <platform/StringW.h>

#include <QDialog>

class QComboBox;
class QLineEdit;
class QRadioButton;

// "문자열 붙이기": a text and where to put it (0 before the name, 1 after).
class CDlgFilesStringAdd : public QDialog {
    Q_OBJECT
public:
    explicit CDlgFilesStringAdd(QWidget* parent = nullptr);
    void accept() override;
    CStringW m_strText;
    int m_nPosition = 0;

private:
    QLineEdit* m_pText;
    QRadioButton* m_pBefore;
};

// "문자열 지우기": the text to remove.
class CDlgFilesStringRemove : public QDialog {
    Q_OBJECT
public:
    explicit CDlgFilesStringRemove(QWidget* parent = nullptr);
    void accept() override;
    CStringW m_strText;

private:
    QLineEdit* m_pText;
};

// "확장자 변경": the new extension.
class CDlgFilesExtChange : public QDialog {
    Q_OBJECT
public:
    explicit CDlgFilesExtChange(QWidget* parent = nullptr);
    void accept() override;
    CStringW m_strText;

private:
    QLineEdit* m_pText;
};

// "글자셋 변경": the character set to convert the checked files to (a
// kel::bench::CharsetTarget).
class CDlgFilesCharsetChange : public QDialog {
    Q_OBJECT
public:
    explicit CDlgFilesCharsetChange(QWidget* parent = nullptr);
    void accept() override;
    int m_nTarget = 0;

private:
    QComboBox* m_pTarget;
};
