#include "views/MVPlotController.h"

#include "views/MVChartLegendView.h"
#include "views/MVChartPlotView.h"

#include "session/ZORFileLog.h"

#include <algorithm>
#include <cmath>

MVPlotController::MVPlotController(MVChartShared shared) : shared_(shared) {
    setUp();
}

MVPlotController::~MVPlotController() = default;

void MVPlotController::setUp() {
    observeSyncTime();
    observeSyncIndexOfPosition();
    syncShiftToken_ = shared_.sync->observeSyncShift([this](double, double v) {
        if (v == xShift_) return;
        xShift_ = v;
        xMove_ = xCurrent_ - v / 2;
        updatePosition();
    });
    rangeMaxToken_ = shared_.sync->observeGraphRangeMax([](double, double) {});
    observeGraphCurrentRange();
    observeGraphXSelection();
}

void MVPlotController::observeSyncTime() {
    syncTimeToken_ =
        shared_.sync->observeSyncTime([this](double, double v) { cursorChanged(v, true); });
}

void MVPlotController::observeSyncIndexOfPosition() {
    syncIndexToken_ = shared_.sync->observeSyncIndexOfPosition(
        [this](double, double v) { cursorChanged(v, false); });
}

void MVPlotController::observeGraphCurrentRange() {
    rangeToken_ = shared_.sync->observeGraphCurrentRange(
        [this](const std::optional<MVPlotRange>&, const std::optional<MVPlotRange>& r) {
            graphCurrentRange_ = r;
            updatePosition();
        });
}

void MVPlotController::observeGraphXSelection() {
    selectionToken_ =
        shared_.sync->observeGraphXSelection([this](double, double v) { selectionChanged(v); });
}

void MVPlotController::setPlotView(MVChartPlotView* plotView) {
    plotToken_.reset();
    plotView_ = plotView;
    if (plotView_) plotToken_ = plotView_->observeXMove([this](double, double v) { plotMoved(v); });
}

void MVPlotController::updateSubviewsWithGraphCurrentRange(std::optional<MVPlotRange> range,
                                                           double xMax) {
    graphCurrentRange_ = range;
    xMax_ = xMax;
}

void MVPlotController::updateShift(double shift, double move, double max) {
    xShift_ = shift;
    xMove_ = move;
    xMax_ = max;
}

void MVPlotController::updatePositionWithMove() {
    if (plotView_) plotView_->updatePlotByLocation(graphXSelection_);
}

void MVPlotController::updatePosition() {
    if (!plotView_) return;
    rangeToken_.reset();
    plotView_->updateCurrentPosition(graphXSelection_);
    if (graphCurrentRange_) plotView_->updateCurrentRange(*graphCurrentRange_);
    observeGraphCurrentRange();
}

// The plot's cursor moved by a menu command: the shared cursor follows to the same x.
void MVPlotController::plotMoved(double v) {
    MVChartLegendView* legend = plotView_ ? plotView_->legendView() : nullptr;
    switch (MVXAxisMode{shared_.options->mode()}) {
        case MVXAxisMode::Time:
            syncTimeToken_.reset();
            shared_.sync->setSyncTime(v);
            xCurrent_ = shared_.sync->syncTime();
            observeSyncTime();
            xMove_ = xCurrent_ - xShift_ / 2;
            if (legend) legend->updateLabelWithTime(xCurrent_);
            break;
        case MVXAxisMode::Position:
            syncIndexToken_.reset();
            shared_.sync->setSyncIndexOfPosition(v);
            xCurrent_ = shared_.sync->syncIndexOfPosition();
            observeSyncIndexOfPosition();
            xMove_ = v;
            if (legend) legend->updateLabelWithPosition(xCurrent_);
            break;
        default:
            break;
    }
}

// A click or cursor drag on some plot. The first controller to hear it writes the cursor and
// moves its own line; the write moves every other plot's line, so the later controllers find
// the cursor already there and do nothing.
void MVPlotController::selectionChanged(double v) {
    const bool isTime = shared_.options->is(MVXAxisMode::Time);
    if (!isTime && !shared_.options->is(MVXAxisMode::Position)) return;
    graphXSelection_ = v;
    const double current = isTime ? shared_.sync->syncTime() : shared_.sync->syncIndexOfPosition();
    if (current == v) return;
    if (isTime) {
        syncTimeToken_.reset();
        shared_.sync->setSyncTime(v);
        observeSyncTime();
    } else {
        syncIndexToken_.reset();
        shared_.sync->setSyncIndexOfPosition(v);
        observeSyncIndexOfPosition();
    }
    cursorChanged(v, isTime);
}

void MVPlotController::cursorChanged(double v, bool isTime) {
    graphXSelection_ = v;
    updatePosition();
    MVChartLegendView* legend = plotView_ ? plotView_->legendView() : nullptr;
    if (!legend) return;
    if (isTime) {
        legend->updateLabelWithTime(v);
    } else {
        legend->updateLabelWithPosition(v);
    }
}

void MVPlotController::moveBy(double step, const char* logLine) {
    if (!(xMax_ > 0.0) || !std::isfinite(xMax_)) return;
    graphXSelection_ = std::clamp(graphXSelection_ + step, 0.0, xMax_);
    updatePositionWithMove();
    ZORFileLog::writeToTextFile(logLine);
}

void MVPlotController::moveRight() {
    moveBy(shared_.sync->xMoveRange(), "PlotController right");
}

void MVPlotController::moveRightSlightly() {
    xMove_ = std::min(xMove_, xMax_ - xShift_ / 2);
    moveBy(1.0, "PlotController right slightly");
}

void MVPlotController::moveLeft() {
    xMove_ = std::max(xMove_, -xShift_ / 2);
    moveBy(-shared_.sync->xMoveRange(), "PlotController left");
}

void MVPlotController::moveLeftSlightly() {
    xMove_ = std::max(xMove_, -xShift_ / 2);
    moveBy(-1.0, "PlotController left slightly");
}
