#pragma once

// CPageFiles: the fields and actions of the "Files" page: the search of a
// folder tree for files by extension, the list of what was found, its sort,
// and the batch operations that plan new names for the checked rows. No
// operation of the page renames or changes any file on disk: the planned
// names and extensions stay in the list.
#include "FileList.h"

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
    // "선택파일저장": reads the check marks and does nothing with them.
    void SaveSelected() const;

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

    CFileList m_list;
};
