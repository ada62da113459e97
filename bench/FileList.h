#pragma once

// CFileList: the rows of the Files page's list, the page's only store of
// results: seven text columns and a check mark per row. Rows are inserted at
// the top as often as at the end, so they live in a deque.
#include <platform/StringW.h>

#include <array>
#include <deque>

struct SFileRow {
    std::array<CStringW, 7> columns;
    bool bChecked = false;
};

class CFileList {
public:
    // Columns of a row.
    enum Column {
        kCheck = 0,          // ""  (the check box)
        kCharset = 1,        // "글자셋"
        kName = 2,           // "파일명"
        kNewName = 3,        // "변경할 파일명"
        kExtension = 4,      // "확장자"
        kNewExtension = 5,   // "변경할 확장자"
        kPath = 6,           // "경로"
    };
    static constexpr int kColumnCount = kPath + 1;

    int GetItemCount() const { return static_cast<int>(m_rows.size()); }
    // A new empty, unchecked row at `index` (0 is the top); returns its index.
    int InsertItem(int index);
    void DeleteAllItems() { m_rows.clear(); }
    const CStringW& GetItemText(int row, int column) const { return m_rows.at(row).columns.at(column); }
    void SetItemText(int row, int column, const CStringW& text) { m_rows.at(row).columns.at(column) = text; }
    bool GetCheck(int row) const { return m_rows.at(row).bChecked; }
    void SetCheck(int row, bool checked) { m_rows.at(row).bChecked = checked; }

private:
    std::deque<SFileRow> m_rows;
};
