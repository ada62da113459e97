#pragma once

// Scrolling a list of rows whose vertical scroll bar counts rows: the view
// and the filter pane both show one line per row.
#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <cstddef>

// Scrolls `bar` (its value is the first row shown) the least that brings
// `row` into the `visible` rows; a row already shown stays where it is.
inline void ScrollRowIntoView(QScrollBar* bar, size_t row, size_t visible)
{
    const size_t first = static_cast<size_t>(bar->value());
    if (row < first)
        bar->setValue(static_cast<int>(std::min<size_t>(row, INT_MAX)));
    else if (row >= first + visible)
        bar->setValue(static_cast<int>(std::min<size_t>(row - visible + 1, INT_MAX)));
}
