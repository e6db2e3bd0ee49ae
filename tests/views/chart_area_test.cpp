// The chart area's plot stack: every plot keeps the height at which it reads, and the area
// scrolls when the channels do not fit, the strips above staying in line with the plots.
#include "tests/views/ChartWorld.h"

#include "views/MVChartLegendView.h"
#include "views/MVChartPlotStackView.h"
#include "views/MVChartPlotView.h"
#include "views/MVChartSectorView.h"
#include "views/MVChartThumbnailView.h"
#include "views/MVChartView.h"

#include <QScrollArea>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace {

using namespace testing_support;

MVSharedPlotSeries series(std::size_t keys) {
    MVPlotCurves two(2);
    for (int k = 0; k <= 100; ++k) {
        two[0].push_back({double(k), 100.0 + k % 9});
        two[1].push_back({double(k), 90.0 + k % 7});
    }
    return std::make_shared<const MVPlotSeries>(keys, two);
}

std::vector<std::string> keys(std::size_t n) {
    const std::vector<std::string> all = {"velocity", "rpm",     "lat acc",
                                          "long acc", "delta t", "altitude"};
    return {all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n)};
}

TEST(ChartArea, PlotsKeepTheirLeastHeightAndTheAreaScrollsWhenTheyDoNotFit) {
    ChartWorld world;
    MVChartView chart{world.shared()};
    chart.setAnimationDuration(0);
    chart.resize(1000, 400);  // 254 for the plots under the tool bar and the strips
    MVLapPtr lap = lapWithSectors({0, 40, 100});
    chart.setXMax(100);
    chart.setXShift(100);
    chart.setReferenceLap(lap);
    chart.setArrayOfSelectedLaps({lap, lapWithSectors({0, 45, 104})});
    chart.setArrayOfSelectedKeys(keys(6));
    chart.setDataForPlots(series(6));
    chart.initSubviewsWithHideThumbnail(false);
    chart.show();

    MVChartPlotStackView* stack = chart.plotStackView();
    const auto check = [&](std::size_t n, bool scrolls) {
        SCOPED_TRACE(testing::Message() << n << " plots");
        ASSERT_EQ(stack->arrayOfPlotViews().size(), n);
        EXPECT_EQ(chart.plotScrollArea()->verticalScrollBar()->isVisible(), scrolls);
        for (MVChartPlotView* plot : stack->arrayOfPlotViews()) {
            EXPECT_GE(plot->height(), MVChartPlotView::kMinimumHeight);
            EXPECT_TRUE(plot->rect().contains(plot->legendView()->geometry()));
            // The strips' x scale is the plots' own: the same width, from the same left edge.
            EXPECT_EQ(plot->width(), chart.sectorView()->width());
            EXPECT_EQ(plot->width(), chart.thumbnailView()->width());
        }
        const int room = chart.plotScrollArea()->viewport()->height();
        EXPECT_EQ(stack->height(), std::max<int>(room, n * MVChartPlotView::kMinimumHeight));
    };
    check(6, true);
    EXPECT_LT(chart.sectorView()->width(), chart.width());

    stack->updatePlotStackViewWithArrayOfGLDPropertyKeys(keys(2), series(2));
    check(2, false);
    EXPECT_EQ(chart.sectorView()->width(), chart.width());
    EXPECT_EQ(stack->arrayOfPlotViews().front()->height(), 127);  // the room shared out

    stack->updatePlotStackViewWithArrayOfGLDPropertyKeys(keys(5), series(5));
    check(5, true);
}

}  // namespace
