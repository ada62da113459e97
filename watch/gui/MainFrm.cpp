#include "MainFrm.h"

#include "AboutDlg.h"
#include "AppLook.h"
#include "ChildFrm.h"
#include "FilterPane.h"
#include "FindBar.h"
#include "HighlightDlg.h"
#include "KelWatchView.h"
#include "Resource.h"
#include "RibbonBar.h"
#include "WindowListDlg.h"

#include "platform/WinApp.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPrinter>
#include <QStatusBar>
#include <QToolBar>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace {

// Where the framework keeps the workspace values of the application.
constexpr const wchar_t* kWorkspaceSection = L"Workspace";
constexpr const wchar_t* kAppLookEntry = L"ApplicationLook";
constexpr const wchar_t* kHighlightEntry = L"Highlight";
constexpr const wchar_t* kHighlightRulesEntry = L"HighlightRules";
constexpr const wchar_t* kLineNumbersEntry = L"LineNumbers";

QString DocumentName()
{
    return LoadWatchString(IDR_KelWatchTYPE).section(QLatin1Char('\n'), 1, 1);
}

// `action` runs `slot` (a member of the frame or a callable) when triggered.
template <typename Slot>
QAction* Connect(QAction* action, CMainFrame* frame, Slot slot, const QKeySequence& keys)
{
    action->setShortcut(keys);
    QObject::connect(action, &QAction::triggered, frame, slot);
    return action;
}

} // namespace

CMainFrame::CMainFrame(CWinApp* app, QWidget* parent)
    : QMainWindow(parent), m_app(app),
      m_nAppLook(app->GetProfileInt(kWorkspaceSection, kAppLookEntry, ID_VIEW_APPLOOK_OFF_2007_BLUE)),
      m_bHighlight(app->GetProfileInt(kWorkspaceSection, kHighlightEntry, 0) != 0),
      m_bLineNumbers(app->GetProfileInt(kWorkspaceSection, kLineNumbersEntry, 0) != 0)
{
    // No stored rules: the defaults; stored but empty: the user removed them all.
    const std::wstring defaults = QString::fromStdString(CHighlightRules::Serialize(CHighlightRules::Defaults())).toStdWString();
    const CStringW stored = app->GetProfileString(kWorkspaceSection, kHighlightRulesEntry, defaults.c_str());
    m_highlightRules = std::make_shared<const CHighlightRules>(
        CHighlightRules::Parse(QString::fromStdWString(stored.str()).toStdString()));
}

CMainFrame::~CMainFrame()
{
    // The windows that go with the frame must not call back into it while
    // it is half destroyed.
    if (!m_mdiArea)
        return;
    m_mdiArea->disconnect(this);
    for (QMdiSubWindow* window : m_mdiArea->subWindowList())
        window->disconnect(this);
}

bool CMainFrame::LoadFrame()
{
    setWindowTitle(QStringLiteral("KelWatch"));
    setAcceptDrops(true);
    m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);

    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setViewMode(QMdiArea::TabbedView);
    m_mdiArea->setDocumentMode(true);
    m_mdiArea->setTabsClosable(true); // the close button of the active tab
    m_mdiArea->setTabsMovable(true);
    setCentralWidget(m_mdiArea);
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, [this] {
        _UpdateTitles();
        _ShowFollowState();
        _ShowFindState();
        _ShowFilterState();
        _ShowEncoding();
        _ShowSize();
    });

    createActions();
    OnApplicationLook(m_nAppLook);
    createMenus();
    createRibbon();
    createStatusBar();
    createFindBar();
    return true;
}

QAction* CMainFrame::_AddAction(UINT id, const QString& text)
{
    auto* action = new QAction(text, this);
    action->setData(id);
    m_actions[id] = action;
    return action;
}

void CMainFrame::createActions()
{
    _CreateFileAndEditActions();
    _CreateViewActions();
    _CreateEncodingActions();
    _CreateLookActions();
}

