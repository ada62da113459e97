#pragma once

// The "Base64 Decoding" tab: binds its controls to CPageBase64Decoding.
#include "DevEdit.h"
#include "ViewButtons.h"

#include <PageBase64Decoding.h>

#include <QWidget>

class QLabel;

class CPageBase64DecodingView : public QWidget {
    Q_OBJECT
public:
    explicit CPageBase64DecodingView(QWidget* parent = nullptr);
    CPageBase64Decoding& Page() { return m_page; }

    void OnFileOpen();
    void OnPathChanged();
    void OnInputChanged();
    void OnViewClicked(int view);
    void OnDecode();
    void OnFileSave();

    CDevLineEdit* PathBox() { return m_pPath; }
    CDevEdit* InputBox() { return m_pInput; }
    CDevEdit* OutputBox() { return m_pOutput; }
    QLabel* StatusText() { return m_pStatus; }

private:
    void _Open(const CStringW& path);
    void _ShowFields();

    CPageBase64Decoding m_page;
    CDevLineEdit* m_pPath;
    CDevEdit* m_pInput;
    CDevEdit* m_pOutput;
    CViewButtons* m_pViews;
    QLabel* m_pStatus; // what the last save did
};
