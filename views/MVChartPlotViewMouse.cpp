// Mouse handling of the channel plot: cursor clicks and drags, the zoom box, panning and the
// wheel. Ctrl is read from each mouse event; the right button pans as well.
#include "views/MVChartPlotView.h"
#include "views/MVPlotKit.h"

#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

void MVChartPlotView::mousePressEvent(QMouseEvent* event) {
    press(event, false);
}

void MVChartPlotView::mouseDoubleClickEvent(QMouseEvent* event) {
    press(event, true);
}

void MVChartPlotView::press(QMouseEvent* event, bool doubleClick) {
    isDraggingCursor_ = false;
    pressWasDoubleClick_ = doubleClick;
    const QPointF at = event->position();
    if (isCmdKeyPressed_ || (event->modifiers() & Qt::ControlModifier) ||
        event->button() == Qt::RightButton) {
        panning_ = true;
        panStartX_ = at.x();
        panStartRange_ = xRange_;
        return;
    }
    recievedDownTapEvent_ = true;
    const double x = plotXForViewX(at.x());
    // The line the user sees: this plot's own cursor, else the last click anywhere.
    const double line = cursorShown_ ? cursorX_ : shared_.sync->graphXSelection();
    if (MVPlotKit::rangeContains(xRange_, x) && std::abs(line - x) < 0.01 * xRange_.length) {
        isDraggingCursor_ = true;
    } else if (!zoomActive_ && plotArea().contains(at)) {
        zoomActive_ = true;
        dragStart_ = QPointF(at.x(), plotArea().top());
        dragEndForXZoomOnly_ = QPointF(at.x(), plotArea().bottom());
        zoomRect_ = QRectF();
    }
}

void MVChartPlotView::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    if (panning_) {
        if (width() <= 0) return;
        const double dx = (at.x() - panStartX_) / width() * panStartRange_.length;
        applyXRange({panStartRange_.location - dx, panStartRange_.length}, true);
        return;
    }
    if (zoomActive_) {
        if (xRange_.length < 50 && at.x() > dragStart_.x()) return;
        zoomRect_ = QRectF(dragStart_, QPointF(at.x(), dragEndForXZoomOnly_.y()))
                        .normalized()
                        .intersected(plotArea());
        update();
        return;
    }
    if (isDraggingCursor_) release(at, true);
}

void MVChartPlotView::mouseReleaseEvent(QMouseEvent* event) {
    if (panning_) {
        panning_ = false;
        return;
    }
    release(event->position(), false);
}

void MVChartPlotView::release(const QPointF& at, bool keepFlags) {
    // The drag length and the 1 % threshold, both in x units.
    const double dragged =
        width() > 0 ? std::abs(at.x() - dragStart_.x()) / width() * xRange_.length : 0.0;
    if (zoomActive_ && dragged > 0.01 * xRange_.length) {
        dragEnd_ = at;
        if (!pressWasDoubleClick_ && dragStart_.x() != dragEnd_.x()) {
            if (dragEnd_.x() > dragStart_.x()) {
                if (xRange_.length >= 50) zoomIn();
            } else {
                scaleToFit();
            }
        }
        clearZoomBox();
    } else if (recievedDownTapEvent_ || isDraggingCursor_) {
        clearZoomBox();
        const double x = plotXForViewX(at.x());
        if (MVPlotKit::rangeContains(xRange_, x)) {
            updateCurrentPosition(x);
            shared_.sync->setGraphXSelection(x);
        }
    }
    if (!keepFlags) {
        recievedDownTapEvent_ = false;
        isDraggingCursor_ = false;
    }
}

void MVChartPlotView::zoomIn() {
    const double a = plotXForViewX(dragStart_.x());
    const double b = plotXForViewX(dragEnd_.x());
    applyXRange({std::min(a, b), std::abs(b - a)}, true);
}

void MVChartPlotView::clearZoomBox() {
    if (zoomActive_) update();
    zoomActive_ = false;
    zoomRect_ = QRectF();
    dragStart_ = dragEnd_ = dragEndForXZoomOnly_ = QPointF();
}

// Scrolls the shared range by 4 % of its width; nothing while no range is published.
void MVChartPlotView::wheelEvent(QWheelEvent* event) {
    event->accept();
    const std::optional<MVPlotRange> range = shared_.sync->graphCurrentRange();
    const QPoint delta = event->angleDelta();
    const int d = delta.y() != 0 ? delta.y() : delta.x();
    if (!range || d == 0) return;
    const double step = 0.04 * range->length;
    shared_.sync->setGraphCurrentRange(
        MVPlotRange{d > 0 ? range->location + step : range->location - step, range->length});
}