void CMainFrame::_CreateFileAndEditActions()
{
    auto bind = [this](UINT id, const QString& text, auto slot, QKeySequence keys = {}) {
        return Connect(_AddAction(id, text), this, slot, keys);
    };
    bind(ID_FILE_NEW, LabelOf(IDS_RIBBON_NEW), &CMainFrame::NewDocument, QKeySequence::New);
    bind(ID_FILE_OPEN, LabelOf(IDS_RIBBON_OPEN), &CMainFrame::open, QKeySequence::Open);
    bind(ID_FILE_CLOSE, LabelOf(IDS_RIBBON_CLOSE), &CMainFrame::closeDocument);
    bind(ID_FILE_SAVE, LabelOf(IDS_RIBBON_SAVE), &CMainFrame::save, QKeySequence::Save);
    bind(ID_FILE_SAVE_AS, LabelOf(IDS_RIBBON_SAVEAS), &CMainFrame::saveAs);
    bind(ID_FILE_PRINT, LabelOf(IDS_RIBBON_PRINT), &CMainFrame::print, QKeySequence::Print);
    bind(ID_FILE_PRINT_DIRECT, LabelOf(IDS_RIBBON_PRINT_QUICK), &CMainFrame::printDirect);
    bind(ID_FILE_PRINT_PREVIEW, LabelOf(IDS_RIBBON_PRINT_PREVIEW), &CMainFrame::printPreview)->setCheckable(true);
    bind(ID_FILE_PRINT_SETUP, LabelOf(IDS_RIBBON_PRINT_SETUP), &CMainFrame::printSetup);
    bind(ID_APP_EXIT, LabelOf(IDS_RIBBON_EXIT), &QWidget::close, QKeySequence::Quit);
    bind(ID_APP_ABOUT, QStringLiteral("KelWatch 정보(&A)..."), &CMainFrame::about);

    auto onView = [this](auto operation) {
        return [this, operation] {
            if (CChildFrame* child = ActiveChild())
                (child->GetView()->*operation)();
        };
    };
    // The view is read-only: cut and paste are there, shown disabled as a
    // read-only edit shows them, and change nothing.
    bind(ID_EDIT_CUT, LabelOf(IDS_RIBBON_CUT), [] {})->setEnabled(false);
    bind(ID_EDIT_COPY, LabelOf(IDS_RIBBON_COPY), onView(&CKelWatchView::copy));
    bind(ID_EDIT_COPY_WITH_LINE_NUMBERS, QStringLiteral("줄 번호와 함께 복사(&L)"), onView(&CKelWatchView::copyWithLineNumbers),
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    bind(ID_EDIT_PASTE, LabelOf(IDS_RIBBON_PASTE), [] {})->setEnabled(false);
    bind(ID_EDIT_SELECT_ALL, LabelOf(IDS_RIBBON_SELECTALL), onView(&CKelWatchView::selectAll));
    bind(ID_EDIT_FIND, QStringLiteral("찾기(&F)..."), &CMainFrame::showFindBar, QKeySequence::Find);
    bind(ID_EDIT_FIND_NEXT, QStringLiteral("다음 찾기(&N)"), onView(&CKelWatchView::FindNext), QKeySequence::FindNext);
    bind(ID_EDIT_FIND_PREVIOUS, QStringLiteral("이전 찾기(&V)"), onView(&CKelWatchView::FindPrevious),
         QKeySequence::FindPrevious);
    bind(ID_EDIT_GOTO_LINE, QStringLiteral("줄 이동(&G)..."), &CMainFrame::goToLine, QKeySequence(Qt::CTRL | Qt::Key_G));
}

void CMainFrame::_CreateViewActions()
{
    auto bind = [this](UINT id, const QString& text, auto slot, QKeySequence keys = {}) {
        return Connect(_AddAction(id, text), this, slot, keys);
    };

    QAction* follow = _AddAction(ID_VIEW_FOLLOW, QStringLiteral("끝 따라가기(&F)"));
    follow->setCheckable(true);
    follow->setChecked(true);
    follow->setStatusTip(QStringLiteral("새 줄이 올 때마다 파일의 끝을 보여 줍니다 (End, Ctrl+End로 다시 켬)"));
    connect(follow, &QAction::triggered, this, [this](bool on) {
        if (CChildFrame* child = ActiveChild())
            child->GetView()->SetFollowing(on);
        _ShowFollowState();
    });

    QAction* filter = bind(ID_VIEW_FILTER, QStringLiteral("필터(&L)"), &CMainFrame::toggleFilter,
                           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    filter->setCheckable(true);
    filter->setStatusTip(QStringLiteral("패턴이 있는 줄만 아래 창에 모아 보여 줍니다"));
    QAction* highlight = bind(ID_VIEW_HIGHLIGHT, QStringLiteral("강조 표시(&H)"), &CMainFrame::SetHighlighting);
    highlight->setCheckable(true);
    highlight->setChecked(m_bHighlight);
    highlight->setStatusTip(QStringLiteral("강조 규칙에 맞는 줄을 규칙의 색으로 보여 줍니다"));
    bind(ID_VIEW_HIGHLIGHT_RULES, QStringLiteral("강조 규칙(&R)..."), &CMainFrame::editHighlightRules);
    QAction* lineNumbers = bind(ID_VIEW_LINE_NUMBERS, QStringLiteral("줄 번호(&N)"), &CMainFrame::SetLineNumbers);
    lineNumbers->setCheckable(true);
    lineNumbers->setChecked(m_bLineNumbers);

    QAction* statusBarAction = _AddAction(ID_VIEW_STATUS_BAR, LabelOf(IDS_RIBBON_STATUSBAR));
    statusBarAction->setCheckable(true);
    statusBarAction->setChecked(true);
    connect(statusBarAction, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });

    bind(ID_WINDOW_NEW, QStringLiteral("새 창(&N)"), &CMainFrame::newWindow);
    bind(ID_WINDOW_MANAGER, LabelOf(IDS_WINDOWS_MANAGER), &CMainFrame::windowManager);
    bind(ID_LOGGING_START, LabelOf(ID_LOGGING_START), &CMainFrame::logging);
    bind(ID_LOGGING_STOP, LabelOf(ID_LOGGING_STOP), &CMainFrame::logging);
}

void CMainFrame::_CreateLookActions()
{
    m_looks = new QActionGroup(this);
    m_looks->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (UINT id = ID_VIEW_APPLOOK_WIN_2000; id <= ID_VIEW_APPLOOK_OFF_2007_AQUA; ++id) {
        QAction* look = _AddAction(id, AppLookText(id));
        look->setCheckable(true);
        m_looks->addAction(look);
        connect(look, &QAction::triggered, this, [this, id] { OnApplicationLook(id); });
    }
}

void CMainFrame::createMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("파일(&F)"));
    for (UINT id : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_CLOSE, ID_FILE_SAVE, ID_FILE_SAVE_AS})
        file->addAction(Action(id));
    file->addSeparator();
    for (UINT id : {ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP})
        file->addAction(Action(id));
    file->addSeparator();
    file->addAction(Action(ID_APP_EXIT));

    QMenu* edit = menuBar()->addMenu(QStringLiteral("편집(&E)"));
    for (UINT id : {ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_COPY_WITH_LINE_NUMBERS, ID_EDIT_PASTE, ID_EDIT_SELECT_ALL})
        edit->addAction(Action(id));
    edit->addSeparator();
    for (UINT id : {ID_EDIT_FIND, ID_EDIT_FIND_NEXT, ID_EDIT_FIND_PREVIOUS, ID_EDIT_GOTO_LINE})
        edit->addAction(Action(id));

    QMenu* view = menuBar()->addMenu(QStringLiteral("보기(&V)"));
    view->addAction(Action(ID_VIEW_STATUS_BAR));
    view->addAction(Action(ID_VIEW_FOLLOW));
    view->addAction(Action(ID_VIEW_FILTER));
    view->addAction(Action(ID_VIEW_LINE_NUMBERS));
    view->addMenu(_EncodingMenu());
    view->addSeparator();
    view->addAction(Action(ID_VIEW_HIGHLIGHT));
    view->addAction(Action(ID_VIEW_HIGHLIGHT_RULES));
    view->addSeparator();
    QMenu* looks = view->addMenu(QStringLiteral("응용 프로그램 모양(&A)"));
    for (UINT id = ID_VIEW_APPLOOK_WIN_2000; id <= ID_VIEW_APPLOOK_OFF_2007_AQUA; ++id) {
        if (id == ID_VIEW_APPLOOK_OFF_2007_BLUE)
            looks->addSeparator();
        looks->addAction(Action(id));
    }

    // The document menu words the logging commands its own way.
    QMenu* actions = menuBar()->addMenu(QStringLiteral("동작(&A)"));
    actions->addAction(QStringLiteral("로그 시작"), this, &CMainFrame::logging)->setData(ID_LOGGING_START);
    actions->addAction(QStringLiteral("로깅 중지"), this, &CMainFrame::logging)->setData(ID_LOGGING_STOP);

    QMenu* window = menuBar()->addMenu(QStringLiteral("창(&W)"));
    connect(window, &QMenu::aboutToShow, this, [this, window] { _FillWindowMenu(window); });
    _FillWindowMenu(window);

    QMenu* help = menuBar()->addMenu(QStringLiteral("도움말(&H)"));
    help->addAction(Action(ID_APP_ABOUT));
}

