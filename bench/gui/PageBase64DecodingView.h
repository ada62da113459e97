#pragma once

// The "Base64 Decoding" tab: binds its controls to CPageBase64Decoding.
#include "DevEdit.h"
#include "ViewButtons.h"

#include <PageBase64Decoding.h>

#include <QWidget>

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

private:
    void _ShowFields();

    CPageBase64Decoding m_page;
    CDevLineEdit* m_pPath;
    CDevEdit* m_pInput;
    CDevEdit* m_pOutput;
    CViewButtons* m_pViews;
};
