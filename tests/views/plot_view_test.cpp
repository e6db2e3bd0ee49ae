// The channel plot: curve slots and colours, gaps, and the mouse (cursor, zoom box, fit, pan,
// wheel).
#include "tests/views/ChartWorld.h"

#include "views/MVChartLegendView.h"
#include "views/MVChartPlotView.h"
#include "views/MVPlotKit.h"

#include "widgets/MVHelperColors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>

namespace {

using namespace testing_support;

MVPlotCurve ramp(double to, double step = 0.1) {
    MVPlotCurve curve;
    for (int i = 0; i * step <= to + 1e-9; ++i) curve.push_back({i * step, i * step});
    return curve;
}

class PlotViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view.resize(1000, 200);
        view.initPlotViewWithDataForPlot({ramp(100)}, {MVLap::instance()}, "rpm", 100, 50, -25);
    }
    ChartWorld world;
    MVChartPlotView view{world.shared()};
};

TEST_F(PlotViewTest, SetUpPublishesTheClampedRange) {
    EXPECT_EQ(view.xRange(), (MVPlotRange{0, 50}));
    EXPECT_EQ(world.sync.graphCurrentRange(), (MVPlotRange{0, 50}));
    EXPECT_EQ(view.curveColor(0), MVHelper::Gui::FasterColor());
}

struct MouseCase {
    const char* name;
    std::function<void(MVChartPlotView&, ChartWorld&)> act;
    MVPlotRange range;
    std::optional<double> selection;  // graphXSelection afterwards, when one was written
};

class PlotMouseTest : public PlotViewTest, public ::testing::WithParamInterface<MouseCase> {};

TEST_P(PlotMouseTest, Gesture) {
    const MouseCase& c = GetParam();
    std::optional<double> selection;
    auto token = world.sync.observeGraphXSelection([&](double, double v) { selection = v; });
    c.act(view, world);
    EXPECT_EQ(view.xRange(), c.range);
    ASSERT_EQ(selection.has_value(), c.selection.has_value());
    if (selection) {
        EXPECT_NEAR(*selection, *c.selection, 1e-9);
    }
    EXPECT_FALSE(view.hasZoomBox());
}

