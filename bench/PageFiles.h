#pragma once

// CPageFiles: the fields and actions of the "Files" page: the search of a
// folder tree for files by extension, the list of what was found, its sort,
// the batch operations that plan new names for the checked rows, and the
// ones that act on the checked files: renaming them to their planned names
// (with one undo), reading and changing their character set. Results and
// questions go through the message box hook.
#include "FileBatch.h"
#include "FileCharset.h"
#include "FileList.h"
#include "Progress.h"

#include <platform/StringW.h>

class CPageFiles {
public:
    CStringW m_strFolder;                                     // read-only box, filled by the chooser
    CStringW m_strExtensions = L"log,txt,java,c,h,cpp,logfile"; // "확장자 : "
    bool m_bSubFolders = false;                               // "하위폴더 검색"
    bool m_bHidden = false;                                   // "숨김 폴더 파일 검색"
    int m_nSortOrder = 1;                                     // 0 "오름차순으로", 1 "내림차순으로"
    bool m_bSelectAll = false;                                // "선택 / 취소"

    CFileList& List() { return m_list; }
    const CFileList& List() const { return m_list; }

    // "폴더 선택": the chooser's answer (empty when cancelled) becomes the
    // folder text; the widget then shows every field from its stored value.
    void FolderChosen(const CStringW& folder);
    // "검색 시작".
    void Search();
    // "정렬".
    void Sort();
    // "선택 / 취소": `boxChecked` is the box's state after the click.
    void SelectAll(bool boxChecked);
    // "선택파일저장": after the user confirms how many files will change,
    // renames every checked row's file to its planned name and extension as
    // one batch (kel::bench::CRenameBatch: checked whole first, nothing
    // replaced), then shows what was renamed, skipped or failed. Rows whose
    // name does not change are left out.
    void SaveSelected();
    // "되돌리기": renames the last batch back, in reverse order.
    void UndoSave();
    bool CanUndo() const { return m_renames.CanUndo(); }
    // "글자셋 확인": the "글자셋" column of the checked rows gets each file's
    // detected encoding.
    void CheckCharsets();
    // "글자셋 변경" to a kel::bench::CharsetTarget, after its dialog (see
    // kel::bench::ChangeCharset for what is refused and what is kept).
    void ChangeCharsets(int target);

    // Told of the progress of the file actions; none by default.
    kel::bench::CProgress* m_pProgress = nullptr;

    // The name operations, on every checked row from the top.
    enum TextPosition { kBeforeName = 0, kAfterName = 1 };
    void AddText(const CStringW& text, int position); // "문자열 붙이기"
    void RemoveText(const CStringW& text);            // "문자열 지우기"
    void ClearNames();                                // "문자열 전체삭제"
    void SetExtension(const CStringW& text);          // "확장자 변경"
    void AppendNumbers();                             // "숫자 추가"
    void PadToCommonLength();                         // "숫자자릿수맞추기"

private:
    template <typename Change>
    void _ForEachChecked(Change change);
    // Reports the row reached; raises kel::bench::SCancelled on a cancel.
    void _ReportRow(int row) const;

    CFileList m_list;
    kel::bench::CRenameBatch m_renames;
};
