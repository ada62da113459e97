#include "PageFilesView.h"

#include "FilesDialogs.h"
#include "ProgressWindow.h"
#include "QtText.h"

#include <KelDialog.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace {

// "선택 / 취소" is a plain check box, not one that ticks itself: a click
// leaves its state for the page to read, and the page sets it afterwards.
class CSelectAllBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {}
};

} // namespace

CPageFilesView::CPageFilesView(QWidget* parent)
    : QWidget(parent)
    , m_pList(new QTreeWidget)
    , m_pFolder(new QLineEdit)
    , m_pExtensions(new QComboBox)
    , m_pSubFolders(new QCheckBox(QStringLiteral("하위폴더 검색")))
    , m_pHidden(new QCheckBox(QStringLiteral("숨김 폴더 파일 검색")))
    , m_pSortOrder(new QComboBox)
    , m_pSelectAll(new CSelectAllBox(QStringLiteral("선택 / 취소")))
    , m_pUndo(new QPushButton(QStringLiteral("되돌리기")))
{
    m_pFolder->setReadOnly(true);
    m_pExtensions->setEditable(true);
    m_pSortOrder->addItems({ QStringLiteral("오름차순으로"), QStringLiteral("내림차순으로") });

    m_pList->setRootIsDecorated(false);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setHeaderLabels({ QString(), QStringLiteral("글자셋"), QStringLiteral("파일명"),
        QStringLiteral("변경할 파일명"), QStringLiteral("확장자"), QStringLiteral("변경할 확장자"),
        QStringLiteral("경로") });
    const int widths[CFileList::kColumnCount] = { 25, 50, 200, 200, 50, 50, 160 };
    for (int column = CFileList::kCheck; column < CFileList::kColumnCount; ++column)
        m_pList->setColumnWidth(column, widths[column]);
    m_pList->headerItem()->setTextAlignment(CFileList::kCheck, Qt::AlignCenter);
    m_pList->headerItem()->setTextAlignment(CFileList::kCharset, Qt::AlignCenter);

    auto* choose = new QPushButton(QStringLiteral("폴더 선택"));
    auto* search = new QPushButton(QStringLiteral("검색 시작"));
    auto* sort = new QPushButton(QStringLiteral("정렬"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_pFolder, 0, 0, 1, 3);
    layout->addWidget(choose, 0, 3);
    layout->addWidget(new QLabel(QStringLiteral("확장자 : ")), 1, 0);
    layout->addWidget(m_pExtensions, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("예) c,cpp,h,hpp")), 1, 2);
    layout->addWidget(search, 1, 3);
    layout->addWidget(m_pSubFolders, 2, 0);
    layout->addWidget(m_pHidden, 2, 1);
    layout->addWidget(m_pSortOrder, 2, 2);
    layout->addWidget(sort, 2, 3);
    layout->addWidget(m_pSelectAll, 3, 0);
    layout->addWidget(m_pList, 4, 0, 1, 4);
    layout->addWidget(_MakeButtons(), 5, 0, 1, 4);

    connect(choose, &QPushButton::clicked, this, &CPageFilesView::OnChooseFolder);
    connect(search, &QPushButton::clicked, this, &CPageFilesView::OnSearch);
    connect(sort, &QPushButton::clicked, this, &CPageFilesView::OnSort);
    connect(m_pSelectAll, &QCheckBox::clicked, this, &CPageFilesView::OnSelectAll);
    _ShowFields();
}

QWidget* CPageFilesView::_MakeButtons()
{
    struct SButton {
        const char* text;
        void (CPageFilesView::*action)();
    };
    const SButton buttons[] = {
        { "선택파일저장", &CPageFilesView::OnSaveSelected },
        { nullptr, &CPageFilesView::OnUndoSave }, // "되돌리기", made beforehand: it is enabled only with a batch to undo
        { "문자열 붙이기", &CPageFilesView::OnAddText },
        { "문자열 지우기", &CPageFilesView::OnRemoveText },
        { "문자열 전체삭제", &CPageFilesView::OnClearNames },
        { "확장자 변경", &CPageFilesView::OnChangeExtension },
        { "숫자 추가", &CPageFilesView::OnAppendNumbers },
        { "숫자자릿수맞추기", &CPageFilesView::OnPadNumbers },
        { "글자셋 확인", &CPageFilesView::OnCharsetCheck },
        { "글자셋 변경", &CPageFilesView::OnCharsetChange },
    };
    auto* panel = new QWidget;
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    int index = 0;
    for (const SButton& b : buttons) {
        QPushButton* button = b.text ? new QPushButton(QString::fromUtf8(b.text)) : m_pUndo;
        grid->addWidget(button, index / 5, index % 5);
        ++index;
        connect(button, &QPushButton::clicked, this, b.action);
    }
    return panel;
}

