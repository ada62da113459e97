#pragma once

// CGridPainter: draws a line of a view's UTF-8 text on the cell grid of a
// monospaced font, on screen or on paper. Only the cells asked for are
// drawn. Runs of characters that keep to the grid are drawn in one call; a
// character whose glyph would leave the grid (another font's fallback, a
// symbol) is drawn alone at its own cell, so the text never drifts from the
// caret and the selection. A carriage return inside a line is shown as the
// symbol U+240D; spaces, tabs and other control characters draw nothing.
#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QHash>

#include <cstdint>
#include <string_view>

class QPainter;
class QPaintDevice;

// A colour given as 0xRRGGBB.
inline QColor RgbColour(uint32_t rgb) { return QColor(static_cast<QRgb>(rgb)); }

class CGridPainter {
public:
    // The grid of `font` on `device` (the screen or a printer).
    CGridPainter(const QFont& font, QPaintDevice* device);

    qreal CellWidth() const { return m_cellWidth; }
    qreal LineHeight() const { return m_lineHeight; }

    // Draws the characters of `line` that lie in the cells [firstCell,
    // endCell) with the painter's pen; cell 0 is at x `left`, the row's top
    // at `top`.
    void DrawLine(QPainter& painter, std::string_view line, size_t firstCell, size_t endCell, qreal left,
                  qreal top) const;
    // A gutter for line numbers up to `largest`: their digits, a cell of
    // room, and `margin`.
    qreal GutterWidth(size_t largest, qreal margin) const;
    // Draws `number` with the painter's pen in a gutter of `width`, right
    // aligned a cell and `margin` from its right edge, on the row at `top`.
    void DrawLineNumber(QPainter& painter, size_t number, qreal width, qreal margin, qreal top) const;
    // The cells [fromCell, toCell) of `line` again, in other colours (a
    // match, a selection).
    void DrawCells(QPainter& painter, std::string_view line, size_t fromCell, size_t toCell, qreal left, qreal top,
                   const QColor& background, const QColor& foreground) const;

private:
    bool _KeepsToGrid(char32_t ch) const;

    QFontMetricsF m_metrics;
    qreal m_cellWidth;
    qreal m_lineHeight;
    qreal m_ascent;
    mutable QHash<char32_t, bool> m_keepsToGrid;
};
