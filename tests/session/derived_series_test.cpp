#include "session/MVDerivedSeries.h"
#include "session/MVGLDReader.h"
#include "session/MVSampleRow.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::vector<std::string> kHeaders = {"satellites", "time",       "latitude", "longitude",
                                           "velocity",   "delta t",    "distance", "lat acc",
                                           "long acc",   "combined g", "utc"};

MVSampleRows rowsWithTimes(const std::vector<std::string>& times) {
    MVSampleRows rows;
    for (const auto& time : times) rows.push_back({"7", time, "3000", "100", "50"});
    return rows;
}

MVSampleRows rowsWithSpeeds(const std::vector<std::string>& speeds) {
    MVSampleRows rows;
    for (const auto& speed : speeds) rows.push_back({"7", "120000.00", "3000", "100", speed});
    return rows;
}

// ---- speeds -------------------------------------------------------------------------------

TEST(DerivedSpeeds, VelocityFieldInSinglePrecisionTimesScaleRoundedToHundredth) {
    const auto kmh = MVDerivedSeries::fetchSpeedsWithArrayOfHeader(
        kHeaders, rowsWithSpeeds({"12.345", "0.005"}), 1.0);
    // 0.005 read in single precision lies just below 0.005: it rounds to 0, not to 0.01.
    EXPECT_EQ(kmh->values(), (std::vector<double>{12.35, 0.0}));

    const auto mph = MVDerivedSeries::fetchSpeedsWithArrayOfHeader(
        kHeaders, rowsWithSpeeds({"100", "55.5", "75.45"}), 1.609344);
    // 75.45 mph is 121.43 km/h in double precision but 121.42 from the single-precision read.
    EXPECT_EQ(mph->values(), (std::vector<double>{160.93, 89.32, 121.42}));
}

TEST(DerivedSpeeds, OneSpeedPerRowEvenWithoutAReadableField) {
    MVSampleRows rows = rowsWithSpeeds({"50", "fast"});
    rows.push_back({"7", "120000.00"});  // too short to reach "velocity"
    const auto speeds = MVDerivedSeries::fetchSpeedsWithArrayOfHeader(kHeaders, rows, 1.0);
    EXPECT_EQ(speeds->values(), (std::vector<double>{50.0, 0.0, 0.0}));
}

// ---- elapsed times ------------------------------------------------------------------------

struct ElapsedCase {
    const char* name;
    std::vector<std::string> times;
    std::vector<double> elapsed;
};

class DerivedElapsedTimes : public ::testing::TestWithParam<ElapsedCase> {};

