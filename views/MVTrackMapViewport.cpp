#include "views/MVTrackMapViewport.h"

#include <algorithm>
#include <cmath>

namespace {

bool positive(double v) {
    return std::isfinite(v) && v > 0;
}

}  // namespace

void MVTrackMapViewport::setViewSize(double width, double height) {
    width_ = std::isfinite(width) ? std::max(0.0, width) : 0.0;
    height_ = std::isfinite(height) ? std::max(0.0, height) : 0.0;
}

double MVTrackMapViewport::side() const {
    return std::min(width_, height_);
}

void MVTrackMapViewport::setMapBox(double xMin, double yMin, double width, double height) {
    auto finite = [](double v) { return std::isfinite(v) ? v : 0.0; };
    xMin_ = finite(xMin);
    yMin_ = finite(yMin);
    mapWidth_ = finite(width);
    mapHeight_ = finite(height);
}

double MVTrackMapViewport::defaultScale() const {
    const double larger = mapHeight_ > mapWidth_ ? mapHeight_ : mapWidth_;
    if (!positive(larger) || !positive(side())) return 0.0;
    return side() / larger * 0.9;
}

bool MVTrackMapViewport::isDrawable() const {
    return positive(scale_);
}

MVViewPoint MVTrackMapViewport::project(MVPoint p) const {
    const double s = isDrawable() ? scale_ : 0.0;
    return {centre_.x + s * (p.x - (xMin_ + mapWidth_ / 2)),
            centre_.y + s * (p.y - (yMin_ + mapHeight_ / 2))};
}

MVPoint MVTrackMapViewport::unproject(MVViewPoint v) const {
    MVPoint boxCentre{xMin_ + mapWidth_ / 2, yMin_ + mapHeight_ / 2};
    if (!isDrawable()) return boxCentre;
    return {boxCentre.x + (v.x - centre_.x) / scale_, boxCentre.y + (v.y - centre_.y) / scale_};
}

void MVTrackMapViewport::updateVehicles() {
    if (!markerSource_) return;
    const MarkerTargets targets = markerSource_();
    if (targets.count == 2) {
        faster_ = project(targets.faster);
        slower_ = project(targets.slower);
    } else if (targets.count == 1) {
        faster_ = project(targets.faster);
    } else {
        return;
    }
    markersPlaced_ = true;
    if (locked_) {
        const MVViewPoint c = viewCentre();
        applyOffset({c.x - faster_.x, c.y - faster_.y});
    }
}

void MVTrackMapViewport::setLocked(bool locked) {
    locked_ = locked;
    if (!locked) {
        resetTrack();
        return;
    }
    const MVViewPoint c = viewCentre();
    applyOffset({c.x - faster_.x, c.y - faster_.y});
}

void MVTrackMapViewport::applyOffset(MVViewPoint d) {
    if (!std::isfinite(d.x) || !std::isfinite(d.y)) return;
    centre_ = {centre_.x + d.x, centre_.y + d.y};
    faster_ = {faster_.x + d.x, faster_.y + d.y};
    slower_ = {slower_.x + d.x, slower_.y + d.y};
}

void MVTrackMapViewport::resetScale() {
    scale_ = defaultScale();
}

void MVTrackMapViewport::resetTrack() {
    resetScale();
    const MVViewPoint target = locked_ ? faster_ : viewCentre();
    applyOffset({target.x - centre_.x, target.y - centre_.y});
    updateVehicles();
}

double MVTrackMapViewport::clampedScale(double wanted) const {
    const double base = defaultScale();
    return std::clamp(wanted, base * kMinZoom, base * kMaxZoom);
}

double MVTrackMapViewport::zoomToBox(double x, double y, double width, double height) {
    const double boxSide = std::min(width, height);
    if (!isDrawable() || !positive(boxSide) || !positive(defaultScale())) return 1.0;
    const double newScale = clampedScale(scale_ * (side() / boxSide));
    const double f = newScale / scale_;
    scale_ = newScale;
    MVViewPoint offset;
    if (locked_) {
        offset = {f * (faster_.x - centre_.x), f * (faster_.y - centre_.y)};
    } else {
        const MVViewPoint box{x + width / 2, y + height / 2};
        const MVViewPoint c = viewCentre();
        offset = {c.x - centre_.x + f * (centre_.x - box.x),
                  c.y - centre_.y + f * (centre_.y - box.y)};
    }
    applyOffset(offset);
    updateVehicles();
    return f;
}

double MVTrackMapViewport::zoomIn() {
    return zoomToBox(10, 10, width_ - 20, height_ - 20);
}

double MVTrackMapViewport::zoomOut() {
    return zoomToBox(-10, -10, width_ + 20, height_ + 20);
}
