#pragma once

// The three view buttons "Unicode", "MBCS", "Raw Data" of the byte pages.
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QRadioButton>

class CViewButtons : public QHBoxLayout {
public:
    CViewButtons()
    {
        const char* names[] = { "Unicode", "MBCS", "Raw Data" };
        for (int view = 0; view < 3; ++view) {
            auto* button = new QRadioButton(QString::fromLatin1(names[view]));
            m_group.addButton(button, view);
            addWidget(button);
        }
        addStretch();
    }
    QButtonGroup& Group() { return m_group; }
    void Show(int view)
    {
        if (QAbstractButton* button = m_group.button(view))
            button->setChecked(true);
    }

private:
    QButtonGroup m_group;
};