// The document list: new window, the window list, then every open window.
void CMainFrame::_FillWindowMenu(QMenu* menu)
{
    menu->clear();
    menu->addAction(Action(ID_WINDOW_NEW));
    menu->addAction(Action(ID_WINDOW_MANAGER));
    const QList<CChildFrame*> children = Children();
    if (!children.isEmpty())
        menu->addSeparator();
    int number = 1;
    for (CChildFrame* child : children) {
        QAction* entry = menu->addAction(QStringLiteral("&%1 %2").arg(number++).arg(child->windowTitle()));
        entry->setCheckable(true);
        entry->setChecked(child == ActiveChild());
        connect(entry, &QAction::triggered, this, [this, child] { m_mdiArea->setActiveSubWindow(child); });
    }
}

QMenu* CMainFrame::_ApplicationMenu()
{
    auto* menu = new QMenu(this);
    for (UINT id : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_FILE_SAVE_AS})
        menu->addAction(Action(id));
    QMenu* print = menu->addMenu(LabelOf(IDS_RIBBON_PRINT));
    print->addSection(LabelOf(IDS_RIBBON_PRINT_LABEL));
    for (UINT id : {ID_FILE_PRINT, ID_FILE_PRINT_DIRECT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP})
        print->addAction(Action(id));
    menu->addAction(Action(ID_FILE_CLOSE));
    menu->addSection(LabelOf(IDS_RIBBON_RECENT_DOCS)); // the recent list keeps no entries
    menu->addSeparator();
    menu->addAction(Action(ID_APP_EXIT));
    return menu;
}