INSTANTIATE_TEST_SUITE_P(
    Mouse, PlotMouseTest,
    ::testing::Values(MouseCase{"ClickSetsTheCursor",
                                [](auto& v, auto&) {
                                    click(&v, {500, 100});
                                },
                                {0, 50},
                                25.0},
                      MouseCase{"PressNearTheLineDragsIt",
                                [](auto& v, auto&) {
                                    v.updateCurrentPosition(25);
                                    sendMouse(&v, QEvent::MouseButtonPress, {504, 100});
                                    EXPECT_TRUE(v.isDraggingCursor());
                                    sendMouse(&v, QEvent::MouseMove, {700, 100});
                                    EXPECT_NEAR(v.cursorX(), 35, 1e-9);
                                    sendMouse(&v, QEvent::MouseButtonRelease, {800, 100});
                                },
                                {0, 50},
                                40.0},
                      MouseCase{"ShortRightDragSetsTheCursor",
                                [](auto& v, auto&) {
                                    drag(&v, {200, 100}, {204, 100});
                                },
                                {0, 50},
                                10.2},
                      MouseCase{"RightDragZooms",
                                [](auto& v, auto&) {
                                    drag(&v, {200, 100}, {400, 100});
                                },
                                {10, 10},
                                std::nullopt},
                      MouseCase{"NoZoomBelowWidth50",
                                [](auto& v, auto&) {
                                    v.updatePlotByLocation(0, 40);
                                    sendMouse(&v, QEvent::MouseButtonPress, {200, 100});
                                    sendMouse(&v, QEvent::MouseMove, {400, 100});
                                    EXPECT_TRUE(v.zoomBoxRect().isEmpty());
                                    sendMouse(&v, QEvent::MouseButtonRelease, {400, 100});
                                },
                                {0, 40},
                                std::nullopt},
                      MouseCase{"LeftDragFits",
                                [](auto& v, auto&) {
                                    drag(&v, {400, 100}, {200, 100});
                                },
                                {0, 100},
                                std::nullopt},
                      MouseCase{"CtrlDragPans",
                                [](auto& v, auto&) {
                                    v.updatePlotByLocation(20, 50);
                                    drag(&v, {500, 100}, {400, 100}, Qt::ControlModifier);
                                },
                                {25, 50},
                                std::nullopt},
                      MouseCase{"WheelScrollsTheSharedRange",
                                [](auto& v, auto& w) {
                                    wheel(&v, 120);
                                    EXPECT_EQ(w.sync.graphCurrentRange(), (MVPlotRange{2, 50}));
                                    wheel(&v, -120);
                                    EXPECT_EQ(w.sync.graphCurrentRange(), (MVPlotRange{0, 50}));
                                },
                                {0, 50},
                                std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// One curve that spans [low, top].
MVPlotCurves spanning(double low, double top) {
    return {{{0.0, low}, {50.0, top}, {100.0, low}}};
}

struct LabelCase {
    const char* key;
    double low, top;
};

// At every height, from a squeezed 30 px to a roomy 400, each y label lies wholly inside the plot
// (above the bottom plot's x labels), beside its own grid line, clear of the title and of the
// other labels; crowded labels are thinned to every n-th one between the lowest and the highest,
// which always show, never stacked; from the least height of a plot up, at least two labels and
// the two-lap legend fit, the highest grid line labelled.
TEST(PlotLabels, InsideThePlotClearOfTheTitleAndOfEachOther) {
    const LabelCase cases[] = {{"velocity", 0, 225},
                               {"delta t", -4, 6},
                               {"lat acc", -1.1, 1.1},
                               {"rpm", 2000, 7400},
                               {"long acc", -0.02, 0.01}};
    for (const LabelCase& c : cases) {
        for (int h : {30, 36, MVChartPlotView::kMinimumHeight, 110, 400}) {
            for (bool xAxis : {false, true}) {
                ChartWorld world;
                MVChartPlotView view{world.shared()};
                view.resize(900, h);
                view.initPlotViewWithDataForPlot(spanning(c.low, c.top),
                                                 {MVLap::instance(), MVLap::instance()}, c.key, 100,
                                                 100, 0);
                view.setHideXAxis(!xAxis);
                SCOPED_TRACE(testing::Message() << c.key << " at " << h << (xAxis ? " x" : ""));
                const auto labels = view.yAxisLabels();
                const QRectF title = view.titleLabel().rect;
                const double bottom = h - 1 - (xAxis ? 18 : 0);
                // A label is its value rounded to its last digit.
                const auto unit = [](const QString& text) {
                    const auto dot = text.indexOf('.');
                    return dot < 0 ? 1.0 : std::pow(10.0, -(text.size() - dot - 1));
                };
                for (std::size_t i = 0; i < labels.size(); ++i) {
                    const QRectF& r = labels[i].rect;
                    const double rounding = unit(labels[i].text);
                    EXPECT_GE(r.top(), 0);
                    EXPECT_LE(r.bottom(), bottom);
                    EXPECT_GE(r.left(), 0);
                    EXPECT_FALSE(r.intersects(title)) << labels[i].text.toStdString();
                    if (i > 0) {
                        EXPECT_FALSE(r.intersects(labels[i - 1].rect));
                        // Thinned evenly: the same value step between every two labels shown
                        // between the lowest and the highest.
                        if (i > 1 && i + 1 < labels.size()) {
                            EXPECT_NEAR(
                                labels[i].text.toDouble() - labels[i - 1].text.toDouble(),
                                labels[i - 1].text.toDouble() - labels[i - 2].text.toDouble(),
                                2.01 * rounding);
                        }
                    }
                    // The label touches its line: the value's height lies on its top or bottom.
                    const MVPlotRange y = view.yRange();
                    const double line =
                        (h - 1) - (labels[i].text.toDouble() - y.location) / y.length * (h - 1);
                    const double slack = 1.5 + rounding / y.length * h;
                    EXPECT_TRUE(std::abs(r.bottom() - line) < slack ||
                                std::abs(r.top() - line) < slack)
                        << labels[i].text.toStdString();
                }
                if (h >= MVChartPlotView::kMinimumHeight) {
                    ASSERT_GE(labels.size(), 2u);
                    // No grid line above the highest label: the scale reads to the top.
                    const MVPlotRange y = view.yRange();
                    EXPECT_GT(labels.back().text.toDouble() + view.yMajorInterval(),
                              y.location + y.length - unit(labels.back().text))
                        << labels.back().text.toStdString();
                    EXPECT_TRUE(view.rect().contains(view.legendView()->geometry()));
                }
            }
        }
    }
}

TEST(PlotViewAlone, WheelDoesNothingWithoutAPublishedRange) {
    ChartWorld world;
    MVChartPlotView view(world.shared());
    view.resize(400, 100);
    int writes = 0;
    auto token = world.sync.observeGraphCurrentRange([&](auto&, auto&) { ++writes; });
    wheel(&view, 120);
    // No x extent: set-up publishes nothing rather than [0, 0].
    view.initPlotViewWithDataForPlot(MVPlotCurves{}, {}, "rpm", 0, 150, -75);
    EXPECT_EQ(writes, 0);
    EXPECT_FALSE(world.sync.graphCurrentRange());
}

// A lap without points keeps its slot and colour; "N/A" anywhere is a gap, never a value.
TEST(PlotViewAlone, EveryLapKeepsItsSlotAndColour) {
    ChartWorld world;
    MVChartPlotView view(world.shared());
    view.resize(400, 100);
    const MVPlotCurve gappy{{0, 5}, {1, MVPlotKit::kNotAvailable}, {2, 15}};
    view.initPlotViewWithDataForPlot(MVPlotCurves{{}, gappy},
                                     {MVLap::instance(), MVLap::instance()}, "rpm", 10, 5, -2.5);
    ASSERT_EQ(view.dataForPlot().size(), 2u);
    EXPECT_TRUE(view.dataForPlot()[0].empty());
    EXPECT_EQ(view.curveColor(0), MVHelper::Gui::SlowerColor());
    EXPECT_EQ(view.curveColor(1), MVHelper::Gui::FasterColor());
    EXPECT_NEAR(view.yRange().location, 4.0, 1e-9);  // 5..15, the gap left out
    EXPECT_NEAR(view.yRange().length, 12.0, 1e-9);

    // Two laps of "delta t": the reference's own curve is not drawn.
    view.initPlotViewWithDataForPlot(
        MVPlotCurves{gappy, gappy}, {MVLap::instance(), MVLap::instance()}, "delta t", 10, 5, -2.5);
    EXPECT_EQ(view.curveColor(1).alpha(), 0);
    QImage image(400, 100, QImage::Format_ARGB32);
    view.render(&image);  // draws with gaps and empty slots
    EXPECT_EQ(view.curveRenders(), 1);
    view.updateCurrentPosition(3);
    view.render(&image);  // a cursor move reuses the curve picture
    EXPECT_EQ(view.curveRenders(), 1);
}

}  // namespace
