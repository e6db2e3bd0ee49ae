// The chart pane: the plot stack's refresh and rebuild, the tool-bar labels, the zoom steps,
// cursor moves without plots, the thumbnail toggle and the debounced align.
#include "tests/support/MainQueuePump.h"
#include "tests/views/ChartWorld.h"

#include "views/MVChartController.h"
#include "views/MVChartPlotStackView.h"
#include "views/MVChartPlotView.h"
#include "views/MVChartToolBarView.h"
#include "views/MVChartView.h"
#include "views/MVPlotController.h"

#include "widgets/MVTextField.h"

#include "session/MVNotifications.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

namespace {

using namespace testing_support;

MVPlotCurves curves(int laps) {
    MVPlotCurves out(laps);
    for (int lap = 0; lap < laps; ++lap) {
        for (int k = 0; k <= 100; ++k) out[lap].push_back({double(k), double(k * (lap + 1))});
    }
    return out;
}

class ChartControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        pane.resize(1200, 700);
        chart.setChartView(&pane);
        chart.chartView()->setAnimationDuration(0);
        pane.show();
        hand({"rpm", "velocity"});
        chart.initSubviews();
    }
    void hand(std::vector<std::string> keys) {
        chart.setXMax(100);
        chart.setXShift(40);
        chart.setXMove(-20);
        chart.setReferenceLap(lap);
        chart.setArrayOfSelectedLaps({lap});
        chart.setDataForPlots(MVPlotSeries(keys.size(), curves(1)));
        chart.setArrayOfSelectedKeys(std::move(keys));
    }
    const std::vector<MVChartPlotView*>& plots() {
        return chart.chartView()->plotStackView()->arrayOfPlotViews();
    }

    ChartWorld world;
    MVLapPtr lap = lapWithSectors({0, 40, 100});
    QWidget pane;
    MVChartController chart{world.shared()};
};

TEST_F(ChartControllerTest, SameKeyCountRefreshesInPlaceAnotherRebuilds) {
    ASSERT_EQ(plots().size(), 2u);
    EXPECT_EQ(chart.plotControllers().size(), 2u);
    EXPECT_TRUE(plots()[0]->hideXAxis());
    EXPECT_FALSE(plots()[1]->hideXAxis());
    EXPECT_EQ(plots()[0]->height(), plots()[1]->height());
    const std::vector<MVChartPlotView*> before = plots();

    hand({"rpm", "heading"});
    chart.updateSubviewsBySelectedKeys();
    EXPECT_EQ(plots(), before);
    EXPECT_EQ(plots()[1]->key(), "heading");

    hand({"rpm", "heading", "height"});
    chart.updateSubviewsBySelectedKeys();
    EXPECT_EQ(plots().size(), 3u);
    EXPECT_EQ(chart.plotControllers().size(), 3u);
    EXPECT_EQ(chart.plotControllers()[2]->plotView(), plots()[2]);
}

TEST_F(ChartControllerTest, LabelsFollowTheCursor) {
    MVChartToolBarView* toolBar = chart.chartView()->toolBarView();
    world.sync.setSyncTime(12.345);
    EXPECT_EQ(toolBar->currentTimeTextField()->text(), QStringLiteral("Current Time: 12.35s"));
    EXPECT_EQ(toolBar->maxTimeTextField()->text(), QStringLiteral("Total: 100.00s"));
    // The position axis names its unit, the reference lap's samples.
    world.options.safelyChangeMVModeWithoutKVO(1);
    world.sync.setSyncIndexOfPosition(12.7);
    EXPECT_EQ(toolBar->currentTimeTextField()->text(),
              QStringLiteral("Current Position: sample 12"));
    EXPECT_EQ(toolBar->maxTimeTextField()->text(), QStringLiteral("Total: 100 samples"));
    // Whole in their fields, for the longest sessions too.
    for (const auto& [field, text] :
         {std::pair{toolBar->currentTimeTextField(),
                    QStringLiteral("Current Position: sample 123456")},
          std::pair{toolBar->maxTimeTextField(), QStringLiteral("Total: 123456 samples")},
          std::pair{toolBar->currentTimeTextField(), QStringLiteral("Current Time: 12345.67s")},
          std::pair{toolBar->maxTimeTextField(), QStringLiteral("Total: 12345.67s")}}) {
        EXPECT_LE(field->fontMetrics().horizontalAdvance(text), field->width())
            << text.toStdString();
    }
}

