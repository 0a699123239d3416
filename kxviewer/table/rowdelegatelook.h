// What the delegates of the small two-column tables (the Outline, the
// colour-scheme table) share: a selected row keeps its background colour
// and is marked by a thin black frame instead of the style's highlight.
#pragma once

#include <QColor>
#include <QPen>

class QBrush;
class QModelIndex;
class QPainter;
class QRect;

namespace RowDelegateLook {

// Pixels between a line's text and its left edge.
constexpr int TEXT_MARGIN = 4;

// The translucent light grey of the column separators.
const QColor& GridColor();
// Black, 1 pixel, solid, square caps, miter joins.
QPen SelectionPen();

// Fills the cell with the index's background brush, or with base: the
// row panel under it holds the style's selection highlight.
void FillBackground(QPainter* painter, const QRect& cell, const QModelIndex& index, const QBrush& base);
// Lines along the top and the bottom, and one upright line: near the left
// edge in the first column, at the right edge in the others, so that a
// selected row reads as one frame.
void PaintSelectionFrame(QPainter* painter, const QRect& cell, int column);

} // namespace RowDelegateLook
