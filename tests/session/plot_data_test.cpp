#include "tests/support/ManualSession.h"

#include "session/MVGLDFileManager.h"
#include "session/MVPlotData.h"
#include "session/MVPositionAlignment.h"
#include "session/MVSampleValues.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using testing_support::ManualSession;

MVPositionIndexesPtr positions(const std::vector<double>& times) {
    auto list = MVPositionIndexes::instance();
    for (double t : times) list->addValue(t);
    return list;
}

// One expected point; the values come from sample times and sums of hundredths, so they are
// compared to within a rounding error.
void expectCurve(const MVPlotCurve& curve, const std::vector<MVPlotPoint>& expected,
                 const std::string& what) {
    ASSERT_EQ(curve.size(), expected.size()) << what;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(curve[i].x, expected[i].x, 1e-9) << what << " point " << i;
        EXPECT_NEAR(curve[i].y, expected[i].y, 1e-9) << what << " point " << i;
    }
}

// A 10 Hz session of 30 rows: row i at i / 10 s, speed 50 + i km/h, "rpm" 1000 + 10 i.
// Lap A (slower): rows 2 ... 12, started at 0.15 s, ended at 1.25 s.
// Lap B (reference, faster): rows 14 ... 22, started at 1.35 s, ended at 2.25 s; aligned with
//   itself it has the positions 1.35, 1.5, 1.6, ..., 2.1, 2.25.
// Lap A's alignment: 0.15, 0.3, 0.45, ..., 1.2, 1.25 (9 positions, like B), so its delta time is
//   0, 0, 0.05, 0.1, 0.15, 0.2, 0.25, 0.3, 0.2.
// Lap C (short): rows 24 ... 28, with an alignment of 9 positions.
class PlotData : public ::testing::Test {
  protected:
    MVGLDFileManager manager;
    MVPlotData plots{manager};
    ManualSession alpha{"alpha",
                        {"satellites", "time", "latitude", "longitude", "velocity", "rpm"}};
    MVLapPtr lapA, lapB, lapC;

    const std::vector<double> deltaA = {0, 0, 0.05, 0.1, 0.15, 0.2, 0.25, 0.3, 0.2};

    void SetUp() override {
        for (int i = 0; i < 30; ++i) {
            alpha.addRow(i * 0.1, 50 + i, 51.0 + i * 0.0001, -1.0,
                         {{"satellites", "9"}, {"rpm", std::to_string(1000 + 10 * i)}});
        }
        alpha.install(manager);
        lapA = alpha.lap(2, 12, 1);
        lapA->setTimestampStart(0.15);
        lapA->setTimestampEnd(1.25);
        lapB = alpha.lap(14, 22, 2);
        lapB->setTimestampStart(1.35);
        lapB->setTimestampEnd(2.25);
        lapC = alpha.lap(24, 28, 3);

        MVPositionAlignment::fetchPositionIndexWithReferenceLap(*lapB, *lapB, manager);
        lapA->setPositionIndexes(positions({0.15, 0.3, 0.45, 0.6, 0.75, 0.9, 1.05, 1.2, 1.25}));
        lapC->setPositionIndexes(positions({2.4, 2.5, 2.6, 2.7, 2.8, 2.8, 2.8, 2.8, 2.8}));
    }

    static double speedAt(std::int64_t row) { return 50.0 + static_cast<double>(row); }
};

TEST_F(PlotData, TimeCurveRunsOverTheLapsSamplesFromItsInterpolatedStart) {
    std::vector<MVPlotPoint> expected;
    for (int row = 2; row <= 12; ++row) expected.push_back({row * 0.1 - 0.15, speedAt(row)});
    expectCurve(plots.timeBasedDataForPlotWithKey("velocity", *lapA), expected, "velocity");

    // Chosen units apply; a channel the session lacks reads as not available.
    manager.setSpeedUnit(1);
    const MVPlotCurve mph = plots.timeBasedDataForPlotWithKey("velocity", *lapA);
    EXPECT_NEAR(mph.front().y, speedAt(2) / 1.609344, 1e-9);
    const MVPlotCurve missing = plots.timeBasedDataForPlotWithKey("gear", *lapA);
    ASSERT_EQ(missing.size(), 11u);
    EXPECT_EQ(missing[5].y, MVSampleValues::kNotAvailable);
}

