// The main window's layout operations: the default layout, hiding the track map, the map-only
// and video-only layouts, and stepping the dividers from the keyboard.
#include "app/MVMiddleView.h"
#include "app/MVSplitView.h"
#include "app/MVZQViewControllerWorker.h"

#include "views/MVChartController.h"
#include "views/MVTrackController.h"

#include "session/MVHelperKeys.h"
#include "session/MVOptionsAndSettings.h"

#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"

#include <chrono>
#include <cmath>

void MVZQViewController::resetLayout() {
    const int w = middleView_->width();
    const int h = middleView_->height();
    splitViewForVerticalDivider_->setPositionOfDividerAtIndex(w / 3, 0);
    splitViewForChartAndVideo_->setPositionOfDividerAtIndex(h / 2, 0);
    const int n = splitViewForLeftPanel_->count();
    for (int i = 0; i + 1 < n; ++i) {
        splitViewForLeftPanel_->setPositionOfDividerAtIndex((i + 1) * h / n, i);
    }
}

void MVZQViewController::showOrHideTrack() {
    if (isLogoOn()) return;
    hideOrShowView(trackView_, splitViewForLeftPanel_);
}

void MVZQViewController::hideOrShowView(QWidget* view, MVSplitView* splitView) {
    MVOptionsAndSettings& options = MVOptionsAndSettings::sharedManager();
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    if (view->parentWidget() == splitView) {
        // The last pane is never removed.
        if (splitView->count() == 1) return;
        options.setIsTrackSectionInVisible(true);
        defaults.setBool(MVHelper::Default_TrackSectionInVisibleFlag(), true);
        // Kept, hidden, by this view until it is shown again.
        view->setParent(this);
        view->hide();
    } else {
        options.setIsTrackSectionInVisible(false);
        defaults.setBool(MVHelper::Default_TrackSectionInVisibleFlag(), false);
        splitView->addWidget(view);
        view->show();
    }
    const int extent = splitView->height();
    const int n = splitView->count();
    for (int i = 0; i < n; ++i) splitView->setPositionOfDividerAtIndex((i + 1) * extent / n, i);
}

void MVZQViewController::showFullTrackOrResetTrack() {
    if (isLogoOn()) return;
    const double w = middleView_->width();
    const double h = middleView_->height();
    const int p = splitViewForVerticalDivider_->positionOfDividerAtIndex(0);
    if (std::abs(p - w * 0.5) >= 1.0) {
        splitViewForVerticalDivider_->animateSplitPosition(static_cast<int>(w * 0.5));
        splitViewForLeftPanel_->animateSplitPosition(0);
    } else {
        splitViewForVerticalDivider_->animateSplitPosition(static_cast<int>(w / 3));
        splitViewForLeftPanel_->animateSplitPosition(static_cast<int>(h * 0.5));
    }
    afterLayoutChange();
}

void MVZQViewController::showFullVideoOrResetVideo() {
    if (isLogoOn()) return;
    MVOptionsAndSettings& options = MVOptionsAndSettings::sharedManager();
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    const double w = middleView_->width();
    const double h = middleView_->height();
    const bool fill = splitViewForVerticalDivider_->positionOfDividerAtIndex(0) > 0;
    options.setIsVideoFullScreen(fill);
    defaults.setBool(MVHelper::Default_VideoFullScreeenFlag(), fill);
    if (fill) {
        splitViewForVerticalDivider_->animateSplitPosition(0);
        splitViewForChartAndVideo_->animateSplitPosition(static_cast<int>(h));
    } else {
        splitViewForVerticalDivider_->animateSplitPosition(static_cast<int>(w / 3));
        splitViewForChartAndVideo_->animateSplitPosition(static_cast<int>(h * 0.5));
    }
    afterLayoutChange();
}

void MVZQViewController::afterLayoutChange() {
    // Once the dividers have reached their places, map and plots are laid out for the new sizes.
    std::weak_ptr<Worker> weak = worker_;
    platform::after(std::chrono::milliseconds(500), platform::mainQueue(), [weak] {
        std::shared_ptr<Worker> w = weak.lock();
        if (!w || !w->owner) return;
        w->track->resetTrackMap();
        w->chart->alignChart();
    });
}

void MVZQViewController::viewMoveLeft() {
    if (isLogoOn()) return;
    const int p = splitViewForVerticalDivider_->positionOfDividerAtIndex(0);
    const int t = static_cast<int>(middleView_->width() / 3.0 + 0.5);
    if (t < p) {
        splitViewForVerticalDivider_->animateSplitPosition(t);
    } else if (p >= 1) {
        splitViewForVerticalDivider_->animateSplitPosition(0);
    }
}

void MVZQViewController::viewMoveRight() {
    if (isLogoOn()) return;
    const int p = splitViewForVerticalDivider_->positionOfDividerAtIndex(0);
    const int t = static_cast<int>(middleView_->width() / 3.0 + 0.5);
    if (p >= 0 && p < t) {
        splitViewForVerticalDivider_->animateSplitPosition(t);
    } else if (p >= t) {
        splitViewForVerticalDivider_->animateSplitPosition(middleView_->width());
    }
}

MVSplitView* MVZQViewController::horizontalSplitToStep() const {
    // The wider side: the left panel once it covers more than half the width.
    return splitViewForVerticalDivider_->positionOfDividerAtIndex(0) > middleView_->width() * 0.5
               ? splitViewForLeftPanel_
               : splitViewForChartAndVideo_;
}

void MVZQViewController::viewMoveUp() {
    if (isLogoOn()) return;
    MVSplitView* split = horizontalSplitToStep();
    const int q = split->positionOfDividerAtIndex(0);
    const int u = static_cast<int>(middleView_->height() * 0.5 + 0.5);
    if (q > u) {
        split->animateSplitPosition(u);
    } else if (q >= 1) {
        split->animateSplitPosition(0);
    }
}

void MVZQViewController::viewMoveDown() {
    if (isLogoOn()) return;
    MVSplitView* split = horizontalSplitToStep();
    const int q = split->positionOfDividerAtIndex(0);
    const int u = static_cast<int>(middleView_->height() * 0.5 + 0.5);
    if (q >= 0 && q < u) {
        split->animateSplitPosition(u);
    } else if (q >= u) {
        split->animateSplitPosition(middleView_->height());
    }
}
