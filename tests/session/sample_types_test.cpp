#include "session/MV2DSegment.h"
#include "session/MVDistances.h"
#include "session/MVFakeIndexes.h"
#include "session/MVGGForce.h"
#include "session/MVGLDFormat.h"
#include "session/MVHeaders.h"
#include "session/MVLocation.h"
#include "session/MVPositionIndexes.h"
#include "session/MVPreviousNextLocation.h"
#include "session/MVSectors.h"
#include "session/MVSpeeds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

struct RoundingCase {
    double given;
    double stored;
};

class RoundingListTest : public ::testing::TestWithParam<RoundingCase> {};

// The three rounding lists share one rule; compare bit for bit with the literal of the result.
TEST_P(RoundingListTest, AddValueRoundsToHundredthHalfAwayFromZero) {
    const auto [given, stored] = GetParam();
    auto speeds = MVSpeeds::instance();
    auto times = MVFakeIndexes::instance();
    auto positions = MVPositionIndexes::instance();
    speeds->addValue(given);
    times->addValue(given);
    positions->addValue(given);
    EXPECT_EQ(speeds->valueAtIndex(0), stored) << given;
    EXPECT_EQ(times->valueAtIndex(0), stored) << given;
    EXPECT_EQ(positions->valueAtIndex(0), stored) << given;
}

INSTANTIATE_TEST_SUITE_P(Values, RoundingListTest,
                         ::testing::Values(RoundingCase{12.345, 12.35}, RoundingCase{1.005, 1.0},
                                           RoundingCase{0.145, 0.14}, RoundingCase{0.125, 0.13},
                                           RoundingCase{-0.125, -0.13}, RoundingCase{-0.005, -0.01},
                                           RoundingCase{0.004999, 0.0},
                                           RoundingCase{123.456789, 123.46},
                                           RoundingCase{-7.0, -7.0}));

// The edges of the rounding, as the library's round gives them: the sign of a zero, the halves
// either side of it, magnitudes where every double is whole, infinities and NaN.
TEST(NumberLists, RoundingAtTheEdgesIsTheLibrarysRound) {
    const double large = 4503599627370496.0;  // 2^52: from here on every double is whole
    const double cases[] = {0.0,
                            -0.0,
                            -0.004,
                            0.004,
                            -0.005,
                            0.005,
                            std::nextafter(0.005, 0.0),
                            std::nextafter(-0.005, 0.0),
                            -2.5,
                            (large - 0.5) / 100.0,
                            -(large - 0.5) / 100.0,
                            large / 100.0,
                            large * 3.0,
                            -large * 3.0,
                            9.3e18,
                            -9.3e18,
                            1e300,
                            std::numeric_limits<double>::denorm_min(),
                            -std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity()};
    for (const double value : cases) {
        const double expected = std::round(value * 100.0) / 100.0;
        const double rounded = MVNumberList::roundToHundredth(value);
        EXPECT_EQ(rounded, expected) << value;
        EXPECT_EQ(std::signbit(rounded), std::signbit(expected)) << value;
    }
    EXPECT_TRUE(std::isnan(MVNumberList::roundToHundredth(std::nan(""))));
}

TEST(NumberLists, UnroundedListsKeepTheValue) {
    auto distances = MVDistances::instance();
    auto sectors = MVSectors::instance();
    distances->addValue(12.345);
    sectors->addValue(12.345);
    EXPECT_EQ(distances->valueAtIndex(0), 12.345);
    EXPECT_EQ(sectors->valueAtIndex(0), 12.345);
}

TEST(NumberLists, SetDataStoresValuesUnroundedAndDataIsACopy) {
    auto speeds = MVSpeeds::instance();
    speeds->setData({1.005, 2.0});
    EXPECT_EQ(speeds->valueAtIndex(0), 1.005);

    std::vector<double> copy = speeds->data();
    copy[1] = 99.0;
    copy.push_back(5.0);
    EXPECT_EQ(speeds->count(), 2u);
    EXPECT_EQ(speeds->valueAtIndex(1), 2.0);
}

struct ClampCase {
    std::int64_t index;
    double expected;
};

class ClampedReadTest : public ::testing::TestWithParam<ClampCase> {};

