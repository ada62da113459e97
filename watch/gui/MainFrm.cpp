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

#include "KelFile.h"
#include "platform/CodePage.h"
#include "platform/WinApp.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <climits>
#include <filesystem>

namespace {

// Where the framework keeps the workspace values of the application.
constexpr const wchar_t* kWorkspaceSection = L"Workspace";
constexpr const wchar_t* kAppLookEntry = L"ApplicationLook";
constexpr const wchar_t* kHighlightEntry = L"Highlight";
constexpr const wchar_t* kHighlightRulesEntry = L"HighlightRules";
constexpr const wchar_t* kLineNumbersEntry = L"LineNumbers";
// A print preview lays out at most this many pages.
constexpr int kPreviewPages = 200;

QString DocumentName()
{
    return LoadWatchString(IDR_KelWatchTYPE).section(QLatin1Char('\n'), 1, 1);
}

bool IsSameFile(const QString& a, const QString& b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists()) {
        // Another name of the same file (a hard link) is the same file too.
        std::error_code error;
        return std::filesystem::equivalent(QFile::encodeName(a).toStdString(), QFile::encodeName(b).toStdString(), error)
            || first.canonicalFilePath() == second.canonicalFilePath();
    }
    return first.absoluteFilePath() == second.absoluteFilePath();
}

// The encoding choices: command, label, and the encoding read with it.
struct SEncodingChoice {
    UINT command;
    const char* label;
    int encoding;
};
constexpr SEncodingChoice kEncodingChoices[] = {
    {ID_VIEW_ENCODING_UTF8, "UTF-8", CKelFile::UTF8_NOBOM},
    {ID_VIEW_ENCODING_CP949, "CP949 (EUC-KR)", CKelFile::CP949},
    {ID_VIEW_ENCODING_UTF16LE, "UTF-16LE", CKelFile::UTF16_LE},
    {ID_VIEW_ENCODING_UTF16BE, "UTF-16BE", CKelFile::UTF16_BE},
    {ID_VIEW_ENCODING_SYSTEM, "시스템 코드 페이지", CKelFile::ASCII},
};

// The choice that reads as `encoding` does: a detected mark or EUC-KR
// decodes the same as the plain choice.
UINT EncodingCommandOf(int encoding)
{
    switch (encoding) {
    case CKelFile::UTF8_BOM:
        return ID_VIEW_ENCODING_UTF8;
    case CKelFile::EUCKR:
        return ID_VIEW_ENCODING_CP949;
    default:
        for (const SEncodingChoice& choice : kEncodingChoices)
            if (choice.encoding == encoding)
                return choice.command;
        return 0;
    }
}

