#include "tests/support/TempDir.h"

#include "session/MVGlobalData.h"
#include "session/MVOptionsAndSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testing_support::TempDir;

MVLapPtr lapHandle() {
    return MVLap::instance();
}

class SelectionTest : public testing::Test {
  protected:
    TempDir dir;
    platform::UserDefaults store{dir / "defaults.json"};
    MVOptionsAndSettings options{store};
    MVGlobalData selection{options};
};

struct WidthLimitsCase {
    int32_t displayMode;
    int32_t mode;
    double min, max, byDefault;
};

class SelectionWidthLimits : public SelectionTest,
                             public testing::WithParamInterface<WidthLimitsCase> {};

TEST_P(SelectionWidthLimits, FollowDisplayModeFirstThenAxis) {
    const auto& c = GetParam();
    options.setDisplayMode(c.displayMode);
    options.setMode(c.mode);
    EXPECT_EQ(selection.MinValue(), c.min);
    EXPECT_EQ(selection.MaxValue(), c.max);
    EXPECT_EQ(selection.DefaultValue(), c.byDefault);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectionWidthLimits,
    testing::Values(
        // Whole session: the axis is not consulted.
        WidthLimitsCase{1, 0, 200, 5000, 750}, WidthLimitsCase{1, 1, 200, 5000, 750},
        WidthLimitsCase{0, 0, 20, 500, 150}, WidthLimitsCase{0, 1, 200, 5000, 1500},
        WidthLimitsCase{0, 7, 200, 5000, 1500}, WidthLimitsCase{3, 0, 20, 500, 150}));

TEST_F(SelectionTest, LimitsFollowSilentOptionChangesToo) {
    options.safelyChangeMVModeWithoutKVO(0);
    EXPECT_EQ(selection.MaxValue(), 500);
    options.safelyChangeMVDisplayModeWithoutKVO(1);
    EXPECT_EQ(selection.MaxValue(), 5000);
    EXPECT_EQ(selection.DefaultValue(), 750);
}

TEST_F(SelectionTest, StartsEmptyAndSettersNotifyEveryTime) {
    EXPECT_TRUE(selection.selectedLaps().empty());
    EXPECT_TRUE(selection.selectedKeys().empty());
    EXPECT_EQ(selection.bestLap(), nullptr);

    int lapsCalls = 0, keysCalls = 0, bestCalls = 0;
    std::vector<MVLapPtr> lastLaps;
    auto t1 = selection.observeSelectedLaps([&](const auto&, const auto& now) {
        ++lapsCalls;
        lastLaps = now;
    });
    auto t2 = selection.observeSelectedKeys([&](const auto&, const auto&) { ++keysCalls; });
    auto t3 = selection.observeBestLap([&](const auto&, const auto&) { ++bestCalls; });

    const auto slow = lapHandle(), fast = lapHandle();
    selection.setSelectedLaps({slow, fast});
    selection.setSelectedLaps({slow, fast});
    selection.setSelectedKeys({"velocity"});
    selection.setBestLap(fast);
    selection.setBestLap(fast);

    EXPECT_EQ(lapsCalls, 2);
    EXPECT_EQ(lastLaps, (std::vector<MVLapPtr>{slow, fast}));
    EXPECT_EQ(keysCalls, 1);
    EXPECT_EQ(bestCalls, 2);
}

TEST_F(SelectionTest, SilentWritesReachNoObserver) {
    const auto lap = lapHandle();
    selection.setSelectedKeys({"velocity", "height"});
    selection.setSelectedLaps({lap});
    selection.setBestLap(lap);

    int calls = 0;
    auto t1 = selection.observeSelectedLaps([&](const auto&, const auto&) { ++calls; });
    auto t2 = selection.observeSelectedKeys([&](const auto&, const auto&) { ++calls; });
    auto t3 = selection.observeBestLap([&](const auto&, const auto&) { ++calls; });

    const auto other = lapHandle();
    selection.safelyChangeSelectedLapsWithoutKVO({other});
    EXPECT_EQ(selection.selectedLaps(), std::vector<MVLapPtr>{other});

    selection.resetData();
    EXPECT_TRUE(selection.selectedLaps().empty());
    EXPECT_TRUE(selection.selectedKeys().empty());
    EXPECT_EQ(selection.bestLap(), nullptr);
    EXPECT_EQ(calls, 0);

    // An empty list set afterwards still notifies.
    selection.setSelectedLaps({});
    EXPECT_EQ(calls, 1);
}

}  // namespace
