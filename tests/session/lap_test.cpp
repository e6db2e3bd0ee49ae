#include "session/MVLap.h"
#include "session/MVLaps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

MVLapPtr makeLap(std::uint64_t number, double distance, double duration,
                 const std::string& session = "a.gld") {
    auto lap = MVLap::instance();
    lap->setNumber(number);
    lap->setDistance(distance);
    lap->setDuration(duration);
    lap->setGldFile(session);
    return lap;
}

MVLapsPtr listOf(const std::vector<MVLapPtr>& laps) {
    auto list = MVLaps::instance();
    for (const auto& lap : laps) list->addLap(lap);
    return list;
}

TEST(Lap, DefaultStateHoldsFreshEmptyObjects) {
    auto lap = MVLap::instance();
    EXPECT_FALSE(lap->isWholeFileLap());
    EXPECT_EQ(lap->gldFile(), "");
    EXPECT_EQ(lap->number(), 0u);
    EXPECT_EQ(lap->vmax(), 0.0);
    ASSERT_NE(lap->sectors(), nullptr);
    ASSERT_NE(lap->sectors2(), nullptr);
    EXPECT_NE(lap->sectors(), lap->sectors2());
    EXPECT_TRUE(lap->sectors()->empty());
    ASSERT_NE(lap->map(), nullptr);
    ASSERT_NE(lap->positionIndexes(), nullptr);
    EXPECT_TRUE(lap->gForces().empty());
    EXPECT_FALSE(lap->videoURLs().has_value());
    EXPECT_NE(MVLap::instance()->map(), lap->map());

    lap->setVideoURLs(std::vector<std::filesystem::path>{"/v/a1.mp4"});
    lap->setVideoURLs(std::nullopt);
    EXPECT_FALSE(lap->videoURLs().has_value());
    lap->setMap(nullptr);
    EXPECT_NE(lap->map(), nullptr);
}

struct FastestCase {
    const char* name;
    std::vector<double> distances;
    std::vector<double> durations;
    std::uint64_t fastestNumber;  // lap numbers are 1, 2, 3 ... in list order
};

class FastestLapTest : public ::testing::TestWithParam<FastestCase> {};

TEST_P(FastestLapTest, PicksTheFastestOfTheLargestDistanceGroup) {
    const auto& c = GetParam();
    auto list = MVLaps::instance();
    for (std::size_t i = 0; i < c.distances.size(); ++i) {
        list->addLap(makeLap(i + 1, c.distances[i], c.durations[i]));
    }
    auto fastest = list->findFastestLap();
    ASSERT_NE(fastest, nullptr);
    EXPECT_EQ(fastest->number(), c.fastestNumber);
}

