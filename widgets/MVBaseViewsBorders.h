#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

class QWidget;

// A thin border line on a view. Main thread only.
namespace MVBaseViewsBorders {

// Adds a strip of `width` x 1 along the bottom edge of the view, in `color` with a border of
// `borderWidth`. The strip is a child widget and stays along the bottom edge when the view
// resizes; `width` 0 or less spans the whole view. Returns false for a null view.
bool addBorderTo(QWidget* view, bool bottom, bool right, const QColor& color, double borderWidth,
                 double width);

// The strip along the right edge (right set) or the far horizontal edge (right not set) of
// `frame`, as its origin and size; `bottom` is not read.
QPointF findOriginWithBottom(const QRectF& frame, bool bottom, bool right, double borderWidth);
QSizeF findSizeWithBottom(const QRectF& frame, bool bottom, bool right, double borderWidth);

}  // namespace MVBaseViewsBorders
