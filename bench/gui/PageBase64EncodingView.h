#pragma once

// The "Base64 Encoding" tab: binds its controls to CPageBase64Encoding.
#include "BytePageView.h"

#include <PageBase64Encoding.h>

class QLabel;

class CPageBase64EncodingView : public CBytePageView {
    Q_OBJECT
public:
    explicit CPageBase64EncodingView(QWidget* parent = nullptr);
    CPageBase64Encoding& Page() { return m_page; }

    // Slots named after what the user did, beside the shared ones.
    void OnInputChanged();
    void OnEncode();
    void OnFileSave();

    CDevEdit* OutputBox() { return m_pOutput; }
    QLabel* StatusText() { return m_pStatus; }

private:
    void _ReadFields() override;
    void _ShowFields() override;

    CPageBase64Encoding m_page;
    CDevEdit* m_pOutput;
    QLabel* m_pStatus; // what the last save did
};
