// The view's find: the pattern, searching in slices between events, and
// stepping to the next or previous match.
#include "KelWatchView.h"

#include <chrono>

namespace {

// The longest a slice of a search keeps the window from its events.
constexpr std::chrono::milliseconds kFindSlice(30);

} // namespace

void CKelWatchView::Find(const QString& pattern, bool regularExpression, bool caseSensitive)
{
    m_nCurrentMatch.reset();
    m_waitingFind = EFind::None;
    m_findTimer.stop();
    if (m_finder.SetPattern(pattern.toStdString(), regularExpression, caseSensitive)) {
        SetFollowing(false);
        // From the selection's start, so that typing on keeps the same match.
        _StartFind(EFind::Forward, m_selection.Start());
        return;
    }
    viewport()->update();
    emit findChanged();
}

void CKelWatchView::FindNext()
{
    if (!m_finder.IsActive())
        return;
    SetFollowing(false);
    STextPosition from = m_selection.Caret();
    if (const std::optional<CLineFinder::SMatch> match = _CurrentMatch(); match && _IsSelected(*match))
        from = {match->line, LineColumn(match->begin.Get() + 1)};
    _StartFind(EFind::Forward, from);
}

void CKelWatchView::FindPrevious()
{
    if (!m_finder.IsActive())
        return;
    SetFollowing(false);
    _StartFind(EFind::Backward, m_selection.Start());
}

void CKelWatchView::ClearFind()
{
    m_finder.Clear();
    m_findTimer.stop();
    m_waitingFind = EFind::None;
    m_nCurrentMatch.reset();
    viewport()->update();
    emit findChanged();
}

void CKelWatchView::_StartFind(EFind direction, STextPosition from)
{
    m_waitingFind = direction;
    m_findFrom = from;
    _SearchSlice();
}

void CKelWatchView::_SearchSlice()
{
    const bool done = m_finder.Search(m_lines, kFindSlice);
    if (m_waitingFind != EFind::None && _TryGoToMatch())
        m_waitingFind = EFind::None;
    if (done)
        m_findTimer.stop();
    else if (!m_findTimer.isActive())
        m_findTimer.start(0, this);
    viewport()->update();
    emit findChanged();
}

// Goes to the match the pending step asks for, once the search has got far
// enough to know it; round to the other end when there is none that way.
bool CKelWatchView::_TryGoToMatch()
{
    const bool done = m_finder.IsDone(m_lines);
    const size_t count = m_finder.MatchCount();
    std::optional<size_t> target;
    if (m_waitingFind == EFind::Forward) {
        target = m_finder.NextFrom(m_lines, m_findFrom);
        if (!target && !done)
            return false;
    } else {
        // Matches before the position are all known once the search is past it.
        if (m_finder.SearchedLines() <= m_findFrom.line.Get() && !done)
            return false;
        target = m_finder.PreviousFrom(m_lines, m_findFrom);
        if (!target && !done)
            return false;
    }
    if (!target && count > 0)
        target = m_waitingFind == EFind::Forward ? 0 : count - 1;
    if (target)
        _GoToMatch(*target);
    return true;
}

void CKelWatchView::_GoToMatch(size_t index)
{
    m_nCurrentMatch = index;
    const CLineFinder::SMatch match = m_finder.MatchAt(m_lines, index);
    m_selection.ForgetCell();
    m_selection.MoveTo({match.line, match.end}, false);
    _EnsureCaretVisible();
    m_selection.MoveTo({match.line, match.begin}, false);
    _EnsureCaretVisible();
    m_selection.MoveTo({match.line, match.end}, true);
}

std::optional<CLineFinder::SMatch> CKelWatchView::_CurrentMatch() const
{
    if (!m_nCurrentMatch || *m_nCurrentMatch >= m_finder.MatchCount())
        return std::nullopt;
    return m_finder.MatchAt(m_lines, *m_nCurrentMatch);
}

bool CKelWatchView::_IsSelected(const CLineFinder::SMatch& match) const
{
    return m_selection.Start() == STextPosition{match.line, match.begin}
        && m_selection.End() == STextPosition{match.line, match.end};
}