TEST_F(PlotData, PositionCurveReadsTheSampleAtOrBeforeEachAlignedTime) {
    // 0.15 falls between rows 1 and 2 (before the lap's first sample: the row before it),
    // 0.3 is row 3 exactly, 0.45 lies between rows 4 and 5, ..., 1.25 between rows 12 and 13.
    const std::int64_t rows[] = {1, 3, 4, 6, 7, 9, 10, 12, 12};
    std::vector<MVPlotPoint> expected;
    for (int k = 0; k < 9; ++k) expected.push_back({double(k), 1000.0 + 10.0 * rows[k]});
    expectCurve(plots.positionBasedDataForPlotWithKey("rpm", *lapA), expected, "rpm");

    // The reference lap's own alignment: its first and last positions are its start and end.
    const std::int64_t refRows[] = {13, 15, 16, 17, 18, 19, 20, 21, 22};
    expected.clear();
    for (int k = 0; k < 9; ++k) expected.push_back({double(k), speedAt(refRows[k])});
    expectCurve(plots.positionBasedDataForPlotWithKey("velocity", *lapB), expected, "reference");

    auto unaligned = alpha.lap(3, 8);
    EXPECT_TRUE(plots.positionBasedDataForPlotWithKey("velocity", *unaligned).empty());
}

TEST_F(PlotData, OneLapByTimeAndByPositionGivesOneCurvePerKeyAndDeltaZero) {
    const std::vector<std::string> keys = {"velocity", "delta t", "rpm"};
    const MVPlotSeries byTime = plots.dataTimeBasedForPlotsWithArrayOfLaps({lapB}, keys);
    ASSERT_EQ(byTime.size(), 3u);
    for (const MVPlotCurves& curves : byTime) ASSERT_EQ(curves.size(), 1u);
    EXPECT_EQ(byTime[0][0], plots.timeBasedDataForPlotWithKey("velocity", *lapB));
    EXPECT_EQ(byTime[2][0], plots.timeBasedDataForPlotWithKey("rpm", *lapB));
    std::vector<MVPlotPoint> flat;
    for (int i = 0; i < 9; ++i) flat.push_back({(14 + i) * 0.1 - 1.35, 0.0});
    expectCurve(byTime[1][0], flat, "delta t by time");

    const MVPlotSeries byPosition = plots.dataPositionBasedForPlotsWithArrayOfLaps({lapB}, keys);
    ASSERT_EQ(byPosition.size(), 3u);
    EXPECT_EQ(byPosition[0][0], plots.positionBasedDataForPlotWithKey("velocity", *lapB));
    flat.clear();
    for (int k = 0; k < 9; ++k) flat.push_back({double(k), 0.0});
    expectCurve(byPosition[1][0], flat, "delta t by position");
}

