#include "FileBatch.h"

#include <KelUtil.h>
#include <platform/FileName.h>
#include <platform/Folder.h>

#include <cerrno>

namespace kel::bench {

using kel::platform::NarrowPath;

namespace {

CStringW JoinName(const CStringW& folder, const CStringW& name, CStringW extension)
{
    extension.TrimLeft(L'.');
    return extension.IsEmpty() ? folder + name : folder + name + L"." + extension;
}

CStringW ErrorText(int error)
{
    CStringW text = CKelUtil::MessageError(static_cast<DWORD>(error));
    text.TrimRight();
    return text.IsEmpty() ? CStringW(L"이름을 바꾸지 못했습니다.") : text;
}

// Shows `file` (a full path) in the row as its current and planned name.
void ShowFileInRow(CFileList& list, int row, const CStringW& file)
{
    if (row >= list.GetItemCount())
        return;
    const CStringW name = file.Mid(file.ReverseFind(L'/') + 1);
    const int dot = name.ReverseFind(L'.');
    const CStringW title = dot <= 0 ? name : name.Left(dot);
    const CStringW extension = dot <= 0 ? CStringW() : name.Mid(dot + 1);
    list.SetItemText(row, CFileList::kName, title);
    list.SetItemText(row, CFileList::kNewName, title);
    list.SetItemText(row, CFileList::kExtension, extension);
    list.SetItemText(row, CFileList::kNewExtension, CStringW());
}

// Why a planned name cannot be a file name; empty when it can.
CStringW BadNameReason(const CFileList& list, int row)
{
    const CStringW& name = list.GetItemText(row, CFileList::kNewName);
    if (list.GetItemText(row, CFileList::kPath).IsEmpty())
        return L"경로가 없습니다 (정렬한 목록은 다시 검색하세요).";
    if (name.IsEmpty())
        return L"변경할 파일명이 비어 있습니다.";
    if (name.Find(L'/') >= 0 || list.GetItemText(row, CFileList::kNewExtension).Find(L'/') >= 0)
        return L"파일명에 '/'는 쓸 수 없습니다.";
    return CStringW();
}

bool Identity(const CStringW& path, unsigned long long& device, unsigned long long& inode)
{
    return kel::platform::PathIdentity(NarrowPath(path), device, inode);
}

} // namespace

void SBatchReport::Skip(const CStringW& path, const CStringW& reason)
{
    ++nSkipped;
    strDetails.AppendFormat(L"\n건너뜀: %ls - %ls", path.GetString(), reason.GetString());
}

void SBatchReport::Fail(const CStringW& path, const CStringW& reason)
{
    ++nFailed;
    strDetails.AppendFormat(L"\n실패: %ls - %ls", path.GetString(), reason.GetString());
}

CStringW SBatchReport::Text(const wchar_t* what) const
{
    CStringW text;
    text.Format(L"%ls %d, 건너뜀 %d, 실패 %d", what, nDone, nSkipped, nFailed);
    if (!strDetails.IsEmpty())
        text += L"\n" + strDetails;
    return text;
}

CStringW RowFile(const CFileList& list, int row)
{
    return JoinName(list.GetItemText(row, CFileList::kPath), list.GetItemText(row, CFileList::kName),
        list.GetItemText(row, CFileList::kExtension));
}

CStringW RowPlannedFile(const CFileList& list, int row)
{
    const CStringW& planned = list.GetItemText(row, CFileList::kNewExtension);
    return JoinName(list.GetItemText(row, CFileList::kPath), list.GetItemText(row, CFileList::kNewName),
        planned.IsEmpty() ? list.GetItemText(row, CFileList::kExtension) : planned);
}

int CRenameBatch::CountPlanned(const CFileList& list)
{
    int planned = 0;
    for (int row = 0; row < list.GetItemCount(); ++row)
        if (list.GetCheck(row) && RowFile(list, row) != RowPlannedFile(list, row))
            ++planned;
    return planned;
}

void CRenameBatch::Forget()
{
    m_moves.clear();
    m_bySource.clear();
    m_byTarget.clear();
    m_steps.clear();
}

SBatchReport CRenameBatch::Apply(CFileList& list, CProgress* progress)
{
    Forget();
    SBatchReport report;
    if (!_Plan(list, report) || !_FindConflicts(report)) {
        m_moves.clear();
        return report;
    }
    _Run(progress);
    SBatchReport outcome = _Report(list);
    outcome.nFailed += report.nFailed; // rows whose file was gone
    outcome.strDetails = report.strDetails + outcome.strDetails;
    return outcome;
}

// The moves of the checked rows. Rows whose file is gone are reported and
// left out; a bad planned name stops the batch (false).
bool CRenameBatch::_Plan(const CFileList& list, SBatchReport& report)
{
    bool fine = true;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        if (!list.GetCheck(row))
            continue;
        SMove move;
        move.nRow = row;
        move.strFrom = RowFile(list, row);
        move.strTo = RowPlannedFile(list, row);
        if (move.strFrom == move.strTo)
            continue; // nothing to change: not part of the batch
        const CStringW bad = BadNameReason(list, row);
        if (!bad.IsEmpty()) {
            report.Fail(move.strFrom, bad);
            fine = false;
        } else if (!Identity(move.strFrom, move.device, move.inode)) {
            report.Fail(move.strFrom, L"파일이 없습니다.");
        } else {
            move.strAt = move.strFrom;
            m_moves.push_back(move);
        }
    }
    if (!fine)
        for (const SMove& move : m_moves)
            report.Skip(move.strFrom, L"다른 행의 문제로 이름을 바꾸지 않았습니다.");
    return fine;
}