// The status pane's words for the document's encoding.
QString EncodingStatus(const CKelWatchDoc& document)
{
    const int encoding = document.GetEncoding();
    if (!document.IsFollowing() && encoding == CKelFile::UNDETECTED)
        return QStringLiteral("알 수 없는 인코딩"); // detection found nothing that fits
    if (!document.IsFollowing())
        return QStringLiteral("지원하지 않음 (%1)").arg(QString::fromStdWString(CKelFile::GetEncodingName(encoding).str()));
    switch (encoding) {
    case CKelFile::UNDETECTED:
        return QStringLiteral("감지 중");
    case CKelFile::UTF8_BOM:
    case CKelFile::UTF8_NOBOM:
        return QStringLiteral("UTF-8");
    case CKelFile::EUCKR:
        return QStringLiteral("EUC-KR");
    case CKelFile::CP949:
        return QStringLiteral("CP949");
    case CKelFile::UTF16_LE:
        return QStringLiteral("UTF-16LE");
    case CKelFile::UTF16_BE:
        return QStringLiteral("UTF-16BE");
    case CKelFile::ASCII:
        return QStringLiteral("시스템 코드 페이지 (%1)").arg(QString::fromStdString(kel::platform::SystemCodeSet()));
    default:
        return QString::fromStdWString(CKelFile::GetEncodingName(encoding).str());
    }
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
    auto bind = [this](UINT id, const QString& text, auto slot, QKeySequence keys = {}) {
        QAction* action = _AddAction(id, text);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
        return action;
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
    // The view is read-only: cut and paste are there and change nothing.
    bind(ID_EDIT_CUT, LabelOf(IDS_RIBBON_CUT), [] {});
    bind(ID_EDIT_COPY, LabelOf(IDS_RIBBON_COPY), onView(&CKelWatchView::copy));
    bind(ID_EDIT_PASTE, LabelOf(IDS_RIBBON_PASTE), [] {});
    bind(ID_EDIT_SELECT_ALL, LabelOf(IDS_RIBBON_SELECTALL), onView(&CKelWatchView::selectAll));
    bind(ID_EDIT_FIND, QStringLiteral("찾기(&F)..."), &CMainFrame::showFindBar, QKeySequence::Find);
    bind(ID_EDIT_FIND_NEXT, QStringLiteral("다음 찾기(&N)"), onView(&CKelWatchView::FindNext), QKeySequence::FindNext);
    bind(ID_EDIT_FIND_PREVIOUS, QStringLiteral("이전 찾기(&V)"), onView(&CKelWatchView::FindPrevious),
         QKeySequence::FindPrevious);
    bind(ID_EDIT_GOTO_LINE, QStringLiteral("줄 이동(&G)..."), &CMainFrame::goToLine, QKeySequence(Qt::CTRL | Qt::Key_G));

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

    m_encodings = new QActionGroup(this);
    for (const SEncodingChoice& choice : kEncodingChoices) {
        QAction* action = _AddAction(choice.command, QString::fromUtf8(choice.label));
        action->setCheckable(true);
        m_encodings->addAction(action);
        connect(action, &QAction::triggered, this, [this, encoding = choice.encoding] { _ChooseEncoding(encoding); });
    }
    connect(_AddAction(ID_VIEW_ENCODING_DETECT, QStringLiteral("다시 감지(&D)")), &QAction::triggered, this,
            [this] { _ChooseEncoding(CKelFile::UNDETECTED); });

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
    for (UINT id : {ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_EDIT_SELECT_ALL})
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

// One menu, in the view menu and behind the ribbon's button.
QMenu* CMainFrame::_EncodingMenu()
{
    if (m_encodingMenu)
        return m_encodingMenu;
    m_encodingMenu = new QMenu(QStringLiteral("인코딩(&C)"), this);
    for (const SEncodingChoice& choice : kEncodingChoices)
        m_encodingMenu->addAction(Action(choice.command));
    m_encodingMenu->addSeparator();
    m_encodingMenu->addAction(Action(ID_VIEW_ENCODING_DETECT));
    return m_encodingMenu;
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

void CMainFrame::createStatusBar()
{
    QStatusBar* status = statusBar();
    status->setObjectName(QString::number(AFX_IDW_STATUS_BAR));
    auto* first = new QLabel(LoadWatchString(IDS_STATUS_PANE1), status);
    auto* second = new QLabel(LoadWatchString(IDS_STATUS_PANE2), status);
    auto* follow = new QLabel(status);
    follow->setVisible(false); // shown while the current view does not follow
    auto* encoding = new QLabel(status); // the current document's encoding
    status->addWidget(first, 1);
    status->addPermanentWidget(follow);
    status->addPermanentWidget(encoding);
    status->addPermanentWidget(second); // the extended element on the right
    m_panes[ID_STATUSBAR_PANE1] = first;
    m_panes[ID_STATUSBAR_PANE2] = second;
    m_panes[ID_STATUSBAR_FOLLOW] = follow;
    m_panes[ID_STATUSBAR_ENCODING] = encoding;
    _ShowEncoding();
}

// The current document read again in `encoding`, or detected again.
void CMainFrame::_ChooseEncoding(int encoding)
{
    if (CChildFrame* child = ActiveChild())
        child->GetView()->GetDocument()->SetEncoding(encoding);
    _ShowEncoding();
}

// The encoding menu's check and the status pane, for the current document.
void CMainFrame::_ShowEncoding()
{
    const CChildFrame* child = ActiveChild();
    const CKelWatchDoc* document = child ? child->GetView()->GetDocument() : nullptr;
    const UINT command = document && document->IsFollowing() ? EncodingCommandOf(document->GetEncoding()) : 0;
    if (QAction* checked = Action(command))
        checked->setChecked(true);
    else if (QAction* previous = m_encodings->checkedAction())
        previous->setChecked(false);
    for (QAction* action : m_encodings->actions())
        action->setEnabled(document != nullptr);
    Action(ID_VIEW_ENCODING_DETECT)->setEnabled(document != nullptr);
    if (QLabel* pane = StatusPane(ID_STATUSBAR_ENCODING)) {
        pane->setVisible(document != nullptr);
        pane->setText(document ? EncodingStatus(*document) : QString());
    }
}

// The follow action's check and the status pane, for the current view.
void CMainFrame::_ShowFollowState()
{
    QLabel* pane = StatusPane(ID_STATUSBAR_FOLLOW);
    const CChildFrame* child = ActiveChild();
    const CKelWatchView* view = child ? child->GetView() : nullptr;
    const bool following = !view || view->IsFollowing();
    Action(ID_VIEW_FOLLOW)->setChecked(following);
    if (pane) {
        pane->setVisible(!following);
        if (!following)
            pane->setText(QStringLiteral("따라가기 멈춤: 새 줄 %1개 (End: 다시 따라가기)")
                              .arg(static_cast<qulonglong>(view->LinesSinceFollowStopped())));
    }
}

// The find bar sits under the documents, hidden until Ctrl+F.
void CMainFrame::createFindBar()
{
    m_findBar = new CFindBar(this);
    m_findToolBar = new QToolBar(QStringLiteral("찾기"), this);
    m_findToolBar->setMovable(false);
    m_findToolBar->setFloatable(false);
    m_findToolBar->toggleViewAction()->setVisible(false);
    m_findToolBar->addWidget(m_findBar);
    addToolBar(Qt::BottomToolBarArea, m_findToolBar);
    m_findToolBar->hide();
    connect(m_findBar, &CFindBar::patternChanged, this, &CMainFrame::_ApplyFind);
    connect(m_findBar, &CFindBar::nextRequested, Action(ID_EDIT_FIND_NEXT), &QAction::trigger);
    connect(m_findBar, &CFindBar::previousRequested, Action(ID_EDIT_FIND_PREVIOUS), &QAction::trigger);
    connect(m_findBar, &CFindBar::closeRequested, this, &CMainFrame::closeFindBar);
}

void CMainFrame::showFindBar()
{
    m_findToolBar->show();
    m_findBar->Activate();
    _ApplyFind();
}

void CMainFrame::closeFindBar()
{
    m_findToolBar->hide();
    if (CChildFrame* child = ActiveChild()) {
        child->GetView()->ClearFind();
        child->GetView()->setFocus();
    }
}

void CMainFrame::toggleFilter(bool on)
{
    if (CChildFrame* child = ActiveChild())
        child->ShowFilter(on);
    _ShowFilterState();
}

// The filter action is checked while the current window shows its pane.
void CMainFrame::_ShowFilterState()
{
    const CChildFrame* child = ActiveChild();
    Action(ID_VIEW_FILTER)->setChecked(child && child->IsFilterShown());
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

void CMainFrame::goToLine()
{
    CChildFrame* child = ActiveChild();
    if (!child)
        return;
    CKelWatchView* view = child->GetView();
    const int lines = static_cast<int>(std::clamp<size_t>(view->Lines().LineCount(), 1, INT_MAX));
    const int current = static_cast<int>(std::min<size_t>(view->Selection().Caret().line.Get() + 1, lines));
    bool ok = false;
    const int number = QInputDialog::getInt(this, QStringLiteral("줄 이동"),
                                            QStringLiteral("줄 번호 (1 - %1):").arg(lines), current, 1, lines, 1, &ok);
    if (ok)
        view->GoToLine(static_cast<size_t>(number));
}

// The bar's pattern for the current view.
void CMainFrame::_ApplyFind()
{
    if (CChildFrame* child = ActiveChild())
        child->GetView()->Find(m_findBar->Pattern(), m_findBar->IsRegularExpression(), m_findBar->IsCaseSensitive());
}

void CMainFrame::_ShowFindState()
{
    const CChildFrame* child = ActiveChild();
    if (!m_findBar || !child)
        return;
    const CKelWatchView* view = child->GetView();
    // Below 100 while the search goes on, however far it got.
    const size_t lines = std::max<size_t>(view->Lines().LineCount(), 1);
    const int searched = view->IsFindDone()
        ? 100
        : std::min(99, static_cast<int>(view->Finder().SearchedLines() * 100 / lines));
    m_findBar->ShowCount(view->Finder().MatchCount(), view->CurrentMatch(), searched,
                         QString::fromStdString(view->Finder().ErrorString()));
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
    view->addActions({Action(ID_EDIT_CUT), Action(ID_EDIT_COPY), Action(ID_EDIT_PASTE)});
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
        child->setWindowTitle(total > 1 ? QStringLiteral("%1:%2").arg(child->DocumentTitle()).arg(number)
                                        : child->DocumentTitle());
    }
    const CChildFrame* active = ActiveChild();
    setWindowTitle(active ? QStringLiteral("KelWatch - %1").arg(active->windowTitle()) : QStringLiteral("KelWatch"));
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

bool CMainFrame::SaveViewText(CChildFrame* child, const QString& path)
{
    const CKelWatchDoc* document = child->GetView()->GetDocument();
    const QString followed = QString::fromStdWString(document->GetPathName().str());
    if (!followed.isEmpty() && IsSameFile(path, followed))
        return false; // writing the view's text over the log it follows would destroy the log
    // Saving is the document's: it writes the text of the document's first
    // view, whichever of its windows is active.
    CKelWatchView* firstView = child->GetView();
    for (CChildFrame* other : Children()) {
        if (other->GetView()->GetDocument() == document) {
            firstView = other->GetView();
            break;
        }
    }
    if (!firstView->SaveText(path))
        return false;
    child->SetSavedPath(path);
    return true;
}

void CMainFrame::save()
{
    CChildFrame* child = ActiveChild();
    if (!child)
        return;
    if (child->SavedPath().isEmpty())
        saveAs();
    else if (!SaveViewText(child, child->SavedPath()))
        QMessageBox::warning(this, QStringLiteral("KelWatch"), QStringLiteral("%1 에 저장할 수 없습니다.").arg(child->SavedPath()));
}

void CMainFrame::saveAs()
{
    CChildFrame* child = ActiveChild();
    if (!child)
        return;
    const QString path = QFileDialog::getSaveFileName(this, QString(), child->DocumentTitle());
    if (!path.isEmpty() && !SaveViewText(child, path))
        QMessageBox::warning(this, QStringLiteral("KelWatch"), QStringLiteral("%1 에 저장할 수 없습니다.").arg(path));
}

void CMainFrame::print()
{
    CChildFrame* child = ActiveChild();
    if (!child)
        return;
    // A selection can be printed alone: a whole big log is many thousand pages.
    QPrintDialog dialog(m_printer.get(), this);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, !child->GetView()->Selection().IsEmpty());
    if (dialog.exec() == QDialog::Accepted)
        child->GetView()->PrintTo(m_printer.get());
}

void CMainFrame::printDirect()
{
    if (CChildFrame* child = ActiveChild()) {
        m_printer->setPrintRange(QPrinter::AllPages);
        child->GetView()->PrintTo(m_printer.get());
    }
}

// The preview has its own print and close buttons; the preview command is
// checked while it is shown.
void CMainFrame::printPreview()
{
    QAction* previewAction = Action(ID_FILE_PRINT_PREVIEW);
    CChildFrame* child = ActiveChild();
    if (!child) {
        previewAction->setChecked(false);
        return;
    }
    previewAction->setChecked(true);
    // The preview shows the selection when there is one, else everything;
    // of a big log only the first pages, since every page previewed is
    // laid out and kept in memory before the dialog shows.
    CKelWatchView* view = child->GetView();
    m_printer->setPrintRange(view->Selection().IsEmpty() ? QPrinter::AllPages : QPrinter::Selection);
    QPrintPreviewDialog preview(m_printer.get(), this);
    const size_t pages = view->MinimumPageCount(m_printer.get());
    if (pages > kPreviewPages) {
        m_printer->setFromTo(1, kPreviewPages);
        preview.setWindowTitle(QStringLiteral("인쇄 미리 보기: 처음 %1쪽 (전체 %L2쪽 이상)").arg(kPreviewPages).arg(pages));
    }
    connect(&preview, &QPrintPreviewDialog::paintRequested, view, &CKelWatchView::PrintTo);
    preview.exec();
    m_printer->setPrintRange(QPrinter::AllPages);
    m_printer->setFromTo(0, 0);
    previewAction->setChecked(false);
}

void CMainFrame::printSetup()
{
    QPageSetupDialog dialog(m_printer.get(), this);
    dialog.exec();
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
