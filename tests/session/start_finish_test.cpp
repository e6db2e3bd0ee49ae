#include "session/MVGLDFormat.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVStartFinish.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(StartFinish, LaptimingNumbersGiveGates) {
    const auto start = MVGLDFormat::parseLaptimingLine("  Start +0120.0 3060.0 -60.0  3000.0 \r");
    ASSERT_EQ(start.numbers, (std::vector<double>{120.0, 3060.0, -60.0, 3000.0}));

    const auto gate = MVStartFinish::gateFromLaptimingNumbers(start.numbers);
    ASSERT_NE(gate, nullptr);
    // First point is the next location, second the previous; longitudes change sign.
    EXPECT_EQ(gate->nextLocation()->longitude(), -2.0);
    EXPECT_EQ(gate->nextLocation()->latitude(), 51.0);
    EXPECT_EQ(gate->previousLocation()->longitude(), 1.0);
    EXPECT_EQ(gate->previousLocation()->latitude(), 50.0);

    const auto finish = MVGLDFormat::parseLaptimingLine("Finish 1 2 3");
    EXPECT_EQ(MVStartFinish::gateFromLaptimingNumbers(finish.numbers), nullptr);
}

// A place `east` metres east and `north` metres north of 0, 0 (one degree is 111200.42 m there
// both ways).
MVLocationPtr placeAt(double east, double north) {
    auto location = MVLocation::instance();
    location->setLatitude(north / 111200.42443169142);
    location->setLongitude(east / 111200.42443169142);
    return location;
}

// The gate-crossings memo of a load gives what detecting gives, and detects afresh when the gate
// moves or the gate width changes in between (the user may set it while a session loads).
TEST(StartFinish, CrossingsMemoAnswersForTheGateAndWidthItWasAskedFor) {
    auto& options = MVOptionsAndSettings::sharedManager();
    const std::int64_t saved = options.gateWidth();
    // Three passes eastward along the line 5 m north of the gate's end point, one metre a step.
    std::vector<MV2DSegmentPtr> points;
    for (int pass = 0; pass < 3; ++pass) {
        for (int x = -40; x <= 40; ++x) {
            auto point = MV2DSegment::instance();
            point->setPoint({x + 0.25, 5.0});
            point->setTime(0.1 * static_cast<double>(points.size()));
            points.push_back(point);
        }
    }
    MVPreviousNextLocation gate;
    gate.setPreviousLocation(placeAt(-5, 0));
    gate.setNextLocation(placeAt(0, 0));
    const MVLocation base;
    const auto same = [](const MVStartFinish::Crossings& a, const MVStartFinish::Crossings& b) {
        if (a.starts.size() != b.starts.size()) return false;
        for (std::size_t k = 0; k < a.starts.size(); ++k) {
            if (a.starts[k].position != b.starts[k].position ||
                a.starts[k].time != b.starts[k].time) {
                return false;
            }
        }
        return true;
    };

    MVStartFinish::CrossingsMemo memo;
    options.setGateWidth(25);
    const auto wide = memo.detect(points, gate, nullptr, base, nullptr);
    EXPECT_EQ(wide.starts.size(), 3u);
    EXPECT_TRUE(same(wide, MVStartFinish::detectCrossings(points, gate, nullptr, base)));
    EXPECT_TRUE(same(memo.detect(points, gate, nullptr, base, nullptr), wide));

    // The gate 10 m further east: later crossings.
    gate.setNextLocation(placeAt(10, 0));
    const auto moved = memo.detect(points, gate, nullptr, base, nullptr);
    EXPECT_EQ(moved.starts.size(), 3u);
    EXPECT_TRUE(same(moved, MVStartFinish::detectCrossings(points, gate, nullptr, base)));
    EXPECT_FALSE(same(moved, wide));

    // A gate 3 m wide misses the line 5 m off its end point.
    options.setGateWidth(3);
    EXPECT_TRUE(memo.detect(points, gate, nullptr, base, nullptr).starts.empty());
    options.setGateWidth(saved);
}

}  // namespace
