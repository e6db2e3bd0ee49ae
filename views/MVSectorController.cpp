#include "views/MVSectorController.h"

#include "session/MVNotifications.h"
#include "session/MVSampleValues.h"

#include <cmath>
#include <cstdio>
#include <string>

MVSectorController::MVSectorController(MVChartShared shared) : shared_(shared) {
    rangeToken_ = shared_.sync->observeGraphCurrentRange(
        [this](const std::optional<MVPlotRange>&, const std::optional<MVPlotRange>& range) {
            if (range) updateGraphLocation(*range, xMax_);
        });
}

MVSectorController::~MVSectorController() = default;

void MVSectorController::setSectorView(MVChartSectorView* view) {
    fullToken_.reset();
    defaultToken_.reset();
    selectionToken_.reset();
    sectorView_ = view;
    if (!view) return;
    lap_ = view->lap();
    fullToken_ = view->observeResetToFull([this](bool, bool) { resetToFull(); });
    defaultToken_ = view->observeResetToDefault(
        [this](bool, bool) { shared_.sync->setSyncShift(shared_.global->DefaultValue()); });
    selectionToken_ = view->observeArrayOfStartAndEndTimestamp(
        [this](const MVSectorSelection&, const MVSectorSelection& s) { selectionChanged(s); });
}

void MVSectorController::updateShift(double shift, double move, double max) {
    xShift_ = shift;
    xMove_ = move;
    xMax_ = max;
    updatePositionWithShift(shift, move, max, true);
}

void MVSectorController::updatePositionWithShift(double shift, double move, double max,
                                                 bool isShiftChanged) {
    if (!sectorView_ || !(shift > 0.0)) return;
    sectorView_->updateSubviewsFrameWithxShif(shift, move, max / shift, isShiftChanged);
}

void MVSectorController::updateGraphLocation(const MVPlotRange& range, double) {
    if (sectorView_) sectorView_->updateSubviewsWithGraphCurrentRange(range, xMax_);
}

void MVSectorController::updateSectorViewWithLap(MVLapPtr lap) {
    lap_ = lap;
    if (sectorView_) sectorView_->updateSectorViewWithLap(std::move(lap));
}

void MVSectorController::resetToFull() {
    if (!lap_) return;
    double length = 0.0;
    switch (MVXAxisMode{shared_.options->mode()}) {
        case MVXAxisMode::Time:
            length = lap_->duration();
            break;
        case MVXAxisMode::Position:
            length = static_cast<double>(lap_->positionIndexes()->count());
            break;
        default:
            return;
    }
    if (!(length > 0.0) || !std::isfinite(length)) return;
    shared_.sync->setGraphRangeMax(length);
    shared_.sync->setGraphCurrentRange(MVPlotRange{0.0, length});
}

void MVSectorController::selectionChanged(const MVSectorSelection& s) {
    if (!lap_ || lap_->sectors()->empty()) return;
    const double first = lap_->sectors()->values().front();
    if (shared_.options->is(MVXAxisMode::Position)) {
        const std::int64_t endIndex = lap_->calculatePositionIndex(s.end - first);
        const std::int64_t startIndex = lap_->calculatePositionIndex(s.start - first);
        if (startIndex < 0 || endIndex <= startIndex) return;
        const MVPlotRange range{static_cast<double>(startIndex),
                                static_cast<double>(endIndex - startIndex)};
        shared_.sync->setGraphCurrentRange(range);
        shared_.sync->setSyncIndexOfPosition(static_cast<double>(startIndex + endIndex) * 0.5);
        updateGraphLocation(range, xMax_);
        return;
    }
    if (!shared_.options->is(MVXAxisMode::Time)) return;
    if (shared_.options->is(MVDisplayMode::WholeSession) && s.isLap) {
        openWholeSessionLap(s);
        return;
    }
    zoomToStretch(s);
}

// Time mode: the visible range becomes the stretch, measured from the lap's start; the cursor
// stays where it is.
void MVSectorController::zoomToStretch(const MVSectorSelection& s) {
    const double first = lap_->sectors()->values().front();
    const double length = s.end - s.start;
    if (!(length > 0.0)) return;
    const MVPlotRange range{(s.start + s.end) * 0.5 - first - 0.5 * length, length};
    shared_.sync->setGraphCurrentRange(range);
    updateGraphLocation(range, xMax_);
}

// Boundary i of the whole-session strip opens lap i, entry i - 1 of the session's laps. A
// stretch that matches no boundary, or no lap, is zoomed to like "Out" and "In".
void MVSectorController::openWholeSessionLap(const MVSectorSelection& s) {
    const std::int64_t startIndex = lap_->sectors()->indexOfValue(s.start);
    const std::int64_t endIndex = lap_->sectors()->indexOfValue(s.end);
    std::fprintf(stderr,
                 "end Time : %f start Time : %f Lap: %zu boundaries, startIndex: %lld, "
                 "endIndex: %lld\n",
                 s.end, s.start, lap_->sectors()->count(), static_cast<long long>(startIndex),
                 static_cast<long long>(endIndex));
    const MVLapPtr next =
        startIndex >= 1
            ? MVSampleValues(*shared_.manager).lapWithGLDFileName(lap_->gldFile(), startIndex - 1)
            : nullptr;
    if (!next) {
        zoomToStretch(s);
        return;
    }
    shared_.options->safelyChangeMVDisplayModeWithoutKVO(MVDisplayMode::Laps);
    shared_.options->safelyChangeMVModeWithoutKVO(MVXAxisMode::Position);
    shared_.options->safelyChnageMVLapsOptionWithoutKVO(MVLapOptionsMode::PreciseLaps);
    shared_.global->safelyChangeSelectedLapsWithoutKVO({next});
    shared_.center->post(MVNotificationSelectedLapsChangedFromWholeFileSession);
}
