#pragma once

// CWindowListDlg: the window list ("창(&W)..."): every document window of
// the frame, to activate or close.
#include <QDialog>

class QListWidget;
class QMdiArea;
class QMdiSubWindow;

class CWindowListDlg : public QDialog {
    Q_OBJECT
public:
    explicit CWindowListDlg(QMdiArea* area, QWidget* parent = nullptr);

    QListWidget* List() const { return m_list; }
    void ActivateSelected();
    void CloseSelected();

private:
    void _Fill();
    QList<QMdiSubWindow*> _Selected() const;

    QMdiArea* m_area;
    QListWidget* m_list;
};
