#pragma once

// CMainFrame: the main window: tabbed document windows, the ribbon bar and
// menus, the status bar with its two panes, the window list, and the choice
// of look, which is stored as "ApplicationLook" in the profile and used at
// the next start. Beside it the profile keeps whether lines are highlighted
// (off at first: the plain look), the highlight rules, and whether line
// numbers are shown; these apply to every view. Lives on the user-interface
// thread.
#include "platform/Types.h"

#include <QMainWindow>

#include <map>
#include <memory>

class CChildFrame;
class CFindBar;
class CHighlightRules;
class CKelWatchDoc;
class CKelWatchView;
class CRibbonBar;
class CWinApp;
class QAction;
class QActionGroup;
class QLabel;
class QMdiArea;
class QMenu;
class QMimeData;
class QPrinter;
class QToolBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // Reads the stored look (215 when none is stored).
    explicit CMainFrame(CWinApp* app, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds the frame: look, tabbed documents, ribbon, menus, status bar.
    bool LoadFrame();

    // A document window following `path` (opening reads nothing).
    CChildFrame* OpenDocumentFile(const QString& path);
    // A window for each path, in order; the first one ends up in front, as
    // the file the user named first. Returns it (none for no paths).
    CChildFrame* OpenDocumentFiles(const QStringList& paths);
    // A new, unnamed document: its view stays empty.
    CChildFrame* NewDocument();
    // Writes the text of the document's first view to `path` (whichever of
    // its windows `child` is); refuses the followed file itself.
    bool SaveViewText(CChildFrame* child, const QString& path);

    // Opens every local file of a drop from the desktop.
    void OpenDroppedFiles(const QMimeData* data);

    QAction* Action(UINT commandId) const;
    QMdiArea* MdiArea() const { return m_mdiArea; }
    CRibbonBar* Ribbon() const { return m_ribbon; }
    QLabel* StatusPane(UINT paneId) const;
    CFindBar* FindBar() const { return m_findBar; }
    CChildFrame* ActiveChild() const;
    QList<CChildFrame*> Children() const;
    UINT CurrentLook() const { return m_nAppLook; }

    // Selects a look (210-218): style, palette, check mark, profile.
    void OnApplicationLook(UINT id);

    // Highlighting on or off in every view, and the rules it uses; both
    // are kept in the profile.
    void SetHighlighting(bool on);
    bool IsHighlighting() const { return m_bHighlight; }
    void SetHighlightRules(std::shared_ptr<const CHighlightRules> rules);
    const std::shared_ptr<const CHighlightRules>& HighlightRules() const { return m_highlightRules; }
    // Line numbers in every view; kept in the profile.
    void SetLineNumbers(bool on);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createActions();
    void _CreateFileAndEditActions();
    void _CreateViewActions();
    void _CreateEncodingActions();
    void _CreateLookActions();
    void createMenus();
    void createRibbon();
    void createStatusBar();
    void createFindBar();

    // What the user did.
    void open();
    void closeDocument();
    void save();
    void saveAs();
    void print();
    void printDirect();
    void printPreview();
    void printSetup();
    void about();
    void newWindow();
    void windowManager();
    void showFindBar();
    void closeFindBar();
    void goToLine();
    void toggleFilter(bool on);
    void editHighlightRules();
    void logging() {} // the logging commands are enabled and do nothing

    QAction* _AddAction(UINT id, const QString& text);
    CChildFrame* _AddView(const std::shared_ptr<CKelWatchDoc>& document, const QString& title);
    void _UpdateTitles();
    QString _TitleTellingApart(const CChildFrame* child, const QList<CChildFrame*>& children) const;
    void _ShowSize();
    void _ShowFollowState();
    void _ApplyFind();
    void _ShowFindState();
    void _ShowFilterState();
    void _FillWindowMenu(QMenu* menu);
    QMenu* _ApplicationMenu();
    QMenu* _EncodingMenu();
    void _ChooseEncoding(int encoding);
    void _ShowEncoding();

    CWinApp* m_app;
    UINT m_nAppLook;
    int m_nUntitled = 0;
    QMdiArea* m_mdiArea = nullptr;
    CRibbonBar* m_ribbon = nullptr;
    QActionGroup* m_looks = nullptr;
    QActionGroup* m_encodings = nullptr;
    QMenu* m_encodingMenu = nullptr; // in the view menu and on the ribbon
    std::map<UINT, QAction*> m_actions;
    std::map<UINT, QLabel*> m_panes;
    std::unique_ptr<QPrinter> m_printer;
    CFindBar* m_findBar = nullptr;
    QToolBar* m_findToolBar = nullptr;
    std::shared_ptr<const CHighlightRules> m_highlightRules;
    bool m_bHighlight = false;
    bool m_bLineNumbers = false;
};
