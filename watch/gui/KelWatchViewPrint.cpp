// The view's text saved to a file, and printed.
#include "KelWatchView.h"

#include "GridPainter.h"
#include "TextCells.h"

#include <QPainter>
#include <QPrinter>
#include <QSaveFile>

#include <algorithm>
#include <string_view>
#include <vector>

// Written beside the file and renamed over it once whole and on disk, so a
// failed save (a full disk, a crash) leaves the file as it was; its mode stays.
bool CKelWatchView::SaveText(const QString& path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    bool written = true;
    m_lines.VisitText({}, m_lines.End(), "\r\n", [&](std::string_view piece) {
        written = written && file.write(piece.data(), static_cast<qint64>(piece.size())) == static_cast<qint64>(piece.size());
    });
    return written && file.commit(); // not committed: the temporary file goes
}

namespace {

// Where each printed row of a line starts, in cells: a row takes at most
// `cellsPerRow` cells and breaks before the character that would not fit.
std::vector<size_t> WrapLine(std::string_view line, size_t cellsPerRow)
{
    std::vector<size_t> starts{0};
    size_t cells = 0;
    for (size_t at = 0; at < line.size();) {
        const size_t next = kel::watch::AdvanceCells(cells, kel::watch::DecodeCharacter(line, at));
        if (next - starts.back() > cellsPerRow && cells > starts.back())
            starts.push_back(cells);
        cells = next;
    }
    return starts;
}

} // namespace

size_t CKelWatchView::MinimumPageCount(QPrinter* printer) const
{
    const CGridPainter grid(DisplayFont(), printer);
    const size_t rowsPerPage = std::max<size_t>(1, static_cast<size_t>(printer->height() / grid.LineHeight()));
    size_t lines = m_lines.LineCount();
    if (printer->printRange() == QPrinter::Selection && !m_selection.IsEmpty())
        lines = m_selection.End().line.Get() - m_selection.Start().line.Get() + 1;
    return (lines + rowsPerPage - 1) / rowsPerPage;
}

void CKelWatchView::PrintTo(QPrinter* printer) const
{
    QPainter painter(printer);
    if (!painter.isActive())
        return;
    // A point size, not the screen's pixel size: 9 points on any printer.
    const QFont font = DisplayFont();
    painter.setFont(font);
    painter.setPen(Qt::black);
    const CGridPainter grid(font, printer);
    const size_t cellsPerRow = std::max<size_t>(1, static_cast<size_t>(printer->width() / grid.CellWidth()));
    const size_t rowsPerPage = std::max<size_t>(1, static_cast<size_t>(printer->height() / grid.LineHeight()));

    STextPosition from{};
    STextPosition to = m_lines.End();
    if (printer->printRange() == QPrinter::Selection && !m_selection.IsEmpty()) {
        from = m_selection.Start();
        to = m_selection.End();
    }
    const int firstPage = printer->fromPage();
    const int lastPage = printer->toPage();
    auto inRange = [&](int page) { return firstPage == 0 || (page >= firstPage && page <= lastPage); };

    int page = 1;
    size_t row = 0;
    bool printedAPage = false;
    for (size_t index = from.line.Get(); index <= to.line.Get() && index < m_lines.LineCount(); ++index) {
        std::string_view text = m_lines.Line(LineNumber(index));
        if (index == to.line.Get())
            text = text.substr(0, to.column.Get());
        if (index == from.line.Get())
            text = text.substr(std::min(from.column.Get(), text.size()));
        const std::vector<size_t> starts = WrapLine(text, cellsPerRow);
        // A line goes whole onto the next page when it fits there.
        if (row + starts.size() > rowsPerPage && starts.size() <= rowsPerPage && row > 0) {
            ++page;
            row = 0;
        }
        for (size_t piece = 0; piece < starts.size(); ++piece, ++row) {
            if (row == rowsPerPage) {
                ++page;
                row = 0;
            }
            if (lastPage != 0 && page > lastPage)
                return;
            if (!inRange(page))
                continue;
            if (row == 0 && printedAPage)
                printer->newPage();
            printedAPage = true;
            const size_t end = piece + 1 < starts.size() ? starts[piece + 1] : SIZE_MAX;
            const qreal left = -static_cast<qreal>(starts[piece]) * grid.CellWidth();
            grid.DrawLine(painter, text, starts[piece], end, left, static_cast<qreal>(row) * grid.LineHeight());
        }
    }
}