TEST_P(ClampedReadTest, ReadsOutsideTheListClampToTheEnds) {
    const auto [index, expected] = GetParam();
    const std::vector<double> values{1.0, 2.0, 3.0};
    auto speeds = MVSpeeds::instance();
    auto times = MVFakeIndexes::instance();
    auto distances = MVDistances::instance();
    auto positions = MVPositionIndexes::instance();
    speeds->setData(values);
    times->setData(values);
    distances->setData(values);
    positions->setData(values);
    EXPECT_EQ(speeds->valueAtIndex(index), expected);
    EXPECT_EQ(times->valueAtIndex(index), expected);
    EXPECT_EQ(distances->valueAtIndex(index), expected);
    EXPECT_EQ(positions->valueAtIndex(index), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Indexes, ClampedReadTest,
    ::testing::Values(ClampCase{-3, 1.0}, ClampCase{0, 1.0}, ClampCase{1, 2.0}, ClampCase{2, 3.0},
                      ClampCase{3, 3.0}, ClampCase{1000, 3.0},
                      ClampCase{std::numeric_limits<std::int64_t>::min(), 1.0},
                      ClampCase{std::numeric_limits<std::int64_t>::max(), 3.0}));

TEST(NumberLists, EmptyReadsGiveZero) {
    EXPECT_EQ(MVPositionIndexes::instance()->valueAtIndex(0), 0.0);
    EXPECT_EQ(MVPositionIndexes::instance()->valueAtIndex(-1), 0.0);
    // Not asked by correct callers; must stay harmless.
    EXPECT_EQ(MVSpeeds::instance()->valueAtIndex(5), 0.0);
    EXPECT_EQ(MVSectors::instance()->valueAtIndex(0), 0.0);
    EXPECT_EQ(MVSectors::instance()->indexOfValue(0.0), -1);
}

TEST(NumberLists, SectorReadsOutsideTheListAreNotClamped) {
    auto sectors = MVSectors::instance();
    sectors->setData({5.0, 6.0});
    EXPECT_EQ(sectors->valueAtIndex(1), 6.0);
    EXPECT_EQ(sectors->valueAtIndex(2), 0.0);
    EXPECT_EQ(sectors->valueAtIndex(-1), 0.0);
}

TEST(NumberLists, SectorIndexOfValueTakesTheFirstWithinAHundredth) {
    auto sectors = MVSectors::instance();
    sectors->setData({0.0, 12.34, 12.345});
    const struct {
        double value;
        std::int64_t index;
    } cases[] = {{12.349, 1}, {12.35, 1}, {12.36, -1}, {0.0, 0}, {-0.0099, 0}, {0.01, -1}};
    for (const auto& c : cases) EXPECT_EQ(sectors->indexOfValue(c.value), c.index) << c.value;
}

TEST(Location, BuildersReadMinutesAndReverseTheLongitude) {
    const std::vector<std::string> headers{"time", "longitude", "latitude", "velocity"};
    const MVSampleRows rows{{"120000.00", "0", "0", "0"},
                            {"120000.10", "-120.25", "3060.5", "88.1"}};
    auto times = MVFakeIndexes::instance();
    times->setData({0.0, 0.1});

    auto located = MVLocation::location(1, headers, rows, *times);
    EXPECT_DOUBLE_EQ(located->latitude(), 3060.5 / 60.0);
    EXPECT_NEAR(located->latitude(), 51.0083333, 1e-7);
    EXPECT_NEAR(located->longitude(), 2.0041666, 1e-7);
    EXPECT_EQ(located->timestamp(), 0.1);
    EXPECT_EQ(located->speed(), 0.0);

    auto base = MVLocation::location(headers, rows[1]);
    EXPECT_EQ(base->latitude(), located->latitude());
    EXPECT_EQ(base->longitude(), located->longitude());
    EXPECT_EQ(base->timestamp(), 0.0);
}

TEST(Location, MissingColumnsShortRowsAndTextReadAsZero) {
    const std::vector<std::string> noLongitude{"time", "latitude"};
    auto a = MVLocation::location(noLongitude, {"1", "120"});
    EXPECT_EQ(a->latitude(), 2.0);
    EXPECT_EQ(a->longitude(), 0.0);

    const std::vector<std::string> headers{"longitude", "latitude"};
    auto shortRow = MVLocation::location(headers, {"60"});
    EXPECT_EQ(shortRow->longitude(), -1.0);
    EXPECT_EQ(shortRow->latitude(), 0.0);

    auto text = MVLocation::location(headers, {"abc", "N/A"});
    EXPECT_EQ(text->longitude(), 0.0);  // -0.0 compares equal
    EXPECT_EQ(text->latitude(), 0.0);

    // A header match is exact and case-sensitive.
    auto upper = MVLocation::location({"LONGITUDE", "Latitude"}, {"60", "60"});
    EXPECT_EQ(upper->latitude(), 0.0);

    // Sample index past the rows: no position, timestamp clamped to the last elapsed time.
    auto times = MVFakeIndexes::instance();
    times->setData({0.0, 0.5});
    auto past = MVLocation::location(7, headers, {{"60", "60"}}, *times);
    EXPECT_EQ(past->latitude(), 0.0);
    EXPECT_EQ(past->timestamp(), 0.5);
}

TEST(Location, CopyIsIndependent) {
    auto original = MVLocation::instance();
    original->setLatitude(1);
    original->setLongitude(2);
    original->setSpeed(3);
    original->setTimestamp(4);
    auto copy = MVLocation::locationCopy(*original);
    EXPECT_NE(copy, original);
    EXPECT_EQ(copy->speed(), 3.0);
    EXPECT_EQ(copy->timestamp(), 4.0);
    copy->setLatitude(9);
    EXPECT_EQ(original->latitude(), 1.0);
}

TEST(PreviousNextLocation, NewPairHoldsTwoZeroLocationsAndNeverAnAbsentOne) {
    auto gate = MVPreviousNextLocation::instance();
    ASSERT_NE(gate->previousLocation(), nullptr);
    ASSERT_NE(gate->nextLocation(), nullptr);
    EXPECT_NE(gate->previousLocation(), gate->nextLocation());
    EXPECT_EQ(gate->nextLocation()->latitude(), 0.0);
    gate->setNextLocation(nullptr);
    EXPECT_NE(gate->nextLocation(), nullptr);
}

TEST(PreviousNextLocation, MakeACopyKeepsOnlyThePositionsAndSharesNothing) {
    auto gate = MVPreviousNextLocation::instance();
    gate->previousLocation()->setLatitude(51.1);
    gate->previousLocation()->setLongitude(-1.2);
    gate->previousLocation()->setSpeed(120);
    gate->previousLocation()->setTimestamp(33.3);
    gate->nextLocation()->setLatitude(51.2);
    gate->nextLocation()->setLongitude(-1.3);
    gate->nextLocation()->setSpeed(130);
    gate->nextLocation()->setTimestamp(44.4);

    auto copy = gate->makeACopy();
    ASSERT_NE(copy, gate);
    EXPECT_NE(copy->previousLocation(), gate->previousLocation());
    EXPECT_NE(copy->nextLocation(), gate->nextLocation());
    EXPECT_EQ(copy->previousLocation()->latitude(), 51.1);
    EXPECT_EQ(copy->previousLocation()->longitude(), -1.2);
    EXPECT_EQ(copy->nextLocation()->latitude(), 51.2);
    EXPECT_EQ(copy->nextLocation()->longitude(), -1.3);
    for (const auto& location : {copy->previousLocation(), copy->nextLocation()}) {
        EXPECT_EQ(location->speed(), 0.0);
        EXPECT_EQ(location->timestamp(), 0.0);
    }
    copy->nextLocation()->setLatitude(0);
    EXPECT_EQ(gate->nextLocation()->latitude(), 51.2);
}

TEST(SmallTypes, StartAtZero) {
    auto segment = MV2DSegment::instance();
    EXPECT_EQ(segment->speed(), 0.0);
    EXPECT_EQ(segment->time(), 0.0);
    EXPECT_EQ(segment->point(), (MVPoint{0.0, 0.0}));
    segment->setPoint({3.5, -2.0});
    EXPECT_EQ(segment->point().x, 3.5);
    EXPECT_EQ(segment->point().y, -2.0);

    auto force = MVGGForce::instance();
    EXPECT_EQ(force->xAis(), 0.0);
    EXPECT_EQ(force->yAis(), 0.0);

    MVHeaders headers;
    EXPECT_TRUE(headers.data().empty());
}

TEST(DoubleValue, ReadsTheLongestNumericPrefix) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"3060.5", 3060.5}, {"  -120.25", -120.25},
        {"+7", 7.0},        {"\t12abc", 12.0},
        {".5", 0.5},        {"5.", 5.0},
        {"1e3", 1000.0},    {"1e", 1.0},
        {"1e+", 1.0},       {"2E-2x", 0.02},
        {"", 0.0},          {"abc", 0.0},
        {"-", 0.0},         {".", 0.0},
        {"N/A", 0.0},       {"0x10", 0.0},
        {"inf", 0.0},       {"1.2.3", 1.2},
        {"1,5", 1.0},       {"- 5", 0.0},
    };
    for (const auto& c : cases) EXPECT_EQ(MVGLDFormat::doubleValue(c.text), c.value) << c.text;
    EXPECT_EQ(MVGLDFormat::doubleValue("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(MVGLDFormat::doubleValue("-1e999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(MVGLDFormat::doubleValue("1e-999"), 0.0);
}

}  // namespace
