// The main window's layout operations: stepping the dividers, the map-only and video-only
// layouts, hiding the track map, and nothing of it while the logo shows. Divider moves are
// animated on the platform clock, which the tests drive.
#include "tests/support/MainQueuePump.h"

#include "app/MVMiddleView.h"
#include "app/MVSplitView.h"
#include "app/MVZQViewController.h"

#include "views/MVChartController.h"
#include "views/MVTrackController.h"
#include "views/MVTrackMapView.h"

#include "session/MVHelperKeys.h"
#include "session/MVLap.h"
#include "session/MVMap.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVSynchronization.h"

#include "platform/Clock.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

namespace {

using testing_support::MainQueuePump;

class MainWindowLayoutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clock.install();
        controller->resize(1200, 820);
        controller->show();
        MainQueuePump::drain();
        controller->resetLayout();
        controller->removeLogo();
        w = controller->middleView()->width();
        h = controller->middleView()->height();
    }
    void TearDown() override {
        controller.reset();
        clock.uninstall();
        platform::UserDefaults& defaults = platform::UserDefaults::standard();
        for (const std::string& key : {MVHelper::Default_MacOSDividerTrackMapPosition(),
                                       MVHelper::Default_MacOSDividerVerticalMapPosition(),
                                       MVHelper::Default_MacOSDividerChartVideoMapPosition()}) {
            defaults.setInteger(key, 0);
        }
    }
    // Lets running divider animations and delayed follow-ups finish.
    void settle(std::chrono::milliseconds total = std::chrono::milliseconds(600)) {
        for (auto done = std::chrono::milliseconds(0); done < total;
             done += std::chrono::milliseconds(10)) {
            clock.advance(std::chrono::milliseconds(10));
            MainQueuePump::drain();
        }
    }
    // Builds the track pane on a small map and zooms it in one step.
    MVTrackMapView* zoomedTrackMap() {
        auto lap = MVLap::instance();
        auto map = MVMap::instance();
        map->setWidth(200);
        map->setHeight(100);
        lap->setMap(map);
        MVTrackController& track = controller->trackController();
        track.setWholeLap(lap);
        track.setBestLap(lap);
        track.setArrayOfSelectedLaps({lap});
        track.initSubviews();
        track.trackMapView()->zoomIn();
        return track.trackMapView();
    }
    static bool isZoomed(const MVTrackMapView* map) {
        return map->viewport().scale() > map->viewport().defaultScale() * 1.001;
    }
    int vertical() const { return controller->splitViewForVerticalDivider()->splitPosition(); }
    int leftPanel() const { return controller->splitViewForLeftPanel()->splitPosition(); }
    int chartVideo() const { return controller->splitViewForChartAndVideo()->splitPosition(); }
    platform::FakeClock clock;
    std::unique_ptr<MVZQViewController> controller = std::make_unique<MVZQViewController>();
    int w = 0;
    int h = 0;
};

// Each key press moves the vertical divider one stop along closed, a third, fully open.
TEST_F(MainWindowLayoutTest, SteppingTheVerticalDivider) {
    const int third = static_cast<int>(w / 3.0 + 0.5);
    ASSERT_NEAR(vertical(), w / 3, 1);

    controller->viewMoveLeft();
    settle();
    EXPECT_EQ(vertical(), 0);
    controller->viewMoveLeft();
    settle();
    EXPECT_EQ(vertical(), 0);

    controller->viewMoveRight();
    settle();
    EXPECT_NEAR(vertical(), third, 1);
    controller->viewMoveRight();
    settle();
    EXPECT_GE(vertical(), w - 4);  // the right part closed (the divider itself stays)
}

// Up and down move the divider of the side that is wider: here the chart-and-video split.
TEST_F(MainWindowLayoutTest, SteppingTheHorizontalDivider) {
    const int half = static_cast<int>(h * 0.5 + 0.5);
    controller->viewMoveUp();
    settle();
    EXPECT_EQ(chartVideo(), 0);
    controller->viewMoveDown();
    settle();
    EXPECT_NEAR(chartVideo(), half, 1);
    controller->viewMoveDown();
    settle();
    EXPECT_GE(chartVideo(), h - 4);
}

