#pragma once

// CChildFrame: the tabbed document window around one view, with the view's
// filter pane under it (hidden until asked for). It remembers where its
// view's text was last saved, so that "save" never writes over the followed
// log file itself.
#include <QMdiSubWindow>

class CFilterPane;
class CKelWatchView;
class QSplitter;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit CChildFrame(CKelWatchView* view, QWidget* parent = nullptr);

    CKelWatchView* GetView() const { return m_view; }
    CFilterPane* FilterPane() const { return m_filter; }
    // Shows the filter pane ready for typing, or hides it.
    void ShowFilter(bool on);
    bool IsFilterShown() const;
    // The document title: the file's name, or "KelWatch<n>" for a new one.
    QString DocumentTitle() const { return m_strDocumentTitle; }
    void SetDocumentTitle(const QString& title) { m_strDocumentTitle = title; }
    QString SavedPath() const { return m_strSavedPath; }
    void SetSavedPath(const QString& path) { m_strSavedPath = path; }

signals:
    // The user closed the window; it goes away right after.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CKelWatchView* m_view;
    CFilterPane* m_filter;
    QSplitter* m_splitter;
    QString m_strDocumentTitle;
    QString m_strSavedPath;
};
