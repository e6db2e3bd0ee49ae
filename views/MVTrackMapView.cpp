#include "views/MVTrackMapView.h"

#include "views/MVTrackMapLayers.h"

#include "widgets/MVHelperColors.h"

#include "session/MVGLDFileManager.h"

#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>

#include <chrono>
#include <cmath>

MVTrackMapView::MVTrackMapView(MVMapPtr bestMap, MVMapPtr wholeMap,
                               std::vector<MV2DSegmentPtr> border, std::vector<MVLapPtr> laps,
                               MVGLDFileManager& manager, QWidget* parent)
    : QWidget(parent),
      bestMap_(std::move(bestMap)),
      wholeMap_(std::move(wholeMap)),
      border_(std::move(border)),
      laps_(std::move(laps)),
      manager_(manager) {
    setObjectName(QStringLiteral("trackMapView"));
    setAttribute(Qt::WA_AcceptTouchEvents);
    setMouseTracking(false);
    setCursor(Qt::ArrowCursor);
    if (wholeMap_) {
        viewport_.setMapBox(wholeMap_->xMin(), wholeMap_->yMin(), wholeMap_->width(),
                            wholeMap_->height());
    }
    viewport_.setMarkerSource([this] { return markerTargets(); });
}

MVTrackMapView::~MVTrackMapView() = default;

void MVTrackMapView::layoutSubtreeIfNeeded() {
    viewport_.setViewSize(width(), height());
    viewport_.resetScale();
    viewport_.setCentre(viewport_.viewCentre());
    built_ = true;
    applied();
}

void MVTrackMapView::applied() {
    if (wholeMap_) wholeMap_->setRatio(viewport_.scale());
    update();
}

MVPoint MVTrackMapView::lapPosition(const MVLap& lap) const {
    const double t = isTimebased_ ? currentValue_ : lap.calculatePositionTimestamp(currentValue_);
    const MV2DSegmentPtr at = lap.calculateSegment(lap.timestampStart() + t);
    return at ? at->point() : MVPoint{};
}

MVTrackMapViewport::MarkerTargets MVTrackMapView::markerTargets() const {
    MVTrackMapViewport::MarkerTargets targets;
    if (laps_.size() == 2 && laps_.front() && laps_.back()) {
        targets.count = 2;
        targets.faster = lapPosition(*laps_.back());
        targets.slower = lapPosition(*laps_.front());
    } else if (laps_.size() == 1 && laps_.front()) {
        targets.count = 1;
        targets.faster = lapPosition(*laps_.front());
    }
    return targets;
}

void MVTrackMapView::updateTrackMapWithArrayOfSelectedLaps(std::vector<MVLapPtr> laps) {
    laps_ = std::move(laps);
    update();
}

void MVTrackMapView::updateTrackMapWithTrackBorderArray(std::vector<MV2DSegmentPtr> border) {
    border_ = std::move(border);
    update();
}

void MVTrackMapView::updatePositionWithTime(double seconds) {
    isTimebased_ = true;
    currentValue_ = seconds;
    viewport_.updateVehicles();
    applied();
}

void MVTrackMapView::updatePositionWithPosition(double position) {
    isTimebased_ = false;
    currentValue_ = position;
    viewport_.updateVehicles();
    applied();
}

void MVTrackMapView::setSectorFlag(bool flag) {
    sectorFlag_ = flag;
    update();
}

void MVTrackMapView::setLocked(bool locked) {
    viewport_.setLocked(locked);
    applied();
}

void MVTrackMapView::resetTrack() {
    viewport_.resetTrack();
    applied();
}

void MVTrackMapView::zoomIn() {
    viewport_.zoomIn();
    resetZoomBox();
    applied();
}

void MVTrackMapView::zoomOut() {
    viewport_.zoomOut();
    resetZoomBox();
    applied();
}

QPointF MVTrackMapView::fasterVehicleCentre() const {
    const MVViewPoint p = viewport_.toScreen(viewport_.fasterMarker());
    return {p.x, p.y};
}

QPointF MVTrackMapView::slowerVehicleCentre() const {
    const MVViewPoint p = viewport_.toScreen(viewport_.slowerMarker());
    return {p.x, p.y};
}

bool MVTrackMapView::isFasterVehicleShown() const {
    return viewport_.markersPlaced() && !laps_.empty();
}

bool MVTrackMapView::isSlowerVehicleShown() const {
    return viewport_.markersPlaced() && laps_.size() >= 2;
}

