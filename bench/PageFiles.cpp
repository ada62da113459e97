#include "PageFiles.h"

#include "DevFileFind.h"
#include "PageSupport.h"

#include <platform/UiHooks.h>

#include <platform/Unicode.h>

#include <algorithm>
#include <vector>

void CPageFiles::FolderChosen(const CStringW& folder)
{
    m_strFolder = folder;
}

void CPageFiles::Search()
{
    m_renames.Forget(); // the rows it knew are gone
    if (!m_strFolder.IsEmpty()) {
        m_list.DeleteAllItems();
        CDevFileFind finder(m_list);
        finder.FindFoldersFiles(m_strFolder, m_strExtensions, m_bSubFolders ? 1 : 0, m_bHidden ? 1 : 0);
    }
    // The planned name starts as the current one, also when no search ran.
    for (int row = 0; row < m_list.GetItemCount(); ++row)
        m_list.SetItemText(row, CFileList::kNewName, m_list.GetItemText(row, CFileList::kName));
}

void CPageFiles::Sort()
{
    m_renames.Forget();
    struct SSortRow {
        CStringW key, extension, name;
    };
    std::vector<SSortRow> rows;
    rows.reserve(static_cast<size_t>(m_list.GetItemCount()));
    for (int row = 0; row < m_list.GetItemCount(); ++row) {
        const CStringW& extension = m_list.GetItemText(row, CFileList::kExtension);
        const CStringW& name = m_list.GetItemText(row, CFileList::kName);
        rows.push_back({ extension + L"||" + name, extension, name });
    }
    // Ascending by UTF-16 code unit, case-sensitive: the order of the
    // foundation's bubble sort, reached in n log n steps.
    std::stable_sort(rows.begin(), rows.end(), [](const SSortRow& a, const SSortRow& b) {
        return kel::platform::CompareUtf16(a.key.str(), b.key.str()) < 0;
    });
    m_list.DeleteAllItems();
    for (const SSortRow& sorted : rows) {
        const int row = m_list.InsertItem(m_nSortOrder == 0 ? 0 : m_list.GetItemCount());
        // The key's pieces between its '|' characters, empty ones skipped:
        // extension and name, or the name alone (shown as the extension)
        // when there is no extension. The pieces are taken whole, so a name
        // with '|' in it, which Linux allows, is not cut apart.
        const bool noExtension = sorted.extension.IsEmpty();
        m_list.SetItemText(row, CFileList::kExtension, noExtension ? sorted.name : sorted.extension);
        m_list.SetItemText(row, CFileList::kName, noExtension ? CStringW() : sorted.name);
    }
}

void CPageFiles::SelectAll(bool boxChecked)
{
    for (int row = 0; row < m_list.GetItemCount(); ++row)
        m_list.SetCheck(row, !boxChecked);
    m_bSelectAll = !boxChecked;
}

namespace {

void ShowResult(const CStringW& text)
{
    kel::platform::ShowMessageBox(text, L"Kelbench", kel::platform::kMbIconInformation);
}

} // namespace

void CPageFiles::SaveSelected()
{
    const int planned = kel::bench::CRenameBatch::CountPlanned(m_list);
    if (planned == 0) {
        ShowResult(L"이름이 바뀔 파일이 없습니다.");
        return;
    }
    CStringW question;
    question.Format(L"선택한 파일 %d개의 이름을 바꿉니다.\n계속하시겠습니까?", planned);
    if (kel::platform::ShowMessageBox(question, L"Kelbench", kel::bench::kMbOkCancel | kel::bench::kMbIconQuestion)
        != kel::platform::kIdOk)
        return;
    const kel::bench::SBatchReport report = m_renames.Apply(m_list, m_pProgress);
    kel::bench::ReportFinished(m_pProgress);
    ShowResult(report.Text(L"이름 바꿈"));
}

void CPageFiles::UndoSave()
{
    if (m_renames.CanUndo())
        ShowResult(m_renames.Undo(m_list).Text(L"되돌림"));
}