void CPageFilesView::_ReadFields()
{
    m_page.m_strExtensions = FromQString(m_pExtensions->currentText());
    m_page.m_bSubFolders = m_pSubFolders->isChecked();
    m_page.m_bHidden = m_pHidden->isChecked();
    m_page.m_nSortOrder = m_pSortOrder->currentIndex();
    m_page.m_bSelectAll = m_pSelectAll->isChecked();
    // The user's check marks are the rows' data.
    CFileList& list = m_page.List();
    for (int row = 0; row < list.GetItemCount() && row < m_pList->topLevelItemCount(); ++row)
        list.SetCheck(row, m_pList->topLevelItem(row)->checkState(CFileList::kCheck) == Qt::Checked);
}

void CPageFilesView::_ShowFields()
{
    m_pFolder->setText(ToQString(m_page.m_strFolder));
    m_pExtensions->setEditText(ToQString(m_page.m_strExtensions));
    m_pSubFolders->setChecked(m_page.m_bSubFolders);
    m_pHidden->setChecked(m_page.m_bHidden);
    m_pSortOrder->setCurrentIndex(m_page.m_nSortOrder);
    m_pSelectAll->setChecked(m_page.m_bSelectAll);
    _ShowList();
}

void CPageFilesView::_ShowList()
{
    const CFileList& list = m_page.List();
    m_pList->setUpdatesEnabled(false);
    m_pList->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(list.GetItemCount());
    for (int row = 0; row < list.GetItemCount(); ++row) {
        auto* item = new QTreeWidgetItem;
        for (int column = CFileList::kCharset; column < CFileList::kColumnCount; ++column)
            item->setText(column, ToQString(list.GetItemText(row, column)));
        item->setTextAlignment(CFileList::kCharset, Qt::AlignCenter);
        item->setCheckState(CFileList::kCheck, list.GetCheck(row) ? Qt::Checked : Qt::Unchecked);
        items.append(item);
    }
    m_pList->addTopLevelItems(items);
    m_pList->setUpdatesEnabled(true);
    m_pUndo->setEnabled(m_page.CanUndo());
}

void CPageFilesView::OnChooseFolder()
{
    // The stored fields are shown without reading the controls first, so
    // an extension list typed but not yet searched with is replaced.
    m_page.FolderChosen(CKelDialog::GetPath(nullptr));
    _ShowFields();
}

void CPageFilesView::OnSearch()
{
    _ReadFields();
    CBusyCursor busy;
    m_page.Search();
    _ShowList();
}

void CPageFilesView::OnSort()
{
    _ReadFields();
    CBusyCursor busy;
    m_page.Sort();
    _ShowList();
}

void CPageFilesView::OnSelectAll()
{
    _ReadFields();
    m_page.SelectAll(m_pSelectAll->isChecked());
    _ShowFields();
}

void CPageFilesView::OnSaveSelected()
{
    _ReadFields();
    RunWithProgress(this, m_page, QStringLiteral("파일 이름을 바꾸는 중입니다..."), [&] { m_page.SaveSelected(); });
    _ShowList();
}

void CPageFilesView::OnUndoSave()
{
    _ReadFields();
    m_page.UndoSave();
    _ShowList();
}

void CPageFilesView::OnAddText()
{
    CDlgFilesStringAdd dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    _ReadFields();
    m_page.AddText(dialog.m_strText, dialog.m_nPosition);
    _ShowList();
}

void CPageFilesView::OnRemoveText()
{
    CDlgFilesStringRemove dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    _ReadFields();
    m_page.RemoveText(dialog.m_strText);
    _ShowList();
}

void CPageFilesView::OnClearNames()
{
    _ReadFields();
    m_page.ClearNames();
    _ShowList();
}

void CPageFilesView::OnChangeExtension()
{
    CDlgFilesExtChange dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    _ReadFields();
    m_page.SetExtension(dialog.m_strText);
    _ShowList();
}

void CPageFilesView::OnAppendNumbers()
{
    _ReadFields();
    m_page.AppendNumbers();
    _ShowList();
}

void CPageFilesView::OnPadNumbers()
{
    _ReadFields();
    m_page.PadToCommonLength();
    _ShowList();
}

void CPageFilesView::OnCharsetCheck()
{
    _ReadFields();
    RunWithProgress(this, m_page, QStringLiteral("글자셋을 확인하는 중입니다..."), [&] { m_page.CheckCharsets(); });
    _ShowList();
}

void CPageFilesView::OnCharsetChange()
{
    CDlgFilesCharsetChange dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    _ReadFields();
    RunWithProgress(this, m_page, QStringLiteral("글자셋을 바꾸는 중입니다..."),
        [&] { m_page.ChangeCharsets(dialog.m_nTarget); });
    _ShowList();
}