INSTANTIATE_TEST_SUITE_P(
    Groups, FastestLapTest,
    ::testing::Values(
        // 4100 and 4350 join 4000 (|d| < 400); 3500 opens a group; lap 3 is faster but outside.
        FastestCase{"ShortLapOutsideTheGroup", {4000, 4100, 3500, 4350}, {95, 93, 60, 94}, 2},
        // The group keeps the distance of its first lap: 4399 joins 4000, 4400 does not.
        FastestCase{"BoundaryIsStrict", {4000, 4400, 4399, 4400, 4400}, {90, 80, 91, 70, 75}, 4},
        // An average of 4000, 4399 and 4399 would take 4420 in; the first lap's distance does not.
        FastestCase{"GroupDistanceNotAveraged", {4000, 4399, 4399, 4420}, {90, 91, 92, 50}, 1},
        // Equal group sizes: the group opened first supplies the lap.
        FastestCase{"EqualGroupsEarliestWins", {1000, 3000, 1010, 3010}, {70, 40, 71, 41}, 1},
        // Equal times keep the earlier lap.
        FastestCase{"TieKeepsTheEarlierLap", {4000, 4000, 4000}, {92, 90, 90}, 2},
        // Nothing below the starting best time: the first lap of the list.
        FastestCase{"AllAtTheSentinelGiveTheFirstLap", {4000, 4000}, {99999999999.99, 1e12}, 1},
        FastestCase{"FirstLapOutsideTheGroupStillTheFallback",
                    {100, 4000, 4000},
                    {5, 99999999999.99, 1e12},
                    1},
        FastestCase{"SingleLap", {4000}, {90}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FastestLap, MixedSessionsWithEqualNumbersCountOnlyTheGroupsOwnLaps) {
    // Session a: three long laps; session b: two short, fast laps numbered 1 and 2 as well.
    auto a1 = makeLap(1, 4000, 95, "a.gld");
    auto a2 = makeLap(2, 4010, 94, "a.gld");
    auto a3 = makeLap(3, 3990, 96, "a.gld");
    auto b1 = makeLap(1, 2000, 40, "b.gld");
    auto b2 = makeLap(2, 2010, 41, "b.gld");
    EXPECT_EQ(listOf({a1, b1, a2, b2, a3})->findFastestLap(), a2);
    EXPECT_EQ(listOf({b1, b2, a1, a2, a3})->findFastestLap(), a2);

    // The short group is the larger one here; a's lap 1 shares a number with it but stays out.
    auto b3 = makeLap(3, 2005, 42, "b.gld");
    auto fastLong = makeLap(1, 4000, 30, "a.gld");
    EXPECT_EQ(listOf({fastLong, b1, b2, b3})->findFastestLap(), b1);
}

TEST(FastestLap, WholeFileAndUnfinishedLapsAreNotSkipped) {
    auto whole = makeLap(1, 4000, 50);
    whole->setIsWholeFileLap(true);
    auto unfinished = makeLap(3, 4000, 40);
    unfinished->setIsUnfinishedLap(true);
    EXPECT_EQ(listOf({whole, makeLap(2, 4000, 90), unfinished})->findFastestLap(), unfinished);
}

TEST(Laps, ListOperations) {
    auto list = MVLaps::instance();
    EXPECT_EQ(list->findFastestLap(), nullptr);
    auto lap1 = makeLap(1, 1, 1);
    auto lap2 = makeLap(2, 1, 1);
    list->addLap(lap1);
    list->addLap(nullptr);
    list->addLap(lap2);
    ASSERT_EQ(list->count(), 2u);
    EXPECT_EQ(list->lapAtIndex(0), lap1);
    EXPECT_EQ(list->lapAtIndex(1), lap2);
    EXPECT_EQ(list->lapAtIndex(2), nullptr);
    EXPECT_EQ(list->lapAtIndex(-1), nullptr);
    list->setData({lap2, nullptr});
    ASSERT_EQ(list->count(), 1u);
    EXPECT_EQ(list->data().front(), lap2);
}

class PositionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Alignment values start at 10 s: offsets 0, 1.5, 3, 4.
        lap->positionIndexes()->setData({10.0, 11.5, 13.0, 14.0});
    }
    MVLapPtr lap = MVLap::instance();
};

TEST_F(PositionTest, IndexFromTime) {
    const struct {
        double seconds;
        std::int64_t index;
    } cases[] = {{-1.0, 0}, {0.0, 0}, {0.1, 1}, {1.5, 1}, {1.51, 2}, {4.0, 3}, {99.0, 3}};
    for (const auto& c : cases)
        EXPECT_EQ(lap->calculatePositionIndex(c.seconds), c.index) << c.seconds;
    EXPECT_EQ(MVLap::instance()->calculatePositionIndex(5.0), -1);
}