void CPageFiles::CheckCharsets()
{
    try {
        _ForEachChecked([&](int row) {
            _ReportRow(row);
            m_list.SetItemText(row, CFileList::kCharset, kel::bench::DetectCharset(kel::bench::RowFile(m_list, row)));
        });
    } catch (kel::bench::SCancelled) {
        // The rows done so far keep what was found.
    }
}

void CPageFiles::ChangeCharsets(int target)
{
    if (target < kel::bench::kToUtf8 || target > kel::bench::kToUtf16LEMark)
        return;
    kel::bench::SBatchReport report;
    try {
        _ForEachChecked([&](int row) {
            _ReportRow(row);
            const CStringW converted = kel::bench::ChangeCharset(kel::bench::RowFile(m_list, row), target, report);
            if (!converted.IsEmpty())
                m_list.SetItemText(row, CFileList::kCharset, converted);
        });
    } catch (kel::bench::SCancelled) {
        // What is converted stays converted: each file was replaced whole.
    }
    kel::bench::ReportFinished(m_pProgress);
    ShowResult(report.Text(L"변경함"));
}

void CPageFiles::_ReportRow(int row) const
{
    kel::bench::ReportProgress(m_pProgress, static_cast<ULONGLONG>(row), static_cast<ULONGLONG>(m_list.GetItemCount()));
}

// Rows are taken from the top; the count is read again after every row.
template <typename Change>
void CPageFiles::_ForEachChecked(Change change)
{
    for (int row = 0; row < m_list.GetItemCount(); ++row)
        if (m_list.GetCheck(row))
            change(row);
}

void CPageFiles::AddText(const CStringW& text, int position)
{
    _ForEachChecked([&](int row) {
        const CStringW& name = m_list.GetItemText(row, CFileList::kNewName);
        m_list.SetItemText(row, CFileList::kNewName, position == kAfterName ? name + text : text + name);
    });
}

void CPageFiles::RemoveText(const CStringW& text)
{
    _ForEachChecked([&](int row) {
        CStringW name = m_list.GetItemText(row, CFileList::kNewName);
        const int at = name.Find(text);
        if (at < 0)
            return;
        m_list.SetItemText(row, CFileList::kNewName,
            name.Left(at) + name.Right(name.GetLength() - text.GetLength() - at));
    });
}

void CPageFiles::ClearNames()
{
    _ForEachChecked([&](int row) { m_list.SetItemText(row, CFileList::kNewName, CStringW()); });
}

void CPageFiles::SetExtension(const CStringW& text)
{
    _ForEachChecked([&](int row) { m_list.SetItemText(row, CFileList::kNewExtension, text); });
}

void CPageFiles::AppendNumbers()
{
    int checked = 0;
    _ForEachChecked([&](int) { ++checked; });
    // Width: the decimal digits of the count of checked rows.
    int digits = 0;
    for (int rest = checked / 10; rest > 0; rest /= 10)
        ++digits;
    const int width = digits + 1;
    // The number is the row's position in the list, not a running count.
    _ForEachChecked([&](int row) {
        CStringW number;
        number.Format(L"%d", row + 1);
        if (number.GetLength() < width)
            number = CStringW(L'0', width - number.GetLength()) + number;
        m_list.SetItemText(row, CFileList::kNewName, m_list.GetItemText(row, CFileList::kNewName) + number);
    });
}

void CPageFiles::PadToCommonLength()
{
    int longest = 0;
    _ForEachChecked([&](int row) { longest = std::max(longest, m_list.GetItemText(row, CFileList::kNewName).GetLength()); });
    _ForEachChecked([&](int row) {
        const CStringW& name = m_list.GetItemText(row, CFileList::kNewName);
        if (name.GetLength() < longest)
            m_list.SetItemText(row, CFileList::kNewName, CStringW(L'0', longest - name.GetLength()) + name);
    });
}
