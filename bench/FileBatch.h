#pragma once

// What the Files page does to the files on disk for the checked rows of its
// list: rename them to their planned names (and back again), and read or
// change their character set. Each file is one step; a file that fails is
// reported with its reason and the batch goes on.
#include "FileList.h"
#include "Progress.h"

#include <platform/StringW.h>

#include <vector>

namespace kelbench {

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
class CRenameBatch {
public:
    // Checked rows whose planned file differs from their file.
    static int CountPlanned(const CFileList& list);
    // Renames the file of every checked row to its planned name without
    // replacing anything (a taken name gets "name (2).ext", ...); renamed
    // rows then show their new names. Replaces the kept batch.
    SBatchReport Apply(CFileList& list, CProgress* progress);
    // Renames the last batch back and shows the old names; the batch is
    // then forgotten.
    SBatchReport Undo(CFileList& list);
    bool CanUndo() const { return !m_moves.empty(); }
    void Forget() { m_moves.clear(); }

private:
    struct SMove {
        int nRow;
        CStringW strFrom, strTo;
    };
    std::vector<SMove> m_moves;
};

// The encoding name of the file's first megabyte (as CKelFile names it);
// empty when the file cannot be read.
CStringW DetectCharset(const CStringW& path);

// Targets of "글자셋 변경".
enum CharsetTarget { kToUtf8 = 0, kToUtf8Mark = 1, kToCp949 = 2, kToUtf16LEMark = 3 };
extern const wchar_t* const kCharsetTargetNames[4];

// Converts the file to `target` through a temporary file renamed into
// place. Adds its outcome to `report`; returns the new encoding name when
// the file was converted, else empty.
CStringW ChangeCharset(const CStringW& path, int target, SBatchReport& report);

} // namespace kelbench
