#include "GridPainter.h"

#include <string>

#include "TextCells.h"

#include <QPainter>

#include <cmath>

namespace {

constexpr char16_t kCarriageReturnSymbol = u'\u240D';

QString CharacterText(char32_t ch)
{
    return QString::fromUcs4(&ch, 1);
}

} // namespace

CGridPainter::CGridPainter(const QFont& font, QPaintDevice* device)
    : m_metrics(font, device), m_cellWidth(m_metrics.horizontalAdvance(QLatin1Char('M'))),
      m_lineHeight(std::ceil(m_metrics.lineSpacing())), m_ascent(m_metrics.ascent())
{
}

// A character keeps to the grid when its glyph is as wide as its cells.
bool CGridPainter::_KeepsToGrid(char32_t ch) const
{
    if (ch >= 0x20 && ch < 0x7F)
        return true;
    const auto found = m_keepsToGrid.constFind(ch);
    if (found != m_keepsToGrid.constEnd())
        return *found;
    const qreal cells = kel::watch::IsWide(ch) ? 2 : 1;
    const bool keeps = std::abs(m_metrics.horizontalAdvance(CharacterText(ch)) - cells * m_cellWidth) < 0.01;
    m_keepsToGrid.insert(ch, keeps);
    return keeps;
}

void CGridPainter::DrawLine(QPainter& painter, std::string_view line, size_t firstCell, size_t endCell, qreal left,
                            qreal top) const
{
    const qreal baseline = top + m_ascent;
    QString run;
    size_t runCell = 0;
    auto flush = [&] {
        if (!run.isEmpty())
            painter.drawText(QPointF(left + static_cast<qreal>(runCell) * m_cellWidth, baseline), run);
        run.clear();
    };
    size_t cells = 0;
    for (size_t at = 0; at < line.size() && cells < endCell;) {
        const char32_t ch = kel::watch::DecodeCharacter(line, at);
        const size_t start = cells;
        cells = kel::watch::AdvanceCells(cells, ch);
        if (cells <= firstCell)
            continue;
        if (ch == U' ') {
            flush(); // a space glyph is not drawn: some fonts lose it in a PDF's text
            continue;
        }
        if (ch < 0x20 || ch == 0x7F || !_KeepsToGrid(ch)) {
            flush();
            if (ch == U'\r' || ch >= 0x20)
                painter.drawText(QPointF(left + static_cast<qreal>(start) * m_cellWidth, baseline),
                                 ch == U'\r' ? QString(QChar(kCarriageReturnSymbol)) : CharacterText(ch));
            continue;
        }
        if (run.isEmpty())
            runCell = start;
        if (ch > 0xFFFF) {
            run.append(QChar(QChar::highSurrogate(ch)));
            run.append(QChar(QChar::lowSurrogate(ch)));
        } else {
            run.append(QChar(static_cast<char16_t>(ch)));
        }
    }
    flush();
}

void CGridPainter::DrawCells(QPainter& painter, std::string_view line, size_t fromCell, size_t toCell, qreal left,
                             qreal top, const QColor& background, const QColor& foreground) const
{
    const QRectF area(left + static_cast<qreal>(fromCell) * m_cellWidth, top,
                      static_cast<qreal>(toCell - fromCell) * m_cellWidth, m_lineHeight);
    painter.save();
    painter.setClipRect(area);
    painter.fillRect(area, background);
    painter.setPen(foreground);
    DrawLine(painter, line, fromCell, toCell, left, top);
    painter.restore();
}

qreal CGridPainter::GutterWidth(size_t largest, qreal margin) const
{
    return static_cast<qreal>(std::to_string(largest).size() + 1) * m_cellWidth + margin;
}

void CGridPainter::DrawLineNumber(QPainter& painter, size_t number, qreal width, qreal margin, qreal top) const
{
    const std::string digits = std::to_string(number);
    const qreal left = width - margin - static_cast<qreal>(digits.size() + 1) * m_cellWidth;
    DrawLine(painter, digits, 0, digits.size(), left, top);
}