// Two rows to one name, one file in two rows, or a name that a file outside
// the batch holds: every such row is reported and nothing moves (false).
bool CRenameBatch::_FindConflicts(SBatchReport& report)
{
    std::map<std::wstring, std::vector<size_t>> targets, sources;
    for (size_t i = 0; i < m_moves.size(); ++i) {
        targets[m_moves[i].strTo.str()].push_back(i);
        sources[m_moves[i].strFrom.str()].push_back(i);
    }
    std::vector<CStringW> reasons(m_moves.size());
    for (const auto* rows : { &targets, &sources })
        for (const auto& [name, moves] : *rows) {
            if (moves.size() < 2)
                continue;
            CStringW rowList;
            for (size_t i : moves)
                rowList.AppendFormat(L"%ls행 %d", rowList.IsEmpty() ? L"" : L", ", m_moves[i].nRow + 1);
            for (size_t i : moves)
                reasons[i].Format(rows == &targets ? L"%ls이(가) 같은 이름으로 바뀝니다: %ls" : L"%ls이(가) 같은 파일입니다: %ls",
                    rowList.GetString(), name.c_str());
        }
    for (size_t i = 0; i < m_moves.size(); ++i) {
        const SMove& move = m_moves[i];
        unsigned long long device = 0, inode = 0;
        const bool held = Identity(move.strTo, device, inode) && sources.count(move.strTo.str()) == 0
            && !(device == move.device && inode == move.inode); // the same file under another spelling
        if (held && reasons[i].IsEmpty())
            reasons[i] = L"그 이름의 파일이 이미 있습니다: " + move.strTo;
    }
    bool conflict = false;
    for (const CStringW& reason : reasons)
        conflict = conflict || !reason.IsEmpty();
    for (size_t i = 0; conflict && i < m_moves.size(); ++i) {
        if (reasons[i].IsEmpty())
            report.Skip(m_moves[i].strFrom, L"다른 행의 충돌로 이름을 바꾸지 않았습니다.");
        else
            report.Fail(m_moves[i].strFrom, reasons[i]);
    }
    return !conflict;
}

void CRenameBatch::_Run(CProgress* progress)
{
    for (size_t i = 0; i < m_moves.size(); ++i) {
        m_bySource[m_moves[i].strFrom.str()] = i;
        m_byTarget[m_moves[i].strTo.str()] = i;
    }
    for (size_t i = 0; i < m_moves.size(); ++i) {
        if (m_moves[i].bTried)
            continue;
        if (progress && !progress->Step(i, m_moves.size())) {
            for (size_t rest = i; rest < m_moves.size(); ++rest)
                m_moves[rest].bCancelled = !m_moves[rest].bTried;
            return;
        }
        _RunComponent(i);
    }
}

int CRenameBatch::_MoveFrom(const CStringW& path) const
{
    const auto found = m_bySource.find(path.str());
    return found == m_bySource.end() ? -1 : static_cast<int>(found->second);
}

int CRenameBatch::_MoveTo(const CStringW& path) const
{
    const auto found = m_byTarget.find(path.str());
    return found == m_byTarget.end() ? -1 : static_cast<int>(found->second);
}

