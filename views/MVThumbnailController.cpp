#include "views/MVThumbnailController.h"

#include "views/MVChartThumbnailView.h"

#include "session/MVHelperKeys.h"

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
    stripToken_ = view->observeScrollMoveOffset([this](double, double offset) {
        if (followingStrip_) stripScrolled(offset);
    });
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

void MVThumbnailController::generateArrayOfThumbnailInfos() {
    removeThumbnailViews();
    if (!thumbnailView_) return;
    const double count = thumbnailView_->getCurrentScrollViewWidth() / MVHelper::VideoWidth();
    infosGenerator_.infosGenerator(lap_, count);
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
    followingStrip_ = false;
    thumbnailView_->updateSubviewsWithGraphRange(newRange_, xMax_);
    followingStrip_ = true;
}

void MVThumbnailController::listArrived(const std::vector<MVThumbnailInfo>& list) {
    if (!thumbnailView_) return;
    followingStrip_ = false;
    thumbnailView_->updateContentViewWithGraphRange(newRange_, xMax_, list);
    followingStrip_ = true;
    updatePosition();
}

void MVThumbnailController::rangeChanged(const MVPlotRange& range) {
    newRange_ = range;
    removeThumbnailViews();
    if (thumbnailView_ && thumbnailView_->height() != 0) scheduleGenerateArrayOfThumbnailInfos();
    updatePosition();
}

void MVThumbnailController::stripScrolled(double offset) {
    const double width = thumbnailView_ ? thumbnailView_->width() : 0.0;
    if (!(width > 0.0) || !lap_) return;  // hidden or not laid out yet
    const double x = offset / width * xShift_;
    if (!std::isfinite(x)) return;
    MVSynchronization& sync = *shared_.sync;
    followingCursor_ = false;
    switch (shared_.options->mode()) {
        case 0: {
            const double duration = lap_->duration();
            sync.setSyncTime(x < 0.5 ? 0.0 : x > duration - 0.5 ? duration : x);
            xCurrent_ = static_cast<float>(sync.syncTime());
            break;
        }
        case 1: {
            const auto count = static_cast<double>(lap_->positionIndexes()->count());
            if (count < 1.0) break;  // no position alignment: nothing to move to
            const double last = count - 1.0;
            sync.setSyncIndexOfPosition(x < 1.0 ? 0.0 : x > last ? last : x);
            xCurrent_ = static_cast<float>(sync.syncIndexOfPosition());
            break;
        }
        default:
            break;
    }
    followingCursor_ = true;
}