TEST_F(PositionTest, TimeFromFractionalIndex) {
    const struct {
        double position;
        double seconds;
    } cases[] = {{0.0, 0.0},
                 {1.0, 1.5},
                 {2.0, 3.0},
                 {3.0, 4.0},
                 {0.5, 0.75},
                 {2.5, 3.5},
                 {-0.5, 0.0},
                 {-7.0, 0.0},
                 {3.5, 4.0},
                 {50.0, 4.0},
                 {1e300, 4.0},
                 {std::numeric_limits<double>::infinity(), 4.0},
                 {-std::numeric_limits<double>::infinity(), 0.0}};
    for (const auto& c : cases) {
        EXPECT_EQ(lap->calculatePositionTimestamp(c.position), c.seconds) << c.position;
    }
    EXPECT_EQ(lap->calculatePositionTimestamp(std::nan("")), 0.0);
    EXPECT_EQ(MVLap::instance()->calculatePositionTimestamp(2.0), 0.0);
}

MV2DSegmentPtr point(double time, double x, double y, double speed = 100) {
    auto segment = MV2DSegment::instance();
    segment->setTime(time);
    segment->setPoint({x, y});
    segment->setSpeed(speed);
    return segment;
}

TEST(LapSegment, FindsOrInterpolatesTheMapPointAtATime) {
    auto lap = MVLap::instance();
    auto p1 = point(10, 0, 0);
    auto p2 = point(12, 20, 10);
    auto p3 = point(13, 30, 10);
    auto p4 = point(15, 30, 30);
    lap->map()->setSectorSegments({{}, {p1, p2}, {p3, p4}, {}});

    EXPECT_EQ(lap->calculateSegment(5), p1);  // before the first point
    EXPECT_EQ(lap->calculateSegment(10), p1);
    EXPECT_EQ(lap->calculateSegment(12.5), p3);  // gap between sectors: first of the next
    EXPECT_EQ(lap->calculateSegment(99), p4);    // past the end: the last point

    auto between = lap->calculateSegment(11);
    ASSERT_NE(between, p1);
    ASSERT_NE(between, p2);
    EXPECT_EQ(between->time(), 11.0);
    EXPECT_EQ(between->speed(), 0.0);
    EXPECT_EQ(between->point(), (MVPoint{10.0, 5.0}));

    auto atEnd = lap->calculateSegment(15);
    EXPECT_EQ(atEnd->point(), (MVPoint{30.0, 30.0}));
    EXPECT_EQ(lap->calculateSegment(std::nan(""))->point(), p4->point());

    auto noPoints = MVLap::instance()->calculateSegment(1);
    ASSERT_NE(noPoints, nullptr);
    EXPECT_EQ(noPoints->point(), (MVPoint{0.0, 0.0}));
}

TEST(Lap, CheckIdenticalComparesSampleCountAndTimingOnly) {
    auto a = makeLap(1, 4000, 90.25, "a.gld");
    a->setIndexStart(100);
    a->setIndexEnd(1000);
    a->setTimestampStart(12.5);
    a->setTimestampEnd(102.75);
    auto b = makeLap(7, 10, 90.25, "b.gld");
    b->setIndexStart(5);
    b->setIndexEnd(905);
    b->setTimestampStart(12.5);
    b->setTimestampEnd(102.75);
    EXPECT_TRUE(a->checkIdentical(*b));
    b->setIndexEnd(906);
    EXPECT_FALSE(a->checkIdentical(*b));
    b->setIndexEnd(905);
    b->setTimestampEnd(102.76);
    EXPECT_FALSE(a->checkIdentical(*b));
}

TEST(Lap, DescriptionListsTheFieldsInOrder) {
    auto lap = makeLap(3, 4012.5, 91.0, "Brands 1.gld");
    lap->setIndexStart(10);
    lap->setIndexEnd(20);
    lap->setIsUnfinishedLap(true);
    EXPECT_EQ(lap->description(),
              "isWholeFileLap: false gldFile: Brands 1.gld isQuarto: false number: 3 "
              "indexStart: 10 indexEnd: 20 duration: 91.0 distance: 4012.5 "
              "isUnfinishedLap: true");
}

}  // namespace
