#include "session/MVHelperGeometry.h"
#include "session/MVOptionsAndSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

MVLocation location(double latitude, double longitude, double speed = 0, double timestamp = 0) {
    MVLocation l;
    l.setLatitude(latitude);
    l.setLongitude(longitude);
    l.setSpeed(speed);
    l.setTimestamp(timestamp);
    return l;
}

MV2DSegment point(double x, double y, double time = 0) {
    MV2DSegment s;
    s.setPoint({x, y});
    s.setTime(time);
    return s;
}

// ---- plane conversion ----

TEST(GeometryPlane, LongitudeScale) {
    EXPECT_EQ(MVHelper::calculateRatio(location(0, 0)), 1.0);
    EXPECT_EQ(MVHelper::calculateRatio(location(0, -1)), 1.0);
    EXPECT_DOUBLE_EQ(MVHelper::calculateRatio(location(45, 0)), 0.7071022936888585);
    EXPECT_NEAR(MVHelper::calculateRatio(location(45, 0)), 0.7071022, 1e-7);
    EXPECT_DOUBLE_EQ(MVHelper::calculateRatio(location(60, 0)), 0.4999952403297973);
    EXPECT_NEAR(MVHelper::calculateRatio(location(60, 0)), 0.4999952, 1e-7);
    // Independent of the longitude, and a little below the cosine of the latitude.
    EXPECT_DOUBLE_EQ(MVHelper::calculateRatio(location(60, 10)), 0.4999952403297973);
    EXPECT_LT(MVHelper::calculateRatio(location(60, 0)), 0.5);
}

TEST(GeometryPlane, LocationToPointUsesTheLocationsOwnLatitude) {
    const MVLocation base = location(51.0, -1.0);
    const MVLocation here = location(51.001, -1.001, 87.5, 12.34);

    const MVPoint metres = MVHelper::convertLocationToMeter(here, base);
    EXPECT_DOUBLE_EQ(metres.x, -69.97864955454642);
    EXPECT_DOUBLE_EQ(metres.y, 111.20042399974085);
    EXPECT_NEAR(metres.x, -69.9786, 1e-4);
    EXPECT_NEAR(metres.y, 111.2004, 1e-4);

    const MV2DSegmentPtr segment = MVHelper::convertLocationToSegment(here, base);
    ASSERT_NE(segment, nullptr);
    EXPECT_EQ(segment->point(), metres);
    EXPECT_EQ(segment->speed(), 87.5);
    EXPECT_EQ(segment->time(), 12.34);

    EXPECT_EQ(MVHelper::convertLocationToMeter(base, base), (MVPoint{0, 0}));
}

TEST(GeometryPlane, DistanceOfTwoMapPoints) {
    EXPECT_EQ(MVHelper::calculateDistance(point(1, 2), point(4, 6)), 5.0);
    EXPECT_EQ(MVHelper::calculateDistance(point(4, 6), point(1, 2)), 5.0);
    EXPECT_EQ(MVHelper::calculateDistance(point(-3, 7), point(-3, 7)), 0.0);
}

// ---- gate crossing ----

TEST(GeometryCrossing, WorkedExampleThroughTheNudge) {
    // Gate from (0, -10) to (0, 0): the gate line is (almost) the x axis.
    const MV2DSegment start = point(0, -10), end = point(0, 0);
    const double t =
        MVHelper::interpolateTime(point(5, 3, 10.1), point(5, -2, 10.0), start, end, 25);
    EXPECT_EQ(t, 10.04000001);
    EXPECT_EQ(MVHelper::interpolateTime(point(30, 3, 10.1), point(30, -2, 10.0), start, end, 25),
              0.0);
}

struct CrossingCase {
    std::string name;
    MV2DSegment current, previous, start, end;
    std::int64_t gateWidth;
    double expected;
};

