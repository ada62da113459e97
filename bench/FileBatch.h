#pragma once

// What the Files page does to the files on disk for the checked rows of its
// list: rename them to their planned names as one batch, and rename them
// back. The character set steps are in FileCharset.h.
#include "FileList.h"
#include "Progress.h"

#include <platform/StringW.h>

#include <map>
#include <string>
#include <vector>

namespace kel::bench {

// The outcome of a batch: counts, and a line for every file that was
// skipped or failed.
struct SBatchReport {
    int nDone = 0;
    int nSkipped = 0;
    int nFailed = 0;
    CStringW strDetails;

    void Skip(const CStringW& path, const CStringW& reason);
    void Fail(const CStringW& path, const CStringW& reason);
    // "<what> N, 건너뜀 N, 실패 N" and the detail lines.
    CStringW Text(const wchar_t* what) const;
};

// The file a row names (path column, name, extension) and the one its
// planned name and extension name. A planned extension loses its leading
// dots; an empty one keeps the current extension.
CStringW RowFile(const CFileList& list, int row);
CStringW RowPlannedFile(const CFileList& list, int row);

// One batch of renames, kept so that it can be undone.
//
// The batch is checked whole before anything moves: a planned name that is
// not a file name, two rows planned to one name, or a name held by a file
// outside the batch stops it, and the report names every row in conflict.
// A row whose file is gone is reported and left out. Renames never replace a
// file; chains (2 -> 3, 1 -> 2) run from their free end, and cycles (a swap)
// go through a hidden temporary name. Every rename done is recorded, and the
// undo runs the record backwards, so each file gets back exactly its old
// name. A report counts a row as done only when its file (the same file,
// not merely some file) has the name the row then shows.
class CRenameBatch {
public:
    // Checked rows whose planned file differs from their file.
    static int CountPlanned(const CFileList& list);
    // Renames the file of every checked row to its planned name; the rows
    // then show the names their files have. Replaces the kept batch. A
    // cancel stops before the next chain or cycle.
    SBatchReport Apply(CFileList& list, CProgress* progress);
    // Renames the last batch back and shows the old names. Renames that
    // cannot be undone now (a file took the old name meanwhile) are kept
    // for another try; none ever replaces a file.
    SBatchReport Undo(CFileList& list);
    bool CanUndo() const { return !m_steps.empty(); }
    void Forget();

private:
    struct SMove {
        int nRow = 0;
        CStringW strFrom, strTo;
        CStringW strAt;                          // where its file is now
        unsigned long long device = 0, inode = 0; // which file it is
        bool bTried = false, bCancelled = false;
        CStringW strReason;                      // why it failed
    };
    struct SStep {
        size_t nMove;
        CStringW strFrom, strTo;
    };

    bool _Plan(const CFileList& list, SBatchReport& report);
    bool _FindConflicts(SBatchReport& report);
    void _Run(CProgress* progress);
    void _RunComponent(size_t first);
    bool _Park(size_t move);
    bool _Step(size_t move, const CStringW& to);
    int _MoveFrom(const CStringW& path) const;
    int _MoveTo(const CStringW& path) const;
    bool _IsAt(const SMove& move, const CStringW& path) const;
    SBatchReport _Report(CFileList& list) const;

    std::vector<SMove> m_moves;               // of the last batch, in row order
    std::map<std::wstring, size_t> m_bySource, m_byTarget;
    std::vector<SStep> m_steps;               // renames done, in order
};

} // namespace kel::bench