void CMainFrame::createRibbon()
{
    m_ribbon = new CRibbonBar(this);
    m_ribbon->setObjectName(QString::number(AFX_IDW_RIBBON_BAR));
    m_ribbon->SetApplicationButton(LabelOf(IDS_RIBBON_FILE), KeyTipOf(IDS_RIBBON_FILE), _ApplicationMenu());
    m_ribbon->AddCategory(LabelOf(IDS_RIBBON_HOME));

    CRibbonPanel* clipboard = m_ribbon->AddPanel(LabelOf(IDS_RIBBON_CLIPBOARD), KeyTipOf(IDS_RIBBON_CLIPBOARD));
    for (UINT id : {ID_EDIT_PASTE, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_SELECT_ALL})
        clipboard->AddButton(Action(id));

    CRibbonPanel* view = m_ribbon->AddPanel(LabelOf(IDS_RIBBON_VIEW));
    auto* statusBarBox = new QCheckBox(LabelOf(IDS_RIBBON_STATUSBAR));
    QAction* statusBarAction = Action(ID_VIEW_STATUS_BAR);
    statusBarBox->setChecked(statusBarAction->isChecked());
    connect(statusBarBox, &QCheckBox::toggled, statusBarAction, &QAction::setChecked);
    connect(statusBarAction, &QAction::toggled, statusBarBox, &QCheckBox::setChecked);
    view->AddWidget(statusBarBox);
    for (UINT id : {ID_VIEW_FOLLOW, ID_VIEW_FILTER, ID_VIEW_LINE_NUMBERS, ID_VIEW_HIGHLIGHT, ID_VIEW_HIGHLIGHT_RULES})
        view->AddButton(Action(id));
    view->AddButton(_EncodingMenu()->menuAction())->setPopupMode(QToolButton::InstantPopup);

    CRibbonPanel* actions = m_ribbon->AddPanel(QStringLiteral("동작"));
    actions->AddButton(Action(ID_LOGGING_START));
    actions->AddButton(Action(ID_LOGGING_STOP));

    CRibbonPanel* window = m_ribbon->AddPanel(LabelOf(IDS_RIBBON_WINDOW), KeyTipOf(IDS_RIBBON_WINDOW));
    QToolButton* windows = window->AddButton(Action(ID_WINDOW_MANAGER));
    windows->setText(LabelOf(IDS_RIBBON_WINDOWS));
    auto* windowsMenu = new QMenu(this);
    windowsMenu->addAction(Action(ID_WINDOW_NEW));
    windows->setMenu(windowsMenu);
    windows->setPopupMode(QToolButton::MenuButtonPopup);

    auto* styles = new QMenu(this);
    for (UINT id = ID_VIEW_APPLOOK_OFF_2007_BLUE; id <= ID_VIEW_APPLOOK_OFF_2007_AQUA; ++id)
        styles->addAction(Action(id));
    QToolButton* style = m_ribbon->AddToTabs(LabelOf(IDS_RIBBON_STYLE), styles);
    style->setToolTip(LabelOf(IDS_RIBBON_STYLE_TIP));
    style->setStatusTip(LabelOf(IDS_RIBBON_STYLE_DESC));
    m_ribbon->AddToTabs(Action(ID_APP_ABOUT))->setText(QStringLiteral("?"));

    QToolBar* bar = addToolBar(QStringLiteral("Ribbon"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->toggleViewAction()->setVisible(false);
    bar->addWidget(m_ribbon);
}

void CMainFrame::SetHighlighting(bool on)
{
    m_bHighlight = on;
    Action(ID_VIEW_HIGHLIGHT)->setChecked(on);
    for (CChildFrame* child : Children())
        child->GetView()->SetHighlightRules(on ? m_highlightRules : nullptr);
    m_app->WriteProfileInt(kWorkspaceSection, kHighlightEntry, on ? 1 : 0);
}

void CMainFrame::SetHighlightRules(std::shared_ptr<const CHighlightRules> rules)
{
    m_highlightRules = std::move(rules);
    const std::string text = CHighlightRules::Serialize(m_highlightRules->Rules());
    m_app->WriteProfileString(kWorkspaceSection, kHighlightRulesEntry, QString::fromStdString(text).toStdWString().c_str());
    SetHighlighting(m_bHighlight);
}

void CMainFrame::editHighlightRules()
{
    CHighlightDlg dialog(m_highlightRules->Rules(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // Rules just edited are meant to be seen.
    m_bHighlight = true;
    SetHighlightRules(std::make_shared<const CHighlightRules>(dialog.Rules()));
}

void CMainFrame::SetLineNumbers(bool on)
{
    m_bLineNumbers = on;
    Action(ID_VIEW_LINE_NUMBERS)->setChecked(on);
    for (CChildFrame* child : Children())
        child->GetView()->SetLineNumbers(on);
    m_app->WriteProfileInt(kWorkspaceSection, kLineNumbersEntry, on ? 1 : 0);
}

QAction* CMainFrame::Action(UINT commandId) const
{
    const auto found = m_actions.find(commandId);
    return found == m_actions.end() ? nullptr : found->second;
}

QLabel* CMainFrame::StatusPane(UINT paneId) const
{
    const auto found = m_panes.find(paneId);
    return found == m_panes.end() ? nullptr : found->second;
}

CChildFrame* CMainFrame::ActiveChild() const
{
    // The current window even while the frame itself is not the active one
    // (or was hidden when its windows were added).
    QMdiSubWindow* window = m_mdiArea->currentSubWindow();
    if (!window) {
        const QList<QMdiSubWindow*> history = m_mdiArea->subWindowList(QMdiArea::ActivationHistoryOrder);
        window = history.isEmpty() ? nullptr : history.last();
    }
    return qobject_cast<CChildFrame*>(window);
}

QList<CChildFrame*> CMainFrame::Children() const
{
    QList<CChildFrame*> children;
    for (QMdiSubWindow* window : m_mdiArea->subWindowList())
        if (auto* child = qobject_cast<CChildFrame*>(window))
            children.append(child);
    return children;
}

void CMainFrame::OnApplicationLook(UINT id)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_nAppLook = id;
    ApplyAppLook(id);
    if (QAction* look = Action(id))
        look->setChecked(true);
    else if (QAction* checked = m_looks->checkedAction())
        checked->setChecked(false); // an unknown stored value checks nothing
    update();
    m_app->WriteProfileInt(kWorkspaceSection, kAppLookEntry, static_cast<int>(id));
    QApplication::restoreOverrideCursor();
}

CChildFrame* CMainFrame::_AddView(const std::shared_ptr<CKelWatchDoc>& document, const QString& title)
{
    auto* view = new CKelWatchView(document);
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
    view->addActions(
        {Action(ID_EDIT_CUT), Action(ID_EDIT_COPY), Action(ID_EDIT_COPY_WITH_LINE_NUMBERS), Action(ID_EDIT_PASTE)});
    view->SetHighlightRules(m_bHighlight ? m_highlightRules : nullptr);
    view->SetLineNumbers(m_bLineNumbers);
    auto* child = new CChildFrame(view);
    child->SetDocumentTitle(title);
    connect(child->FilterPane(), &CFilterPane::closeRequested, this, [this] { _ShowFilterState(); });
    connect(view, &CKelWatchView::followChanged, this, [this, child] {
        if (child == ActiveChild())
            _ShowFollowState();
    });
    connect(view, &CKelWatchView::findChanged, this, [this, child] {
        if (child == ActiveChild())
            _ShowFindState();
    });
    connect(view, &CKelWatchView::encodingChanged, this, [this, child] {
        if (child == ActiveChild())
            _ShowEncoding();
    });
    for (auto changed : {&CKelWatchView::linesAppended, &CKelWatchView::textReplaced})
        connect(view, changed, this, [this, child] {
            if (child == ActiveChild())
                _ShowSize();
        });
    m_mdiArea->addSubWindow(child);
    // Titles are counted again once the closed window has left the area; the
    // frame's own destruction closes nothing and so calls nothing back.
    connect(child, &CChildFrame::closed, this, [this] { QTimer::singleShot(0, this, [this] { _UpdateTitles(); }); });
    child->showMaximized(); // tabbed documents fill the area
    m_mdiArea->setActiveSubWindow(child); // a new window comes to the front
    view->OnInitialUpdate();
    _UpdateTitles();
    _ShowEncoding();
    return child;
}

CChildFrame* CMainFrame::OpenDocumentFile(const QString& path)
{
    auto document = std::make_shared<CKelWatchDoc>();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    document->OnOpenDocument(CStringW(absolute.toStdWString()));
    return _AddView(document, QFileInfo(absolute).fileName());
}

CChildFrame* CMainFrame::OpenDocumentFiles(const QStringList& paths)
{
    CChildFrame* first = nullptr;
    for (const QString& path : paths) {
        CChildFrame* child = OpenDocumentFile(path);
        if (!first)
            first = child;
    }
    if (first)
        m_mdiArea->setActiveSubWindow(first);
    return first;
}

CChildFrame* CMainFrame::NewDocument()
{
    return _AddView(std::make_shared<CKelWatchDoc>(), DocumentName() + QString::number(++m_nUntitled));
}

// Windows of one document are told apart by ":1", ":2", ...
void CMainFrame::_UpdateTitles()
{
    const QList<CChildFrame*> children = Children();
    for (CChildFrame* child : children) {
        int total = 0;
        int number = 0;
        for (CChildFrame* other : children) {
            if (other->GetView()->GetDocument() == child->GetView()->GetDocument())
                ++total;
            if (other == child)
                number = total;
        }
        const QString name = _TitleTellingApart(child, children);
        child->setWindowTitle(total > 1 ? QStringLiteral("%1:%2").arg(name).arg(number) : name);
        child->setToolTip(QString::fromStdWString(child->GetView()->GetDocument()->GetPathName().str()));
    }
    const CChildFrame* active = ActiveChild();
    setWindowTitle(active ? QStringLiteral("KelWatch - %1").arg(active->windowTitle()) : QStringLiteral("KelWatch"));
}

// The document's title, with its folder when another open document of
// another folder has the same name ("svc.log — api").
QString CMainFrame::_TitleTellingApart(const CChildFrame* child, const QList<CChildFrame*>& children) const
{
    const CKelWatchDoc* document = child->GetView()->GetDocument();
    const QFileInfo path(QString::fromStdWString(document->GetPathName().str()));
    for (const CChildFrame* other : children) {
        const CKelWatchDoc* otherDocument = other->GetView()->GetDocument();
        if (otherDocument != document && other->DocumentTitle() == child->DocumentTitle()
            && !path.filePath().isEmpty())
            return QStringLiteral("%1 — %2").arg(child->DocumentTitle(), path.dir().dirName());
    }
    return child->DocumentTitle();
}

void CMainFrame::open()
{
    OpenDocumentFiles(QFileDialog::getOpenFileNames(this));
}

void CMainFrame::closeDocument()
{
    if (CChildFrame* child = ActiveChild())
        child->close();
}

void CMainFrame::about()
{
    CAboutDlg dialog(this);
    dialog.exec();
}

void CMainFrame::newWindow()
{
    if (CChildFrame* child = ActiveChild())
        _AddView(child->GetView()->SharedDocument(), child->DocumentTitle());
}

void CMainFrame::windowManager()
{
    CWindowListDlg dialog(m_mdiArea, this);
    dialog.exec();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    OpenDroppedFiles(event->mimeData());
    event->acceptProposedAction();
}

void CMainFrame::OpenDroppedFiles(const QMimeData* data)
{
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            OpenDocumentFile(url.toLocalFile());
}