TEST(GeometryCrossing, Table) {
    const double d30 = 30 / std::sqrt(2.0);  // both coordinates of a point 30 m from the origin
    const MV2DSegment north = point(0, -10), origin = point(0, 0);
    const MV2DSegment diagonal = point(-10, -10);  // gate line y = -x through the origin
    const std::vector<CrossingCase> cases = {
        {"middle, northwards", point(5, 3, 10.1), point(5, -2, 10.0), north, origin, 25,
         10.04000001},
        {"middle, southwards", point(5, -2, 10.1), point(5, 3, 10.0), north, origin, 25,
         10.05999999},
        {"diagonal gate, half way", point(2, 1, 10.1), point(-2, -1, 10.0), diagonal, origin, 25,
         10.05},
        {"east-west direction uses the flat slope", point(3, 0, 10.1), point(-2, 0, 10.0),
         point(-10, 0), origin, 25, 10.04},
        {"zero-length gate acts like an east-west direction", point(3, 0, 10.1), point(-2, 0, 10.0),
         origin, origin, 25, 10.04},
        {"current point on the line gives its own time", point(1, -1, 10.1), point(-2, -1, 10.0),
         diagonal, origin, 25, 10.1},
        {"previous point on the line starts no crossing", point(2, 1, 10.2), point(1, -1, 10.1),
         diagonal, origin, 25, 0},
        {"step along the line", point(2, -2, 10.1), point(1, -1, 10.0), diagonal, origin, 25, 0},
        {"parallel to the line, one side", point(8, -2, 10.1), point(5, -2, 10.0), north, origin,
         25, 0},
        {"moving away from the line", point(5, -5, 10.1), point(5, -2, 10.0), north, origin, 25, 0},
        {"zero-length step", point(5, 3, 10.1), point(5, 3, 10.0), north, origin, 25, 0},
        {"both ends 30 m from the gate end", point(d30, d30, 10.1), point(d30, -d30, 10.0), north,
         origin, 25, 0},
        {"one end exactly at the gate width", point(15, 20, 10.1), point(d30, -d30, 10.0), north,
         origin, 25, 10.051471866947352},
        {"crossing beyond the gate width", point(30, 3, 10.1), point(30, -2, 10.0), north, origin,
         25, 0},
        {"zero gate width", point(0, 1, 10.1), point(0, -1, 10.0), north, origin, 0, 0},
    };
    for (const auto& c : cases) {
        const double t =
            MVHelper::interpolateTime(c.current, c.previous, c.start, c.end, c.gateWidth);
        EXPECT_TRUE(std::isfinite(t)) << c.name;
        EXPECT_DOUBLE_EQ(t, c.expected) << c.name;
    }
}

TEST(GeometryCrossing, PassageTellsItsWayAndHowFarFromTheMiddleItMeetsTheLine) {
    // The gate points north through the origin: its line is the x axis.
    const MV2DSegment start = point(0, -10), end = point(0, 0);
    struct Case {
        const char* what;
        MV2DSegment current, previous;
        bool wholeStep;
        double time;
        bool along;
        double offCentre;
    };
    const double far = 40;  // both ends farther than the width from the gate's end point
    const Case cases[] = {
        {"northwards, the gate's way", point(5, 3, 10.1), point(5, -2, 10.0), false, 10.04000001,
         true, 5.000000004},
        {"southwards, the other way", point(-5, -2, 10.1), point(-5, 3, 10.0), false, 10.06, false,
         5.000000006},
        {"the other way beside the gate", point(-22, -1, 10.1), point(-22, 1, 10.0), false, 10.05,
         false, 22.000000005},
        {"a long step through the gate", point(20, far, 11.0), point(-20, -far, 10.0), true, 10.5,
         true, 0.0000005},
        {"a long step, looked at by its ends only", point(20, far, 11.0), point(-20, -far, 10.0),
         false, 0, true, 0},
        {"a long step past the gate's width", point(60, far, 11.0), point(20, -far, 10.0), true, 0,
         true, 0},
    };
    for (const Case& c : cases) {
        const auto passage =
            MVHelper::passageThroughGate(c.current, c.previous, start, end, 25, c.wholeStep);
        EXPECT_NEAR(passage.time, c.time, 1e-6) << c.what;
        if (c.time == 0) continue;
        EXPECT_EQ(passage.along, c.along) << c.what;
        EXPECT_NEAR(passage.offCentre, c.offCentre, 1e-6) << c.what;
        // The time is the one the crossing tests give.
        const double time =
            c.wholeStep
                ? MVHelper::interpolateTimeThroughGate(c.current, c.previous, start, end, 25)
                : MVHelper::interpolateTime(c.current, c.previous, start, end, 25);
        EXPECT_EQ(passage.time, time) << c.what;
    }
}

