#include "FileList.h"

#include <algorithm>

int CFileList::InsertItem(int index)
{
    index = std::clamp(index, 0, GetItemCount());
    m_rows.insert(m_rows.begin() + index, SFileRow());
    return index;
}