TEST_F(ChartControllerTest, ZoomStepsOfTwoPercent) {
    ASSERT_EQ(world.sync.graphCurrentRange(), (MVPlotRange{0, 40}));
    chart.moveUp();
    EXPECT_DOUBLE_EQ(world.sync.graphCurrentRange()->length, 40.8);
    chart.moveDown();
    EXPECT_DOUBLE_EQ(world.sync.graphCurrentRange()->length, 40.8 * 0.98);
    for (MVChartPlotView* plot : plots()) EXPECT_EQ(plot->xRange(), world.sync.graphCurrentRange());
    chart.alignChart();  // the same length again
    EXPECT_DOUBLE_EQ(world.sync.graphCurrentRange()->length, 40.8 * 0.98);
}

TEST_F(ChartControllerTest, NoKeyNoMoveAndNoRangeNoZoom) {
    hand({});
    chart.setXMax(0);
    chart.initSubviews();
    EXPECT_TRUE(chart.plotControllers().empty());
    int writes = 0;
    auto time = world.sync.observeSyncTime([&](double, double) { ++writes; });
    chart.moveRight();
    chart.moveLeftSlightly();
    EXPECT_EQ(writes, 0);

    ChartWorld fresh;
    MVChartController idle(fresh.shared());
    idle.moveUp();
    idle.moveDown();
    idle.alignChart();
    EXPECT_FALSE(fresh.sync.graphCurrentRange());
}

TEST_F(ChartControllerTest, MenuMoveGoesThroughTheFirstPlot) {
    chart.moveRight();
    EXPECT_DOUBLE_EQ(world.sync.syncTime(), 10);
    for (MVChartPlotView* plot : plots()) EXPECT_DOUBLE_EQ(plot->cursorX(), 10);
    EXPECT_EQ(chart.chartView()->toolBarView()->currentTimeTextField()->text(),
              QStringLiteral("Current Time: 10.00s"));
}

TEST_F(ChartControllerTest, ThumbnailToggleStoresTheFlag) {
    int hidden = 0, shown = 0;
    auto a = world.center.addObserver(MVNotificationThumbnailHided, nullptr,
                                      [&](const auto&) { ++hidden; });
    auto b = world.center.addObserver(MVNotificationThumbnailShowed, nullptr,
                                      [&](const auto&) { ++shown; });
    chart.showOrHideThumbnailFromButtonClick(false);
    EXPECT_TRUE(world.options.isThumbnailClosed());
    EXPECT_EQ(chart.chartView()->thumbnailHeight(), 0);
    chart.showOrHideThumbnailFromButtonClick(false);
    EXPECT_FALSE(world.options.isThumbnailClosed());
    EXPECT_EQ(chart.chartView()->thumbnailHeight(), 100);
    EXPECT_EQ(hidden, 1);
    EXPECT_EQ(shown, 1);
}

TEST_F(ChartControllerTest, AResizeBurstAlignsOnce) {
    platform::FakeClock clock;
    clock.install();
    int writes = 0;
    auto token = world.sync.observeGraphCurrentRange([&](auto&, auto&) { ++writes; });
    for (int w : {1100, 1000, 900, 950}) {
        pane.resize(w, 700);
        QApplication::sendPostedEvents();
        clock.advance(std::chrono::milliseconds(200));
        MainQueuePump::drain();
    }
    EXPECT_EQ(writes, 0);
    clock.advance(std::chrono::milliseconds(400));
    MainQueuePump::drain();
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(world.sync.graphCurrentRange(), (MVPlotRange{0, 40}));
    clock.uninstall();
}

}  // namespace
