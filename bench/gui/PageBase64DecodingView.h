#pragma once

// The "Base64 Decoding" tab: binds its controls to CPageBase64Decoding.
#include "BytePageView.h"

#include <PageBase64Decoding.h>

class QLabel;

class CPageBase64DecodingView : public CBytePageView {
    Q_OBJECT
public:
    explicit CPageBase64DecodingView(QWidget* parent = nullptr);
    CPageBase64Decoding& Page() { return m_page; }

    void OnInputChanged();
    void OnDecode();
    void OnFileSave();

    CDevEdit* OutputBox() { return m_pOutput; }
    QLabel* StatusText() { return m_pStatus; }

private:
    void _ShowFields() override;

    CPageBase64Decoding m_page;
    CDevEdit* m_pOutput;
    QLabel* m_pStatus; // what the last save did
};
