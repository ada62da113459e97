#pragma once

// The "Base64 Encoding" tab: binds its controls to CPageBase64Encoding.
#include "DevEdit.h"
#include "ViewButtons.h"

#include <PageBase64Encoding.h>

#include <QWidget>

class QLabel;

class CPageBase64EncodingView : public QWidget {
    Q_OBJECT
public:
    explicit CPageBase64EncodingView(QWidget* parent = nullptr);
    CPageBase64Encoding& Page() { return m_page; }

    // Slots named after what the user did.
    void OnFileOpen();
    void OnPathChanged();
    void OnInputChanged();
    void OnViewClicked(int view);
    void OnEncode();
    void OnFileSave();

    CDevLineEdit* PathBox() { return m_pPath; }
    CDevEdit* InputBox() { return m_pInput; }
    CDevEdit* OutputBox() { return m_pOutput; }
    QLabel* StatusText() { return m_pStatus; }

private:
    void _Open(const CStringW& path);
    void _ShowFields();

    CPageBase64Encoding m_page;
    CDevLineEdit* m_pPath;
    CDevEdit* m_pInput;
    CDevEdit* m_pOutput;
    CViewButtons* m_pViews;
    QLabel* m_pStatus; // what the last save did
};