TEST_F(PlotData, TwoLapsCompareDeltaTimeWithTheLastLap) {
    const std::vector<std::string> keys = {"delta t", "velocity"};

    const MVPlotSeries byPosition =
        plots.dataPositionBasedForPlotsWithArrayOfLaps({lapA, lapB}, keys);
    ASSERT_EQ(byPosition.size(), 2u);
    ASSERT_EQ(byPosition[0].size(), 2u);
    std::vector<MVPlotPoint> expected;
    for (int k = 0; k < 9; ++k) expected.push_back({double(k), deltaA[k]});
    expectCurve(byPosition[0][0], expected, "slower lap by position");
    for (const MVPlotPoint& point : byPosition[0][1]) EXPECT_NEAR(point.y, 0.0, 1e-9);
    EXPECT_EQ(byPosition[1][0], plots.positionBasedDataForPlotWithKey("velocity", *lapA));
    EXPECT_EQ(byPosition[1][1], plots.positionBasedDataForPlotWithKey("velocity", *lapB));

    // By time the i-th delta value sits at the lap's i-th sample time; lap A has 11 samples but
    // the reference only 9 positions, so its curve stops after 9 points.
    const MVPlotSeries byTime = plots.dataTimeBasedForPlotsWithArrayOfLaps({lapA, lapB}, keys);
    expected.clear();
    for (int i = 0; i < 9; ++i) expected.push_back({(2 + i) * 0.1 - 0.15, deltaA[i]});
    expectCurve(byTime[0][0], expected, "slower lap by time");
    EXPECT_EQ(byTime[0][1].size(), 9u);
    EXPECT_EQ(byTime[1][0], plots.timeBasedDataForPlotWithKey("velocity", *lapA));

    // The order of the pair decides the reference: with B first and A last, B is compared with A.
    const MVPlotSeries swapped = plots.dataPositionBasedForPlotsWithArrayOfLaps({lapB, lapA}, keys);
    ASSERT_EQ(swapped[0][0].size(), 9u);
    EXPECT_NEAR(swapped[0][0][7].y, -0.3, 1e-9);
    for (const MVPlotPoint& point : swapped[0][1]) EXPECT_NEAR(point.y, 0.0, 1e-9);
}

TEST_F(PlotData, ShortLapByTimeStopsAtItsOwnLastSample) {
    const MVPlotSeries byTime =
        plots.dataTimeBasedForPlotsWithArrayOfLaps({lapC, lapB}, {"delta t"});
    ASSERT_EQ(byTime[0][0].size(), 5u);  // rows 24 ... 28
    EXPECT_NEAR(byTime[0][0][4].x, 2.8 - 2.4, 1e-9);
    // Position 4: (2.8 - 2.4) - (1.8 - 1.35).
    EXPECT_NEAR(byTime[0][0][4].y, 0.4 - 0.45, 1e-9);
    // By position the short lap still spans every position of the reference.
    const MVPlotSeries byPosition =
        plots.dataPositionBasedForPlotsWithArrayOfLaps({lapC, lapB}, {"delta t"});
    EXPECT_EQ(byPosition[0][0].size(), 9u);
}

TEST_F(PlotData, EmptyInputsAndLapsWithoutAlignment) {
    // No laps: one empty list of curves per key. No keys: nothing at all.
    for (const MVPlotSeries& series :
         {plots.dataTimeBasedForPlotsWithArrayOfLaps({}, {"velocity", "delta t"}),
          plots.dataPositionBasedForPlotsWithArrayOfLaps({}, {"velocity", "delta t"})}) {
        ASSERT_EQ(series.size(), 2u);
        EXPECT_TRUE(series[0].empty());
        EXPECT_TRUE(series[1].empty());
    }
    EXPECT_TRUE(plots.dataTimeBasedForPlotsWithArrayOfLaps({lapA, lapB}, {}).empty());
    EXPECT_TRUE(plots.dataPositionBasedForPlotsWithArrayOfLaps({lapA, lapB}, {}).empty());

    // A lap without an alignment has no delta time (rather than the reference's times negated),
    // and a missing lap keeps its place with an empty curve.
    auto unaligned = alpha.lap(3, 8);
    for (const MVPlotSeries& series :
         {plots.dataTimeBasedForPlotsWithArrayOfLaps({unaligned, nullptr, lapB}, {"delta t"}),
          plots.dataPositionBasedForPlotsWithArrayOfLaps({unaligned, nullptr, lapB},
                                                         {"delta t"})}) {
        ASSERT_EQ(series[0].size(), 3u);
        EXPECT_TRUE(series[0][0].empty());
        EXPECT_TRUE(series[0][1].empty());
        EXPECT_EQ(series[0][2].size(), 9u);
    }
    // A reference without an alignment gives no delta curve at all.
    const MVPlotSeries noReference =
        plots.dataPositionBasedForPlotsWithArrayOfLaps({lapA, unaligned}, {"delta t"});
    EXPECT_TRUE(noReference[0][0].empty());
}

}  // namespace