TEST(GeometryCrossing, ReadsTheSharedGateWidthOnEveryCall) {
    auto& options = MVOptionsAndSettings::sharedManager();
    const std::int64_t saved = options.gateWidth();
    // The step crosses 20 m from the gate end.
    const MV2DSegment current = point(20, 3, 10.1), previous = point(20, -2, 10.0);
    const MV2DSegment start = point(0, -10), end = point(0, 0);

    options.setGateWidth(10);
    EXPECT_EQ(MVHelper::interpolateTime(current, previous, start, end), 0.0);
    options.setGateWidth(25);
    EXPECT_DOUBLE_EQ(MVHelper::interpolateTime(current, previous, start, end),
                     MVHelper::interpolateTime(current, previous, start, end, 25));
    EXPECT_GT(MVHelper::interpolateTime(current, previous, start, end), 10.0);
    options.setGateWidth(saved);
}

// ---- passing a place ----

TEST(GeometryPassing, FootOfThePerpendicularAsATime) {
    struct Case {
        std::string name;
        MV2DSegment a, b, c;
        double expected;
    };
    const MV2DSegment b = point(0, 0, 10), c = point(10, 0, 11);
    const std::vector<Case> cases = {
        {"on the step, half way", point(5, 0), b, c, 10.5},
        {"off the step, foot at 0.3", point(3, 4), b, c, 10.3},
        {"general position", point(7, -3), point(1, 1, 20), point(4, 5, 20.5), 20.04},
        {"on the line beyond C", point(15, 0), b, c, 11.5},
        {"on the line behind B is before B", point(-5, 0), b, c, 9.5},
        {"just off the line behind B", point(-5, 0.001), b, c, 9.5},
        {"vertical step, ahead", point(0, 5), b, point(0, 10, 11), 10.5},
        {"vertical step, behind", point(0, -5), b, point(0, 10, 11), 9.5},
        {"A at B", point(0, 0), b, c, 10},
    };
    for (const auto& k : cases) {
        EXPECT_DOUBLE_EQ(MVHelper::interpolateTimeUsingSSSTriangles(k.a, k.b, k.c), k.expected)
            << k.name;
    }
}

TEST(GeometryPassing, BehindBOnTheLineMatchesJustOffTheLine) {
    // Approaching the collinear case from off the line must not flip the sign.
    const MV2DSegment b = point(2, 3, 50), c = point(5, 7, 51);  // |BC| = 5
    const double onLine = MVHelper::interpolateTimeUsingSSSTriangles(point(-1, -1), b, c);
    const double offLine = MVHelper::interpolateTimeUsingSSSTriangles(point(-1, -0.999), b, c);
    EXPECT_DOUBLE_EQ(onLine, 49.0);
    EXPECT_NEAR(offLine, onLine, 1e-3);
}

TEST(GeometryPassing, StepWithoutLengthGivesTheStartTime) {
    const MV2DSegment b = point(4, 4, 30), c = point(4, 4, 31);
    for (const MV2DSegment& a : {point(4, 4), point(9, 4), point(-1, 7)}) {
        const double t = MVHelper::interpolateTimeUsingSSSTriangles(a, b, c);
        EXPECT_EQ(t, 30.0);
    }
}

}  // namespace
