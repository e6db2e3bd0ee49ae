// Plots on one shared cursor: a click on one plot moves every other line once and writes the
// cursor once; menu moves write the cursor itself; width changes reach every controller.
#include "tests/views/ChartWorld.h"

#include "views/MVChartLegendView.h"
#include "views/MVChartPlotView.h"
#include "views/MVPlotController.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using namespace testing_support;

// Counts how often each plot's cursor line is set, through the legend's update count.
class ThreePlots : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 3; ++i) {
            auto plot = std::make_unique<MVChartPlotView>(world.shared());
            plot->resize(1000, 100);
            MVPlotCurve curve;
            for (int k = 0; k <= 1000; ++k) curve.push_back({k * 0.1, k * 0.1});
            plot->initPlotViewWithDataForPlot({curve}, {MVLap::instance()}, "rpm", 100, 50, -25);
            auto controller = std::make_unique<MVPlotController>(world.shared());
            controller->updateSubviewsWithGraphCurrentRange(world.sync.graphCurrentRange(), 100);
            controller->updateShift(0, 0, 100);
            controller->setPlotView(plot.get());
            plots.push_back(std::move(plot));
            controllers.push_back(std::move(controller));
        }
    }
    int updates(int i) const { return plots[i]->legendView()->updates(); }

    ChartWorld world;
    std::vector<std::unique_ptr<MVChartPlotView>> plots;
    std::vector<std::unique_ptr<MVPlotController>> controllers;
};

TEST_F(ThreePlots, AClickMovesEveryLineOnceAndWritesTheCursorOnce) {
    for (int mode : {0, 1}) {
        world.options.safelyChangeMVModeWithoutKVO(mode);
        int writes = 0;
        auto time = world.sync.observeSyncTime([&](double, double) { ++writes; });
        auto position = world.sync.observeSyncIndexOfPosition([&](double, double) { ++writes; });
        const int before[3] = {updates(0), updates(1), updates(2)};
        click(plots[1].get(), {300.0 + 100.0 * mode, 50.0});
        const double x = 15 + 5 * mode;
        EXPECT_EQ(writes, 1) << mode;
        EXPECT_NEAR(mode == 0 ? world.sync.syncTime() : world.sync.syncIndexOfPosition(), x, 1e-9);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(updates(i) - before[i], 1) << "plot " << i << " mode " << mode;
            EXPECT_NEAR(plots[i]->cursorX(), x, 1e-9);
            EXPECT_NEAR(plots[i]->legendView()->currentValue(), x, 1e-9);
            EXPECT_EQ(plots[i]->legendView()->isTimebased(), mode == 0);
        }
    }
}

// A menu move writes the cursor value itself (not half a window to the right) and stays
// within [0, xMax].
TEST_F(ThreePlots, MenuMovesWriteTheCursorWhereTheLineIs) {
    world.sync.setSyncShift(100);
    controllers[0]->moveRight();
    EXPECT_DOUBLE_EQ(world.sync.syncTime(), 10);
    for (auto& plot : plots) EXPECT_DOUBLE_EQ(plot->cursorX(), 10);
    controllers[0]->moveLeftSlightly();
    EXPECT_DOUBLE_EQ(world.sync.syncTime(), 9);
    for (int i = 0; i < 3; ++i) controllers[0]->moveLeft();
    EXPECT_DOUBLE_EQ(world.sync.syncTime(), 0);
    for (int i = 0; i < 12; ++i) controllers[0]->moveRight();
    EXPECT_DOUBLE_EQ(world.sync.syncTime(), 100);

    world.options.safelyChangeMVModeWithoutKVO(1);
    controllers[0]->moveLeft();
    EXPECT_DOUBLE_EQ(world.sync.syncIndexOfPosition(), 90);
    EXPECT_DOUBLE_EQ(plots[2]->cursorX(), 90);
}

TEST_F(ThreePlots, WidthAndRangeChangesReachEveryPlot) {
    world.sync.setSyncTime(30);
    world.sync.setSyncShift(40);
    for (auto& c : controllers) {
        EXPECT_DOUBLE_EQ(c->xShift(), 40);
        EXPECT_DOUBLE_EQ(c->xMove(), -20);  // xCurrent is still 0: nothing was written here
    }
    // An unclamped range is corrected once and the corrected range reaches every plot.
    int writes = 0;
    auto token = world.sync.observeGraphCurrentRange([&](auto&, auto&) { ++writes; });
    world.sync.setGraphCurrentRange(MVPlotRange{80, 40});
    EXPECT_EQ(world.sync.graphCurrentRange(), (MVPlotRange{60, 40}));
    EXPECT_LE(writes, 1 + 3);
    for (auto& plot : plots) {
        EXPECT_EQ(plot->xRange(), (MVPlotRange{60, 40}));
        EXPECT_DOUBLE_EQ(plot->cursorX(), 30);
    }
}

}  // namespace
