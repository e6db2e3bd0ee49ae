#include "views/MVThumbnailController.h"

#include "views/MVChartThumbnailView.h"

#include "session/MVHelperKeys.h"

#include <algorithm>
#include <chrono>
#include <cmath>

MVThumbnailController::MVThumbnailController(MVChartShared shared)
    : shared_(shared), infosGenerator_(*shared.manager) {
    setUp();
}

MVThumbnailController::~MVThumbnailController() {
    generateTimer_.cancel();
    stripToken_.reset();
    observers_.clear();
}

void MVThumbnailController::setUp() {
    MVSynchronization& sync = *shared_.sync;
    observers_.push_back(infosGenerator_.observeListOfThumbnailInfos(
        [this](const auto&, const std::vector<MVThumbnailInfo>& list) { listArrived(list); }));
    observers_.push_back(sync.observeSyncTime([this](double, double v) {
        if (!followingCursor_) return;
        xCurrent_ = static_cast<float>(v);
        xMove_ = xCurrent_ - 0.5 * xShift_;
        updatePosition();
    }));
    observers_.push_back(sync.observeSyncIndexOfPosition([this](double, double v) {
        if (!followingCursor_) return;
        xCurrent_ = static_cast<float>(v);
        xMove_ = xCurrent_;
        updatePosition();
    }));
    observers_.push_back(sync.observeSyncShift([this](double, double v) {
        const double shift = static_cast<float>(v);
        if (shift == xShift_) return;
        xShift_ = shift;
        xMove_ = xCurrent_ - 0.5 * shift;
    }));
    observers_.push_back(sync.observeGraphCurrentRange(
        [this](const std::optional<MVPlotRange>&, const std::optional<MVPlotRange>& range) {
            if (range) rangeChanged(*range);
        }));
}

void MVThumbnailController::setThumbnailView(MVChartThumbnailView* view) {
    stripToken_.reset();
    thumbnailView_ = view;
    if (!view) return;
    stripToken_ =
        view->observeScrollRequest([this](double, double pixels) { stripScrolled(pixels); });
}

void MVThumbnailController::updateShift(double shift, double move, double max) {
    xShift_ = shift;
    xMove_ = move;
    xMax_ = max;
}

void MVThumbnailController::updateGraphLocation(const MVPlotRange& range, double max) {
    newRange_ = range;
    xMax_ = max;
}

MVPlotRange MVThumbnailController::visibleRange() const {
    // The shared cursor's range is the one the plots hold: each plot publishes its range again
    // when it had to clamp one, so reading it now (not the value a notification carried) also
    // gives the right range while a correction is still being told to the other observers.
    const std::optional<MVPlotRange> shown = shared_.sync->graphCurrentRange();
    if (shown && shown->length > 0.0 && std::isfinite(shown->length)) return *shown;
    if (newRange_ && newRange_->length > 0.0) return *newRange_;
    return {0.0, xMax_};
}

// The slots of the range the chart shows now, not of the document the last slots were laid on.
void MVThumbnailController::generateArrayOfThumbnailInfos() {
    removeThumbnailViews();
    if (!thumbnailView_) return;
    const MVPlotRange range = visibleRange();
    requestedLength_ = range.length;
    requestedSlotCount_ =
        thumbnailView_->documentWidthForGraphRange(range, xMax_) / MVHelper::VideoWidth();
    infosGenerator_.infosGenerator(lap_, requestedSlotCount_);
}

void MVThumbnailController::scheduleGenerateArrayOfThumbnailInfos() {
    generateTimer_.cancel();
    generateTimer_.start(std::chrono::duration_cast<platform::Duration>(
                             std::chrono::duration<double>(MVHelper::FunctionDelayTime())),
                         false, platform::mainQueue(), [this] { generateArrayOfThumbnailInfos(); });
}

void MVThumbnailController::cancelGenerateArrayOfThumbnailInfos() {
    generateTimer_.cancel();
}

void MVThumbnailController::removeThumbnailViews() {
    if (thumbnailView_) thumbnailView_->removeThumbnails();
}

void MVThumbnailController::updatePosition() {
    if (!thumbnailView_) return;
    thumbnailView_->updateSubviewsWithGraphRange(visibleRange(), xMax_);
}

void MVThumbnailController::listArrived(const std::vector<MVThumbnailInfo>& list) {
    if (!thumbnailView_) return;
    const MVPlotRange range = visibleRange();
    // Slots asked for at another zoom would be laid on the wrong grid: ask again.
    if (range.length != requestedLength_) {
        if (thumbnailView_->height() != 0) scheduleGenerateArrayOfThumbnailInfos();
        return;
    }
    // Slots were asked for and none has a video: the lap has none to show.
    thumbnailView_->setShowsNoVideoMessage(list.empty() && requestedSlotCount_ >= 1.0);
    thumbnailView_->updateContentViewWithGraphRange(range, xMax_, list);
    updatePosition();
}

void MVThumbnailController::rangeChanged(const MVPlotRange& range) {
    newRange_ = range;
    removeThumbnailViews();
    if (thumbnailView_ && thumbnailView_->height() != 0) scheduleGenerateArrayOfThumbnailInfos();
    updatePosition();
}

void MVThumbnailController::stripScrolled(double pixels) {
    const double width = thumbnailView_ ? thumbnailView_->width() : 0.0;
    if (!(width > 0.0) || !lap_) return;  // hidden or not laid out yet
    const double step = pixels * visibleRange().length / width;
    if (!std::isfinite(step)) return;
    MVSynchronization& sync = *shared_.sync;
    switch (MVXAxisMode{shared_.options->mode()}) {
        case MVXAxisMode::Time: {
            const double end = std::max(0.0, lap_->duration());
            followingCursor_ = false;
            sync.setSyncTime(std::clamp(sync.syncTime() + step, 0.0, end));
            followingCursor_ = true;
            xCurrent_ = static_cast<float>(sync.syncTime());
            break;
        }
        case MVXAxisMode::Position: {
            const auto count = static_cast<double>(lap_->positionIndexes()->count());
            if (count < 1.0) return;  // no position alignment: nothing to move to
            followingCursor_ = false;
            sync.setSyncIndexOfPosition(
                std::clamp(sync.syncIndexOfPosition() + step, 0.0, count - 1.0));
            followingCursor_ = true;
            xCurrent_ = static_cast<float>(sync.syncIndexOfPosition());
            break;
        }
        default:
            return;
    }
    keepCursorInRange(xCurrent_);
}

// A cursor past either end of the chart's range takes the range with it, just far enough to
// show the cursor at that end.
void MVThumbnailController::keepCursorInRange(double cursor) {
    const MVPlotRange range = visibleRange();
    double location = range.location;
    if (cursor < range.location) {
        location = cursor;
    } else if (cursor > range.location + range.length) {
        location = cursor - range.length;
    } else {
        return;
    }
    shared_.sync->setGraphCurrentRange(MVPlotKit::clampXRange({location, range.length}, xMax_));
}
