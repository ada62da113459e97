#pragma once

// The "Hash" tab: binds its controls to CPageHash.
#include "BytePageView.h"

#include <PageHash.h>

#include <QComboBox>
#include <QLineEdit>

class CPageHashView : public CBytePageView {
    Q_OBJECT
public:
    explicit CPageHashView(QWidget* parent = nullptr);
    CPageHash& Page() { return m_page; }

    void OnInputChanged();
    void OnAlgorithmChanged(int index);
    void OnHashing();

    QLineEdit* LengthBox() { return m_pLength; }
    QLineEdit* OutputBox() { return m_pOutput; }
    QComboBox* AlgorithmBox() { return m_pAlgorithm; }

private:
    void _ReadFields() override;
    void _ShowFields() override;

    CPageHash m_page;
    QComboBox* m_pAlgorithm;
    QLineEdit* m_pLength;
    QLineEdit* m_pOutput;
};
