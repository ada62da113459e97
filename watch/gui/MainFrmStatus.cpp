// The frame's encoding menu and its status panes: the document's encoding,
// and whether the current view follows the end.
#include "MainFrm.h"

#include "ChildFrm.h"
#include "KelWatchView.h"
#include "Resource.h"

#include "KelFile.h"
#include "platform/CodePage.h"

#include <QActionGroup>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QStatusBar>

namespace {

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

// The status pane's words for the document's encoding, or for what keeps
// its file from being read.
QString EncodingStatus(const CKelWatchDoc& document)
{
    if (!document.FileProblem().IsEmpty())
        return QString::fromStdWString(document.FileProblem().str());
    const int encoding = document.GetEncoding();
    if (document.CompressionName())
        return QStringLiteral("%1 압축 파일").arg(QString::fromWCharArray(document.CompressionName()));
    if (!document.IsFollowing())
        return QStringLiteral("지원하지 않음 (%1)").arg(QString::fromStdWString(CKelFile::GetEncodingName(encoding).str()));
    if (document.IsUtf8Fallback())
        return QStringLiteral("UTF-8 (맞는 인코딩 없음: 대체 문자로 표시)");
    if (document.IsEncodingOpen())
        return QStringLiteral("ASCII (아직 정하지 않음)");
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

void CMainFrame::_CreateEncodingActions()
{
    m_encodings = new QActionGroup(this);
    for (const SEncodingChoice& choice : kEncodingChoices) {
        QAction* action = _AddAction(choice.command, QString::fromUtf8(choice.label));
        action->setCheckable(true);
        m_encodings->addAction(action);
        connect(action, &QAction::triggered, this, [this, encoding = choice.encoding] { _ChooseEncoding(encoding); });
    }
    connect(_AddAction(ID_VIEW_ENCODING_DETECT, QStringLiteral("다시 감지(&D)")), &QAction::triggered, this,
            [this] { _ChooseEncoding(CKelFile::UNDETECTED); });
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

void CMainFrame::createStatusBar()
{
    QStatusBar* status = statusBar();
    status->setObjectName(QString::number(AFX_IDW_STATUS_BAR));
    auto* first = new QLabel(LoadWatchString(IDS_STATUS_PANE1), status);
    auto* second = new QLabel(LoadWatchString(IDS_STATUS_PANE2), status);
    auto* follow = new QLabel(status);
    follow->setVisible(false); // shown while the current view does not follow
    auto* encoding = new QLabel(status); // the current document's encoding
    auto* size = new QLabel(status);     // its size and line count
    status->addWidget(first, 1);
    status->addPermanentWidget(follow);
    status->addPermanentWidget(size);
    status->addPermanentWidget(encoding);
    status->addPermanentWidget(second); // the extended element on the right
    m_panes[ID_STATUSBAR_PANE1] = first;
    m_panes[ID_STATUSBAR_PANE2] = second;
    m_panes[ID_STATUSBAR_FOLLOW] = follow;
    m_panes[ID_STATUSBAR_ENCODING] = encoding;
    m_panes[ID_STATUSBAR_SIZE] = size;
    _ShowEncoding();
    _ShowSize();
}

// "476.8 MiB · 5,581,720줄": the bytes of the file read so far and the lines
// shown, in the numbers of the locale.
void CMainFrame::_ShowSize()
{
    QLabel* pane = StatusPane(ID_STATUSBAR_SIZE);
    const CChildFrame* child = ActiveChild();
    if (!pane)
        return;
    pane->setVisible(child != nullptr);
    if (!child)
        return;
    const CKelWatchView* view = child->GetView();
    const QLocale locale;
    const auto bytes = static_cast<qint64>(view->GetDocument()->GetReadPosition());
    pane->setText(QStringLiteral("%1 · %2줄")
                      .arg(locale.formattedDataSize(bytes, 1, QLocale::DataSizeIecFormat))
                      .arg(locale.toString(static_cast<qulonglong>(view->Lines().LineCount()))));
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
    // Text shown as UTF-8 only because nothing fitted has no encoding checked.
    const bool decided = document && document->IsFollowing() && !document->IsUtf8Fallback();
    const UINT command = decided ? EncodingCommandOf(document->GetEncoding()) : 0;
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
