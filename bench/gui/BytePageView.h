#pragma once

// CBytePageView: what the tabs of the three byte-buffer pages share: the
// path box, the input box held to the display limit, the view buttons, and
// opening a file (chosen, typed or dropped on the path box) with a progress
// window. Each tab lays out its own controls and binds the rest.
#include "DevEdit.h"
#include "ViewButtons.h"

#include <BytePage.h>

#include <QWidget>

class CBytePageView : public QWidget {
    Q_OBJECT
public:
    CDevLineEdit* PathBox() { return m_pPath; }
    CDevEdit* InputBox() { return m_pInput; }

    // Slots named after what the user did.
    void OnFileOpen();
    void OnPathChanged();
    void OnViewClicked(int view);

protected:
    CBytePageView(CBytePage& page, QWidget* parent);

    // The controls a tab keeps in its page's fields only when asked, read
    // before an action; none by default.
    virtual void _ReadFields() {}
    // The page's fields into the controls after an action.
    virtual void _ShowFields() = 0;
    void _Open(const CStringW& path);

    CDevLineEdit* m_pPath;
    CDevEdit* m_pInput;
    CViewButtons* m_pViews;

private:
    CBytePage& m_rPage;
};
