// The sector strip's gestures: press on the sectors, drag right to choose a stretch ("Zoom In"),
// drag left to reset ("Default Zoom", "Best Fit"), release to publish; a press and release
// without a drag selects the sector (or lap) under the pointer.
#include "views/MVChartSectorView.h"

#include "widgets/MVTextField.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kSnapDistance = 30.0;
constexpr double kMinimumZoomSeconds = 5.0;
}  // namespace

double MVChartSectorView::snapped(double x, double except, bool useExcept) const {
    for (double r : rates_) {
        const double boundary = containerFrame_.x() + r * containerFrame_.width();
        if (std::abs(x - boundary) < kSnapDistance && !(useExcept && boundary == except)) {
            return boundary;
        }
    }
    return x;
}

void MVChartSectorView::mousePressEvent(QMouseEvent* event) {
    resetToFull_.setWithoutNotifying(false);
    resetToDefault_.setWithoutNotifying(false);
    pressDownPoint_ = releaseUpPoint_ = QPointF();
    dragged_ = false;
    const QPointF p = event->position();
    const QRectF& c = containerFrame_;
    if (!(c.width() > 0.0) || p.x() < c.left() || p.x() > c.right() || p.y() < c.top() ||
        p.y() > c.top() + std::max(c.height(), static_cast<double>(height()))) {
        return;
    }
    isClickedInZone_ = true;
    pressDownPoint_ = QPointF(snapped(p.x(), 0.0, false), p.y());
}

void MVChartSectorView::mouseMoveEvent(QMouseEvent* event) {
    if (!isClickedInZone_) return;
    QPointF p = event->position();
    const QRectF& c = containerFrame_;
    if (p.x() < c.left() || p.x() > c.right()) return;
    const double press = pressDownPoint_.x();
    const int h = height();
    if (p.x() >= press) {
        p.setX(snapped(p.x(), press, true));
        const double w = p.x() - press;
        box_->setGeometry(static_cast<int>(press), 0, static_cast<int>(std::lround(w)), h);
        zoomText_->setText(w < 100 ? QString() : QStringLiteral("Zoom In"));
        resetToFull_.setWithoutNotifying(false);
        resetToDefault_.setWithoutNotifying(false);
    } else {
        const double d = press - p.x();
        box_->setGeometry(static_cast<int>(p.x()), 0, static_cast<int>(std::lround(d)), h);
        const bool full = d > 250;
        const bool byDefault = d > 100 && !full;
        zoomText_->setText(full        ? QStringLiteral("Best Fit")
                           : byDefault ? QStringLiteral("Default Zoom")
                                       : QString());
        resetToFull_.setWithoutNotifying(full);
        resetToDefault_.setWithoutNotifying(byDefault);
    }
    placeZoomText();
    box_->raise();
    releaseUpPoint_ = p;
    dragged_ = true;
}

void MVChartSectorView::mouseReleaseEvent(QMouseEvent* event) {
    if (!isClickedInZone_) return;
    if (dragged_) {
        const bool full = resetToFull_.get();
        const bool byDefault = resetToDefault_.get();
        const QString label = zoomText_->text();
        if (full && !byDefault && label == QStringLiteral("Best Fit")) {
            setResetToFull(true);
        } else if (byDefault && !full && label == QStringLiteral("Default Zoom")) {
            setResetToDefault(true);
        } else if (!full && !byDefault && label == QStringLiteral("Zoom In")) {
            publishDrag();
        }
    } else {
        publishClick(event->position().x());
    }
    closeGesture();
}

void MVChartSectorView::closeGesture() {
    isClickedInZone_ = false;
    dragged_ = false;
    box_->setGeometry(0, 0, 0, 0);
    zoomText_->setText(QString());
    placeZoomText();
}

// A stretch of at least 5 s of lap time, on the clock of the lap's sector boundaries.
void MVChartSectorView::publishDrag() {
    if (!lap_ || lap_->sectors()->count() < 2 || !(containerFrame_.width() > 0.0)) return;
    const std::vector<double>& b = lap_->sectors()->values();
    const double lo = std::min(pressDownPoint_.x(), releaseUpPoint_.x());
    const double hi = std::max(pressDownPoint_.x(), releaseUpPoint_.x());
    const double span = b.back() - b.front();
    const double t0 = (lo - containerFrame_.x()) * span / containerFrame_.width();
    const double t1 = (hi - containerFrame_.x()) * span / containerFrame_.width();
    if (t1 - t0 < kMinimumZoomSeconds) return;
    setArrayOfStartAndEndTimestamp({b.front() + t0, b.front() + t1, false});
}

// The sector under x (past the end, the last one); on the whole-session strip every stretch
// between the first and the last boundary pair is a lap.
void MVChartSectorView::publishClick(double x) {
    if (!lap_ || lap_->sectors()->count() < 2 || !(containerFrame_.width() > 0.0)) return;
    const std::vector<double>& b = lap_->sectors()->values();
    const std::size_t count = b.size();
    const double t =
        b.front() + (x - containerFrame_.x()) * (b.back() - b.front()) / containerFrame_.width();
    MVSectorSelection selection;
    bool found = false;
    for (std::size_t i = 0; i + 1 < count; ++i) {
        if (b[i] > t) continue;
        selection = {b[i], b[i + 1], i != 0 && i != count - 2};
        found = true;
    }
    if (!found || !(selection.end > selection.start)) return;
    setArrayOfStartAndEndTimestamp(selection);
}