// The chain or cycle that `first` belongs to. A chain runs from the move
// whose target is free back to its start; a cycle first parks one file
// under a temporary name, which frees the name its predecessor wants.
void CRenameBatch::_RunComponent(size_t first)
{
    size_t end = first;
    bool cycle = false;
    for (int next; (next = _MoveFrom(m_moves[end].strTo)) >= 0; end = static_cast<size_t>(next))
        if (static_cast<size_t>(next) == first) {
            cycle = true;
            break;
        }
    int at = static_cast<int>(end);
    bool blocked = false;
    if (cycle) {
        blocked = !_Park(first); // its reason is then the move's
        at = _MoveTo(m_moves[first].strFrom);
    }
    for (; at >= 0 && !m_moves[at].bTried; at = _MoveTo(m_moves[at].strFrom)) {
        SMove& move = m_moves[at];
        move.bTried = true;
        if (blocked) {
            if (move.strReason.IsEmpty())
                move.strReason = L"바꿀 이름이 비지 않았습니다: " + move.strTo;
        } else if (!_Step(static_cast<size_t>(at), move.strTo)) {
            blocked = true; // the moves before it wait for this name
        }
    }
    // A parked file whose cycle broke goes back to its old name if it can.
    SMove& parked = m_moves[first];
    if (cycle && parked.strAt != parked.strTo && parked.strAt != parked.strFrom) {
        const CStringW why = parked.strReason;
        const bool back = _Step(first, parked.strFrom);
        parked.strReason = back ? why : why + L" (임시 이름에 남았습니다)";
    }
}

// Moves the file of `move` to a hidden name of its own folder.
bool CRenameBatch::_Park(size_t move)
{
    SMove& parked = m_moves[move];
    const int slash = parked.strFrom.ReverseFind(L'/');
    const CStringW folder = parked.strFrom.Left(slash + 1);
    const CStringW name = parked.strFrom.Mid(slash + 1);
    for (int number = 1; number < 100; ++number) {
        CStringW temporary;
        temporary.Format(L"%ls.%ls.kel~%d", folder.GetString(), name.GetString(), number);
        if (_Step(move, temporary))
            return true;
        if (errno != EEXIST)
            break;
        parked.strReason.Empty();
    }
    return false;
}

// One rename that never replaces; it is recorded when it happened.
bool CRenameBatch::_Step(size_t move, const CStringW& to)
{
    SMove& moved = m_moves[move];
    if (!kel::platform::RenameNoReplace(NarrowPath(moved.strAt), NarrowPath(to))) {
        const int error = errno;
        moved.strReason = error == EEXIST ? L"그 이름의 파일이 생겼습니다: " + to : ErrorText(error);
        errno = error;
        return false;
    }
    m_steps.push_back({ move, moved.strAt, to });
    moved.strAt = to;
    return true;
}

// Whether the file of `move` is the one that has the name `path` now.
bool CRenameBatch::_IsAt(const SMove& move, const CStringW& path) const
{
    unsigned long long device = 0, inode = 0;
    return Identity(path, device, inode) && device == move.device && inode == move.inode;
}

SBatchReport CRenameBatch::_Report(CFileList& list) const
{
    SBatchReport report;
    for (const SMove& move : m_moves) {
        if (move.bCancelled) {
            report.Skip(move.strFrom, L"취소했습니다.");
            continue;
        }
        if (move.strAt != move.strFrom)
            ShowFileInRow(list, move.nRow, move.strAt);
        if (move.strAt == move.strTo && _IsAt(move, move.strTo)) {
            ++report.nDone;
            continue;
        }
        CStringW reason = move.strReason.IsEmpty() ? CStringW(L"이름이 바뀌지 않았습니다.") : move.strReason;
        if (move.strAt != move.strFrom)
            reason += L" (지금 이름: " + move.strAt + L")";
        report.Fail(move.strFrom, reason);
    }
    return report;
}

SBatchReport CRenameBatch::Undo(CFileList& list)
{
    std::vector<bool> touched(m_moves.size(), false);
    std::vector<CStringW> reasons(m_moves.size());
    std::vector<SStep> left;
    for (auto step = m_steps.rbegin(); step != m_steps.rend(); ++step) {
        SMove& move = m_moves[step->nMove];
        touched[step->nMove] = true;
        CStringW& reason = reasons[step->nMove];
        if (move.strAt != step->strTo || !_IsAt(move, step->strTo)) {
            if (reason.IsEmpty())
                reason = L"파일이 " + step->strTo + L"에 없습니다.";
        } else if (!kel::platform::RenameNoReplace(NarrowPath(step->strTo), NarrowPath(step->strFrom))) {
            if (reason.IsEmpty())
                reason = errno == EEXIST ? L"그 이름의 파일이 생겼습니다: " + step->strFrom : ErrorText(errno);
        } else {
            move.strAt = step->strFrom;
            continue;
        }
        left.insert(left.begin(), *step); // kept, in order, for another try
    }
    m_steps = left;
    SBatchReport report;
    for (size_t i = 0; i < m_moves.size(); ++i) {
        if (!touched[i])
            continue;
        const SMove& move = m_moves[i];
        ShowFileInRow(list, move.nRow, move.strAt);
        if (move.strAt == move.strFrom && _IsAt(move, move.strFrom))
            ++report.nDone;
        else
            report.Fail(move.strAt, reasons[i].IsEmpty() ? CStringW(L"되돌리지 못했습니다.") : reasons[i]);
    }
    return report;
}

} // namespace kel::bench