void MVTrackMapView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!zoomBox_.isEmpty()) painter.fillRect(zoomBox_, QColor(255, 255, 255, 128));
    if (!built_) return;
    const double side = viewport_.side();
    if (!sectorFlag_) {
        MVTrackMapLayers::drawSectors(painter, viewport_, bestMap_.get(), 0.03 * side);
    }
    MVTrackMapLayers::drawBorder(painter, viewport_, border_);
    MVTrackMapLayers::drawFlags(painter, viewport_, manager_.trackInfo().get(), manager_,
                                0.15 * side);
    MVTrackMapLayers::drawRoutes(painter, viewport_, laps_);
    if (isFasterVehicleShown()) {
        MVTrackMapLayers::drawMarker(painter, fasterVehicleCentre(), MVHelper::Gui::FasterColor());
    }
    if (isSlowerVehicleShown()) {
        MVTrackMapLayers::drawMarker(painter, slowerVehicleCentre(), MVHelper::Gui::SlowerColor());
    }
}

void MVTrackMapView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        setCursor(Qt::PointingHandCursor);
        startPointZoomBox_ = event->position().toPoint();
        endPointZoomBox_ = startPointZoomBox_;
    } else if (event->button() == Qt::RightButton) {
        setCursor(Qt::ClosedHandCursor);
        lastRightDrag_ = event->position().toPoint();
    }
}

void MVTrackMapView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->buttons() & Qt::LeftButton) {
        endPointZoomBox_ = at;
        zoomBox_ = QRect(
            std::min(startPointZoomBox_.x(), at.x()), std::min(startPointZoomBox_.y(), at.y()),
            std::abs(at.x() - startPointZoomBox_.x()), std::abs(at.y() - startPointZoomBox_.y()));
        update();
    } else if (event->buttons() & Qt::RightButton) {
        const QPoint delta = at - lastRightDrag_;
        lastRightDrag_ = at;
        if (viewport_.locked()) return;
        // The map follows the mouse: screen y grows downwards, the map's y upwards.
        viewport_.applyOffset({double(delta.x()), double(-delta.y())});
        applied();
    }
}

void MVTrackMapView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        setCursor(Qt::OpenHandCursor);
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    setCursor(Qt::OpenHandCursor);
    if (zoomBox_.width() <= 0 || zoomBox_.height() <= 0) {
        resetZoomBox();
        return;
    }
    const bool rightAndDown = endPointZoomBox_.x() > startPointZoomBox_.x() &&
                              endPointZoomBox_.y() > startPointZoomBox_.y();
    if (rightAndDown) {
        zoomToDraggedBox();
    } else {
        viewport_.resetTrack();
    }
    resetZoomBox();
    applied();
}

void MVTrackMapView::zoomToDraggedBox() {
    const double bottom = zoomBox_.y() + zoomBox_.height();
    viewport_.zoomToBox(zoomBox_.x(), viewport_.viewHeight() - bottom, zoomBox_.width(),
                        zoomBox_.height());
}

void MVTrackMapView::resetZoomBox() {
    zoomBox_ = QRect();
    startPointZoomBox_ = endPointZoomBox_ = QPoint();
    update();
}

void MVTrackMapView::wheelEvent(QWheelEvent* event) {
    event->accept();
    switch (event->phase()) {
        case Qt::NoScrollPhase:
            if (event->angleDelta().y() > 0 ||
                (event->angleDelta().y() == 0 && event->pixelDelta().y() > 0)) {
                zoomIn();
            } else {
                zoomOut();
            }
            return;
        case Qt::ScrollMomentum:
            return;
        default:
            break;
    }
    if (viewport_.locked()) return;
    if (event->phase() == Qt::ScrollBegin) {
        setCursor(Qt::ClosedHandCursor);
    } else if (event->phase() == Qt::ScrollUpdate) {
        const QPoint d =
            event->pixelDelta().isNull() ? event->angleDelta() / 8 : event->pixelDelta();
        viewport_.applyOffset({double(d.x()), double(-d.y())});
        applied();
    } else if (event->phase() == Qt::ScrollEnd) {
        setCursor(Qt::OpenHandCursor);
    }
}

bool MVTrackMapView::event(QEvent* event) {
    if (event->type() == QEvent::NativeGesture) {
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            if (gesture->value() > 0) {
                zoomIn();
            } else {
                zoomOut();
            }
            return true;
        }
    }
    return QWidget::event(event);
}

void MVTrackMapView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!built_) return;
    const bool wasEmpty = viewport_.side() <= 0;
    viewport_.setViewSize(width(), height());
    if (wasEmpty) {
        // The first real size: the whole circuit at once, nothing to wait for.
        resetTrack();
        return;
    }
    resetAfterResize_.cancel();
    resetAfterResize_.start(std::chrono::milliseconds(500), false, platform::mainQueue(),
                            [this] { resetTrack(); });
}
