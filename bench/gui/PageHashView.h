#pragma once

// The "Hash" tab: binds its controls to CPageHash.
#include "DevEdit.h"
#include "ViewButtons.h"

#include <PageHash.h>

#include <QComboBox>
#include <QLineEdit>
#include <QWidget>

class CPageHashView : public QWidget {
    Q_OBJECT
public:
    explicit CPageHashView(QWidget* parent = nullptr);
    CPageHash& Page() { return m_page; }

    void OnFileOpen();
    void OnPathChanged();
    void OnInputChanged();
    void OnViewClicked(int view);
    void OnAlgorithmChanged(int index);
    void OnHashing();

    QLineEdit* LengthBox() { return m_pLength; }
    QLineEdit* OutputBox() { return m_pOutput; }
    QComboBox* AlgorithmBox() { return m_pAlgorithm; }

    CDevLineEdit* PathBox() { return m_pPath; }
    CDevEdit* InputBox() { return m_pInput; }

private:
    void _Open(const CStringW& path);
    void _ReadFields();
    void _ShowFields();

    CPageHash m_page;
    CDevLineEdit* m_pPath;
    CDevEdit* m_pInput;
    CViewButtons* m_pViews;
    QComboBox* m_pAlgorithm;
    QLineEdit* m_pLength;
    QLineEdit* m_pOutput;
};