TEST_F(MainWindowLayoutTest, MapOnlyTwiceReturnsToTheDefaultAndRedrawsMapAndChart) {
    // The chart re-applies its visible range; the map leaves its zoom.
    MVSynchronization& sync = MVSynchronization::sharedManager();
    sync.setGraphCurrentRange(MVPlotRange{10, 50});
    int rangeWrites = 0;
    auto token = sync.observeGraphCurrentRange([&](auto&, auto&) { ++rangeWrites; });
    MVTrackMapView* map = zoomedTrackMap();
    ASSERT_TRUE(isZoomed(map));
    controller->showFullTrackOrResetTrack();
    settle();
    EXPECT_NEAR(vertical(), w / 2, 1);
    EXPECT_EQ(leftPanel(), 0);
    EXPECT_FALSE(isZoomed(map));
    EXPECT_GE(rangeWrites, 1);
    EXPECT_EQ(sync.graphCurrentRange(), (MVPlotRange{10, 50}));
    token.reset();
    sync.setGraphCurrentRange(std::nullopt);

    controller->showFullTrackOrResetTrack();
    settle();
    EXPECT_NEAR(vertical(), w / 3, 1);
    EXPECT_NEAR(leftPanel(), h / 2, 1);
    EXPECT_EQ(platform::UserDefaults::standard().integerForKey(
                  MVHelper::Default_MacOSDividerVerticalMapPosition()),
              vertical());
}

TEST_F(MainWindowLayoutTest, VideoOnlyFillsTheWindowAndIsRemembered) {
    MVOptionsAndSettings& options = MVOptionsAndSettings::sharedManager();
    platform::UserDefaults& defaults = platform::UserDefaults::standard();

    controller->showFullVideoOrResetVideo();
    settle();
    EXPECT_EQ(vertical(), 0);
    EXPECT_GE(chartVideo(), h - 4);
    EXPECT_TRUE(options.isVideoFullScreen());
    EXPECT_TRUE(defaults.boolForKey(MVHelper::Default_VideoFullScreeenFlag()));

    controller->showFullVideoOrResetVideo();
    settle();
    EXPECT_NEAR(vertical(), w / 3, 1);
    EXPECT_NEAR(chartVideo(), h / 2, 1);
    EXPECT_FALSE(options.isVideoFullScreen());
    EXPECT_FALSE(defaults.boolForKey(MVHelper::Default_VideoFullScreeenFlag()));
}

TEST_F(MainWindowLayoutTest, HidingTheTrackMapNeverRemovesTheLastPane) {
    MVOptionsAndSettings& options = MVOptionsAndSettings::sharedManager();
    MVSplitView* left = controller->splitViewForLeftPanel();

    controller->showOrHideTrack();
    EXPECT_EQ(left->count(), 1);
    EXPECT_FALSE(controller->trackView()->isVisible());
    EXPECT_TRUE(options.isTrackSectionInVisible());

    // The lap table is now the only pane: it stays, and the flag is untouched.
    controller->hideOrShowView(reinterpret_cast<QWidget*>(controller->lapsView()), left);
    EXPECT_EQ(left->count(), 1);
    EXPECT_TRUE(options.isTrackSectionInVisible());

    controller->showOrHideTrack();
    EXPECT_EQ(left->count(), 2);
    EXPECT_TRUE(controller->trackView()->isVisible());
    EXPECT_FALSE(options.isTrackSectionInVisible());
    EXPECT_NEAR(leftPanel(), left->height() / 2, MVSplitView::kDividerThickness);
}

TEST_F(MainWindowLayoutTest, LayoutOperationsWaitForASession) {
    MVTrackMapView* map = zoomedTrackMap();
    ASSERT_TRUE(isZoomed(map));
    controller->showLogo();
    const int before = vertical();
    controller->viewMoveLeft();
    controller->showFullTrackOrResetTrack();
    controller->showFullVideoOrResetVideo();
    controller->showOrHideTrack();
    settle();
    EXPECT_EQ(vertical(), before);
    EXPECT_EQ(controller->splitViewForLeftPanel()->count(), 2);
    EXPECT_TRUE(isZoomed(map));
}

}  // namespace