TEST_P(DerivedElapsedTimes, FollowTheRawStepRules) {
    const auto& param = GetParam();
    const auto indexes =
        MVDerivedSeries::fetchIndexesWithArrayOfHeader(kHeaders, rowsWithTimes(param.times));
    ASSERT_EQ(indexes->count(), param.elapsed.size());
    for (std::size_t i = 0; i < param.elapsed.size(); ++i) {
        EXPECT_DOUBLE_EQ(indexes->values()[i], param.elapsed[i]) << param.name << " row " << i;
        // Stored rounded to the hundredth.
        EXPECT_EQ(indexes->values()[i], MVNumberList::roundToHundredth(indexes->values()[i]));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, DerivedElapsedTimes,
    ::testing::Values(
        ElapsedCase{"plain steps", {"123456.00", "123456.10", "123456.25"}, {0.0, 0.1, 0.25}},
        // 123459.90 -> 123500.00 is a raw step of 40.1: the time of day decides (1.1 s after
        // row 0); a backwards step adds 0.1.
        ElapsedCase{"minute boundary",
                    {"123458.90", "123459.00", "123459.90", "123500.00", "123459.95", "123500.05",
                     "123500.10"},
                    {0.0, 0.1, 1.0, 1.1, 1.2, 1.15, 1.2}},
        ElapsedCase{"hour boundary", {"125959.90", "130000.00", "130001.00"}, {0.0, 0.1, 1.1}},
        // Hours past 23 are taken modulo 24; a negative difference gets a day added.
        ElapsedCase{"past midnight",
                    {"235959.80", "235959.90", "240000.00", "240000.10", "240100.00"},
                    {0.0, 0.1, 0.2, 0.3, 60.2}},
        // The raw time falls from 235959.90 to 000000.00: treated as a backwards step.
        ElapsedCase{"wrapped to zero", {"235959.90", "000000.00", "000000.10"}, {0.0, 0.1, 0.2}},
        // At other rates the wrap takes the real interval, not a fixed 0.1 s.
        ElapsedCase{"wrapped at 1 Hz",
                    {"235958.00", "235959.00", "000000.00", "000001.00"},
                    {0.0, 1.0, 2.0, 3.0}},
        ElapsedCase{"long gap", {"120000.00", "120130.50"}, {0.0, 90.5}},
        ElapsedCase{"single row", {"120000.00"}, {0.0}}));

TEST(DerivedElapsedTimes, UnreadableTimeAcrossAMinuteKeepsThePreviousValue) {
    const auto indexes = MVDerivedSeries::fetchIndexesWithArrayOfHeader(
        kHeaders, rowsWithTimes({"120000.00", "120000.50", "129900.00"}));
    EXPECT_EQ(indexes->values(), (std::vector<double>{0.0, 0.5, 0.5}));
}

TEST(DerivedElapsedTimes, TimeValueIsTheRawNumber) {
    const auto rows = rowsWithTimes({"123458.90", "250001.25"});
    EXPECT_EQ(MVDerivedSeries::timeValueWithIndex(0, kHeaders, rows), 123458.90);
    EXPECT_EQ(MVDerivedSeries::timeValueWithIndex(1, kHeaders, rows), 250001.25);
    EXPECT_EQ(MVDerivedSeries::timeValueWithIndex(2, kHeaders, rows), 0.0);
}

TEST(DerivedElapsedTimes, HoursAreTakenModuloTwentyFour) {
    const std::pair<std::string_view, std::string_view> cases[] = {{"250000.00", "010000.00"},
                                                                   {"235959.99", "235959.99"},
                                                                   {"480102.5", "000102.5"},
                                                                   {"24", "00"},
                                                                   {"7", "7"},
                                                                   {"", ""}};
    for (const auto& [given, expected] : cases) {
        EXPECT_EQ(MVDerivedSeries::stringWithDateStringMoreThan24(given), expected) << given;
    }
}

TEST(DerivedElapsedTimes, TimeOfDayReading) {
    const std::pair<std::string_view, std::optional<double>> cases[] = {
        {"000000.00", 0.0},
        {"123456.78", 45296.78},
        {"253000.50", 3600.0 + 1800.0 + 0.5},
        {"120000", 43200.0},
        {"120000.5", 43200.5},
        {"\t120000.25 ", 43200.25},
        {"126000.00", std::nullopt},
        {"120060.00", std::nullopt},
        {"12000.00", std::nullopt},
        {"120000.", std::nullopt},
        {"120000,00", std::nullopt},
        {"12:00:00", std::nullopt},
        {"-120000.00", std::nullopt},
        {"120000.1234567890", std::nullopt},
        {"", std::nullopt}};
    for (const auto& [text, expected] : cases) {
        const auto seconds = MVDerivedSeries::secondsOfDayWithTimeText(text);
        ASSERT_EQ(seconds.has_value(), expected.has_value()) << text;
        if (expected) {
            EXPECT_DOUBLE_EQ(*seconds, *expected) << text;
        }
    }
}

// ---- distances ----------------------------------------------------------------------------

TEST(DerivedDistances, TrapezoidOfSpeedOverElapsedTime) {
    const MVSampleRows rows = rowsWithTimes({"a", "b", "c", "d"});
    MVSpeeds speeds;
    speeds.setData({36.0, 72.0, 72.0, 0.0});
    MVFakeIndexes times;
    times.setData({0.0, 1.0, 1.5, 3.5});
    const auto distances = MVDerivedSeries::fetchDistancesWithSamples(rows, speeds, times);
    ASSERT_EQ(distances->count(), 4u);
    // 10 and 20 m/s for 1 s, 20 m/s for 0.5 s, 20 to 0 m/s over 2 s.
    const double expected[] = {0.0, 15.0, 25.0, 45.0};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(distances->values()[i], expected[i]);
}

TEST(DerivedDistances, StaysParallelToRowsWhenSeriesAreShort) {
    const MVSampleRows rows = rowsWithTimes({"a", "b", "c"});
    MVSpeeds speeds;
    speeds.setData({36.0, 36.0});
    MVFakeIndexes times;
    times.setData({0.0, 1.0});
    const auto distances = MVDerivedSeries::fetchDistancesWithSamples(rows, speeds, times);
    ASSERT_EQ(distances->count(), 3u);
    EXPECT_DOUBLE_EQ(distances->values()[2], 10.0);
    EXPECT_TRUE(MVDerivedSeries::fetchDistancesWithSamples({}, speeds, times)->empty());
}

// ---- from a file's text -------------------------------------------------------------------

TEST(DerivedSeriesFromFile, TinyMilesPerHourSession) {
    const std::string text =
        "[header]\r\nSatellites\r\nTime\r\nLatitude\r\nLongitude\r\nVelocity mph\r\n"
        "[data]\r\n"
        "8 095959.50 3000.0 100.0 10\r\n"
        "8 095959.90 3000.1 100.1 20\r\n"
        "0 100000.00 0 0 0\r\n"
        "8 100000.10 3000.3 100.3 30\r\n";
    const auto lines = MVGLDReader::splitGLDLines(text);
    const auto header = MVGLDReader::fetchHeadersWithArrayOfLines(lines);
    const auto samples = MVGLDReader::fetchDataWithArrayOfLines(lines, header);
    ASSERT_EQ(samples.error, MVGLDReadError::None) << samples.message;
    ASSERT_EQ(samples.rows.size(), 4u);
    EXPECT_EQ(header.names[4], "velocity");

    const auto speeds = MVDerivedSeries::fetchSpeedsWithArrayOfHeader(header.names, samples.rows,
                                                                      header.speedUnitScale);
    const auto times = MVDerivedSeries::fetchIndexesWithArrayOfHeader(header.names, samples.rows);
    const auto distances =
        MVDerivedSeries::fetchDistancesWithSamples(samples.rows, *speeds, *times);
    // The filled row's speed is 25 mph, half way between its neighbours.
    EXPECT_EQ(speeds->values(), (std::vector<double>{16.09, 32.19, 40.23, 48.28}));
    EXPECT_EQ(times->values(), (std::vector<double>{0.0, 0.4, 0.5, 0.6}));
    ASSERT_EQ(distances->count(), 4u);
    const double first = (16.09 + 32.19) * 0.5 * 0.4 / 3.6;
    const double second = first + (32.19 + 40.23) * 0.5 * (0.5 - 0.4) / 3.6;
    EXPECT_DOUBLE_EQ(distances->values()[1], first);
    EXPECT_DOUBLE_EQ(distances->values()[2], second);
    EXPECT_NEAR(distances->values()[3], second + (40.23 + 48.28) * 0.5 * 0.1 / 3.6, 1e-9);
}

TEST(DerivedSeriesFromFile, SingleRowHasZeroElapsedTimeAndDistance) {
    const MVSampleRows rows = {{"7", "120000.00", "3000", "100", "50"}};
    const auto speeds = MVDerivedSeries::fetchSpeedsWithArrayOfHeader(kHeaders, rows, 1.0);
    const auto times = MVDerivedSeries::fetchIndexesWithArrayOfHeader(kHeaders, rows);
    const auto distances = MVDerivedSeries::fetchDistancesWithSamples(rows, *speeds, *times);
    EXPECT_EQ(speeds->values(), std::vector<double>{50.0});
    EXPECT_EQ(times->values(), std::vector<double>{0.0});
    EXPECT_EQ(distances->values(), std::vector<double>{0.0});
}

}  // namespace
