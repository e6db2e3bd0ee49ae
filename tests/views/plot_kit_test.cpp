// The plot kit's arithmetic: the range clamp, y ranges, ticks, smoothing and decimation.
#include "views/MVPlotKit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using MVPlotKit::kNotAvailable;

TEST(PlotKit, ClampKeepsTheVisibleRangeWithinTheLap) {
    struct Case {
        const char* name;
        MVPlotRange in;
        MVPlotRange out;
    } cases[] = {
        {"inside", {10, 20}, {10, 20}},        {"below 0", {-5, 20}, {0, 20}},
        {"past xMax", {90, 20}, {80, 20}},     {"wider than xMax", {-10, 150}, {0, 100}},
        {"NaN", {std::nan(""), 20}, {0, 100}}, {"zero length", {10, 0}, {0, 100}},
    };
    for (const Case& c : cases) EXPECT_EQ(MVPlotKit::clampXRange(c.in, 100), c.out) << c.name;
}

TEST(PlotKit, YRangeByChannelWithGapsLeftOut) {
    struct Case {
        const char* name;
        const char* key;
        MVPlotCurves curves;
        MVPlotRange expected;
    } cases[] = {
        {"flat at or above 0", "rpm", {{{0, 3}, {1, 3}}}, {2, 2}},
        {"flat below 0: top stays 0", "rpm", {{{0, -4}, {1, -4}}}, {-4.4, 4.8}},
        {"velocity", "velocity", {{{0, 50}, {1, 100}}}, {0, 110}},
        {"delta t", "delta t", {{{0, -2}, {1, 1}}, {}}, {-2.2, 4.4}},
        {"other", "rpm", {{{0, 10}, {1, 20}}}, {9, 12}},
        {"gaps never count",
         "rpm",
         {{{0, kNotAvailable}, {1, 10}, {2, kNotAvailable}, {3, 20}}},
         {9, 12}},
        {"no value at all", "rpm", {{{0, kNotAvailable}}, {}}, {-1, 2}},
    };
    for (const Case& c : cases) {
        const MVPlotRange r = MVPlotKit::yRangeForKey(c.key, MVPlotKit::valueBounds(c.curves));
        EXPECT_NEAR(r.location, c.expected.location, 1e-9) << c.name;
        EXPECT_NEAR(r.length, c.expected.length, 1e-9) << c.name;
    }
}

TEST(PlotKit, TickIntervals) {
    const MVPlotKit::ValueBounds flat{3, 3, true};
    EXPECT_EQ(MVPlotKit::yMajorInterval({2, 2}, flat), 0.0);
    EXPECT_NEAR(MVPlotKit::yMajorInterval({9, 12}, {20, 10, true}), 12.0 / 5 - 1, 1e-12);
    EXPECT_NEAR(MVPlotKit::yMajorInterval({9, 5}, {20, 10, true}), 1.0, 1e-12);
    EXPECT_NEAR(MVPlotKit::yMajorInterval({0, 110}, {100, 0, true}), 22.0, 1e-12);
    // About one label per 90 pixels, on 1-2-5 steps.
    EXPECT_EQ(MVPlotKit::automaticTickInterval(150, 1600), 10.0);
    EXPECT_EQ(MVPlotKit::automaticTickInterval(3600, 900), 500.0);
    EXPECT_EQ(MVPlotKit::automaticTickInterval(0, 900), 0.0);
    EXPECT_EQ(MVPlotKit::tickValues(-0.5, 2.1, 1.0), (std::vector<double>{0, 1, 2}));
    EXPECT_TRUE(MVPlotKit::tickValues(0, 10, 0).empty());
}

TEST(PlotKit, SmoothingAtTheEndsAndAcrossAGap) {
    const MVPlotCurve in{{0, 0}, {1, 7}, {2, 0}, {3, 0}, {4, 0}, {5, kNotAvailable},
                         {6, 8}, {7, 4}};
    const MVPlotCurve out = MVPlotKit::smoothCurve(in);
    ASSERT_EQ(out.size(), in.size());
    EXPECT_DOUBLE_EQ(out[0].y, 7.0 / 4);  // indexes 0..3
    EXPECT_DOUBLE_EQ(out[1].y, 7.0 / 5);  // 0..4: the run ends before the gap
    EXPECT_DOUBLE_EQ(out[4].y, 7.0 / 4);  // 1..4
    EXPECT_EQ(out[5].y, kNotAvailable);   // the gap stays a gap
    EXPECT_DOUBLE_EQ(out[6].y, 6.0);      // 6..7, nothing from before the gap
    EXPECT_DOUBLE_EQ(out[7].x, 7.0);
}

TEST(PlotKit, DecimationKeepsASpikeAndReadsEachCurveOnItsOwnBounds) {
    MVPlotCurve flat, longer;
    for (int i = 0; i < 100000; ++i) flat.push_back({i * 0.01, 1.0});
    flat[51234].y = 50.0;  // one sample
    for (int i = 0; i < 300000; ++i) longer.push_back({i * 0.01, 2.0});
    const MVPlotRange range{0, 3000};
    size_t points = 0;
    bool spike = false;
    for (const MVPlotCurve& line : MVPlotKit::decimateCurve(flat, range, 800)) {
        points += line.size();
        for (const MVPlotPoint& p : line) spike = spike || p.y == 50.0;
    }
    EXPECT_TRUE(spike);
    EXPECT_LE(points, 4u * 802u);
    const auto lines = MVPlotKit::decimateCurve(longer, range, 800);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NEAR(lines.back().back().x, 2999.99, 1e-6);  // read to its own end
}

TEST(PlotKit, DecimationBreaksLinesAtGaps) {
    const MVPlotCurve curve{{0, 1}, {1, 2}, {2, kNotAvailable}, {3, 4}, {4, 5}};
    const auto lines = MVPlotKit::decimateCurve(curve, {0, 4}, 400);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].back().x, 1);
    EXPECT_EQ(lines[1].front().x, 3);
}

}  // namespace
