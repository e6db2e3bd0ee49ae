#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "session/MVDerivedSeries.h"
#include "session/MVGLDReader.h"
#include "session/MVSampleRow.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::vector<std::string> kChannels = {"Satellites",   "Time",    "Latitude", "Longitude",
                                            "Velocity kmh", "Heading", "Height"};
const std::vector<std::string> kNames = {"satellites", "time",    "latitude", "longitude",
                                         "velocity",   "heading", "height"};

// A session file with the given channel names and data lines; CR LF line ends unless told.
std::string sessionText(const std::vector<std::string>& channels,
                        const std::vector<std::string>& rows, const std::string& eol = "\r\n") {
    std::string text = "[header]" + eol;
    for (const auto& channel : channels) text += channel + eol;
    text += "[laptiming]" + eol + "[column names]" + eol + "sats time lat long vel hdg h" + eol;
    text += "[data]" + eol;
    for (const auto& row : rows) text += row + eol;
    return text;
}

std::string row(int satellites, const std::string& time, double latitude, double longitude,
                double speed, double heading = 90.0) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%d %s %.4f %.4f %.2f %.1f 12.5", satellites, time.c_str(),
                  latitude, longitude, speed, heading);
    return buffer;
}

// HHMMSS.SS of a time of day given in hundredths of a second.
std::string timeText(long hundredths) {
    const long seconds = hundredths / 100;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02ld%02ld%02ld.%02ld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60, hundredths % 100);
    return buffer;
}

struct Reading {
    MVGLDHeader header;
    MVGLDSamples samples;
};

Reading readText(const std::string& text) {
    const auto lines = MVGLDReader::splitGLDLines(text);
    Reading reading;
    reading.header = MVGLDReader::fetchHeadersWithArrayOfLines(lines);
    reading.samples = MVGLDReader::fetchDataWithArrayOfLines(lines, reading.header);
    return reading;
}

std::vector<std::string> column(const MVSampleRows& rows, std::size_t index) {
    std::vector<std::string> values;
    for (const auto& r : rows) values.push_back(r.at(index));
    return values;
}

// ---- file text ----------------------------------------------------------------------------

TEST(GLDReaderText, ReadsPlainTextAndRefusesEmptyNonAsciiAndMissingFiles) {
    testing_support::TempDir dir;
    const auto good = MVGLDReader::readGLDText(dir.write("good.gld", "[header]\r\nTime\r\n"));
    EXPECT_EQ(good.error, MVGLDReadError::None);
    EXPECT_EQ(good.text, "[header]\r\nTime\r\n");

    const auto empty = MVGLDReader::readGLDText(dir.write("empty.gld", ""));
    EXPECT_EQ(empty.error, MVGLDReadError::Empty);
    EXPECT_FALSE(empty.message.empty());

    const auto latin = MVGLDReader::readGLDText(dir.write("latin.gld", "[header]\r\nT\xE9l\r\n"));
    EXPECT_EQ(latin.error, MVGLDReadError::NotASCII);
    EXPECT_NE(latin.message.find("0xE9"), std::string::npos) << latin.message;
    EXPECT_TRUE(latin.text.empty());

    const auto missing = MVGLDReader::readGLDText(dir / "missing.gld");
    EXPECT_EQ(missing.error, MVGLDReadError::Unreadable);
    EXPECT_FALSE(missing.message.empty());

    const auto folder = MVGLDReader::readGLDText(dir.path());
    EXPECT_EQ(folder.error, MVGLDReadError::Unreadable);
}

TEST(GLDReaderText, SplitsAtEveryCarriageReturnAndLineFeed) {
    const std::vector<std::string_view> expected = {"a", "", "b", "c", "", ""};
    EXPECT_EQ(MVGLDReader::splitGLDLines("a\r\nb\nc\r\n"), expected);
    EXPECT_EQ(MVGLDReader::splitGLDLines(""), std::vector<std::string_view>{""});
}

TEST(GLDReaderText, LineFeedFileReadsLikeCarriageReturnLineFeedFile) {
    const std::vector<std::string> rows = {row(7, "120000.00", 3000, 100, 50),
                                           row(7, "120000.10", 3000.1, 100.1, 51)};
    const auto crlf = readText(sessionText(kChannels, rows, "\r\n"));
    const auto lf = readText(sessionText(kChannels, rows, "\n"));
    EXPECT_EQ(crlf.header.names, lf.header.names);
    EXPECT_EQ(crlf.samples.rows, lf.samples.rows);
    EXPECT_EQ(lf.samples.rows.size(), 2u);
}

// ---- header -------------------------------------------------------------------------------

TEST(GLDReaderHeader, LowerCasesNamesDropsLoggerChannelsAndAppendsDerivedNames) {
    const std::string text =
        "Format : GLD\r\n[header]\r\n\r\nSATELLITES\r\nTime\r\nYaw Rate deg/s\r\nLatitude\r\n"
        "Longitude\r\nVelocity KMH\r\nDistance m\r\nMy Sensor\r\n[laptiming]\r\nNot a channel\r\n";
    const auto lines = MVGLDReader::splitGLDLines(text);
    const auto header = MVGLDReader::fetchHeadersWithArrayOfLines(lines);
    const std::vector<std::string> expected = {"satellites", "time",      "latitude",   "longitude",
                                               "velocity",   "my sensor", "delta t",    "distance",
                                               "lat acc",    "long acc",  "combined g", "utc"};
    EXPECT_EQ(header.names, expected);
    EXPECT_EQ(header.speedUnitScale, 1.0);
    EXPECT_EQ(header.fileColumns, (std::vector<std::size_t>{0, 1, 3, 4, 5, 7}));
}

TEST(GLDReaderHeader, WithoutHeaderSectionHoldsOnlyDerivedNames) {
    const auto lines = MVGLDReader::splitGLDLines("[data]\r\n1 2 3\r\n");
    const auto header = MVGLDReader::fetchHeadersWithArrayOfLines(lines);
    EXPECT_EQ(header.names, (std::vector<std::string>{"delta t", "distance", "lat acc", "long acc",
                                                      "combined g", "utc"}));
    EXPECT_EQ(header.speedUnitScale, 0.0);
}

struct VelocityCase {
    std::vector<std::string> velocityLines;
    std::vector<std::string> names;
    double scale;
};

class GLDReaderVelocity : public ::testing::TestWithParam<VelocityCase> {};

TEST_P(GLDReaderVelocity, VelocityInAnyUnitIsListedAsVelocityWithItsScale) {
    const auto& param = GetParam();
    std::string text = "[header]\r\nTime\r\n";
    for (const auto& line : param.velocityLines) text += line + "\r\n";
    text += "[data]\r\n";
    const auto lines = MVGLDReader::splitGLDLines(text);
    const auto header = MVGLDReader::fetchHeadersWithArrayOfLines(lines);
    std::vector<std::string> expected = {"time"};
    expected.insert(expected.end(), param.names.begin(), param.names.end());
    ASSERT_GE(header.names.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(header.names.begin(), header.names.end() - 6), expected);
    EXPECT_EQ(header.speedUnitScale, param.scale);
}

INSTANTIATE_TEST_SUITE_P(
    Units, GLDReaderVelocity,
    ::testing::Values(
        VelocityCase{{"Velocity kmh"}, {"velocity"}, 1.0},
        VelocityCase{{"Velocity mph"}, {"velocity"}, 1.609344},
        VelocityCase{{"velocity knots"}, {"velocity"}, 1.852},
        VelocityCase{{"Velocity m/s"}, {"velocity"}, 3.6},
        // The scale is that of the velocity channel read (the first one); a
        // velocity-quality line, before or after it, keeps its own unit.
        VelocityCase{{"Velocity Quality mph"}, {"velocity quality"}, 0.0},
        VelocityCase{
            {"Velocity kmh", "Velocity Quality knots"}, {"velocity", "velocity quality"}, 1.0},
        VelocityCase{
            {"Velocity Quality mph", "Velocity kmh"}, {"velocity quality", "velocity"}, 1.0},
        VelocityCase{
            {"Velocity knots", "Velocity Quality kmh"}, {"velocity", "velocity quality"}, 1.852},
        VelocityCase{{"Velocity mph", "Velocity kmh"}, {"velocity", "velocity"}, 1.609344},
        VelocityCase{{"Velocity ft/s"}, {"velocity ft/s"}, 0.0}));

TEST(GLDReaderHeader, RecognisesQuartoFiles) {
    const auto quarto = MVGLDReader::splitGLDLines("[header]\r\nType : Quarto\r\n");
    const auto other = MVGLDReader::splitGLDLines("[header]\r\nType : Quarto \r\nType: Quarto\r\n");
    EXPECT_TRUE(MVGLDReader::checkIfFileIsQuarto(quarto));
    EXPECT_FALSE(MVGLDReader::checkIfFileIsQuarto(other));
}

// ---- row syntax ---------------------------------------------------------------------------

TEST(GLDReaderRows, ReadsDecimalCommasCollapsesSpacesAndTrimsEnds) {
    const auto reading =
        readText(sessionText(kChannels, {" \t7  120000,00   3000,5 100,25\t 50,5 90 12,5 \t",
                                         "7 120000.10 3000.6 100.3 51\t 90 12.5"}));
    ASSERT_EQ(reading.samples.error, MVGLDReadError::None) << reading.samples.message;
    ASSERT_EQ(reading.samples.rows.size(), 2u);
    EXPECT_EQ(reading.samples.rows[0],
              (MVSampleRow{"7", "120000.00", "3000.5", "100.25\t", "50.5", "90", "12.5"}));
    // A tab inside a line is part of a field: "51\t" still reads as a speed.
    EXPECT_EQ(reading.samples.rows[1][4], "51\t");
}

TEST(GLDReaderRows, DroppedChannelBeforeAKeptChannelKeepsFieldsInLine) {
    const std::vector<std::string> channels = {"Satellites", "Distance m", "Time",
                                               "Latitude",   "Longitude",  "Velocity kmh"};
    const auto reading = readText(sessionText(channels, {"7 1234.5 120000.00 3000 100 50 extra"}));
    ASSERT_EQ(reading.samples.error, MVGLDReadError::None) << reading.samples.message;
    EXPECT_EQ(reading.samples.rows.at(0), (MVSampleRow{"7", "120000.00", "3000", "100", "50"}));
}

TEST(GLDReaderRows, DropsRowsBeforeTheFirstFixAndStationaryRows) {
    const auto reading = readText(sessionText(
        kChannels, {row(0, "120000.00", 1, 1, 40), row(0, "120000.10", 2, 2, 40),
                    row(6, "120000.20", 3000, 100, 0),  // stationary, also not the first fix
                    row(6, "120000.30", 3001, 101, 41), row(6, "120000.40", 3002, 102, 0),
                    row(6, "120000.50", 3003, 103, 42)}));
    ASSERT_EQ(reading.samples.error, MVGLDReadError::None);
    EXPECT_EQ(column(reading.samples.rows, 1),
              (std::vector<std::string>{"120000.30", "120000.50"}));
    EXPECT_EQ(reading.samples.loggingRate, 0);
}

TEST(GLDReaderRows, SkipsGarbageAndShortLinesAmongGoodRows) {
    const auto reading = readText(sessionText(
        kChannels, {row(7, "120000.00", 3000, 100, 50), "hello world", "7 120000.10 3000 100",
                    "7 12:00:00.2 3000 100 50 90 1", "7 120000.30 30x0 100 50 90 1",
                    "seven 120000.40 3000 100 50 90 1", "7 120000.50 3000 100 nan 90 1",
                    "7 126100.60 3000 100 50 90 1", "-2 120000.70 3000 100 50 90 1", "\t \t",
                    row(7, "120000.80", 3000.5, 100.5, 51)}));
    ASSERT_EQ(reading.samples.error, MVGLDReadError::None);
    EXPECT_EQ(column(reading.samples.rows, 1),
              (std::vector<std::string>{"120000.00", "120000.80"}));
    EXPECT_EQ(reading.samples.skippedLines, 9u);
}

// ---- drop-out filling ---------------------------------------------------------------------

TEST(GLDReaderDropOuts, HeldRowsAreSpreadEvenlyBetweenTheRowBeforeAndTheClosingFix) {
    const auto reading = readText(sessionText(
        kChannels, {row(7, "120000.00", 3000, 100, 10), row(0, "120000.10", 1, 1, 99, 1),
                    row(0, "120000.20", 2, 2, 99, 2), row(0, "120000.30", 3, 3, 99, 3),
                    row(8, "120000.40", 3004, 104, 50, 4)}));
    ASSERT_EQ(reading.samples.error, MVGLDReadError::None);
    const auto& rows = reading.samples.rows;
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(column(rows, 2), (std::vector<std::string>{"3000.0000", "3001.000000", "3002.000000",
                                                         "3003.000000", "3004.0000"}));
    EXPECT_EQ(column(rows, 3), (std::vector<std::string>{"100.0000", "101.000000", "102.000000",
                                                         "103.000000", "104.0000"}));
    EXPECT_EQ(column(rows, 4),
              (std::vector<std::string>{"10.00", "20.000000", "30.000000", "40.000000", "50.00"}));
    // Every other field is the held row's own.
    EXPECT_EQ(column(rows, 0), (std::vector<std::string>{"7", "0", "0", "0", "8"}));
    EXPECT_EQ(column(rows, 1), (std::vector<std::string>{"120000.00", "120000.10", "120000.20",
                                                         "120000.30", "120000.40"}));
    EXPECT_EQ(column(rows, 5), (std::vector<std::string>{"90.0", "1.0", "2.0", "3.0", "4.0"}));
}

TEST(GLDReaderDropOuts, InterpolatesInSinglePrecision) {
    const auto reading = readText(sessionText(
        kChannels, {row(7, "120000.00", 3060.1234, 100, 10), row(0, "120000.10", 0, 0, 0),
                    row(7, "120000.20", 3060.1234, 100, 10)}));
    ASSERT_EQ(reading.samples.rows.size(), 3u);
    EXPECT_EQ(reading.samples.rows[1][2], "3060.123291");
}

TEST(GLDReaderDropOuts, StartsFromTheRowReadBeforeTheDropOutEvenWhenItWasDropped) {
    // The stationary row before the drop-out is not emitted but is where the drop-out starts;
    // a stationary row inside the drop-out does not close it.
    const auto reading = readText(sessionText(
        kChannels, {row(7, "120000.00", 3000, 100, 10), row(7, "120000.10", 3002, 102, 0),
                    row(0, "120000.20", 0, 0, 0), row(7, "120000.30", 3005, 105, 0),
                    row(7, "120000.40", 3006, 106, 30)}));
    const auto& rows = reading.samples.rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(column(rows, 1), (std::vector<std::string>{"120000.00", "120000.20", "120000.40"}));
    EXPECT_EQ(rows[1][2], "3004.000000");
    EXPECT_EQ(rows[1][3], "104.000000");
    EXPECT_EQ(rows[1][4], "15.000000");
}

TEST(GLDReaderDropOuts, RowsStillHeldAtTheEndAreDropped) {
    const auto reading = readText(sessionText(
        kChannels, {row(7, "120000.00", 3000, 100, 10), row(7, "120000.10", 3001, 101, 11),
                    row(0, "120000.20", 0, 0, 0), row(0, "120000.30", 0, 0, 0)}));
    EXPECT_EQ(reading.samples.rows.size(), 2u);
}

// ---- thinning -----------------------------------------------------------------------------

struct ThinningCase {
    int rows;
    long stepHundredths;  // time step between rows
    std::size_t keptRows;
    int rate;
    long keptStepHundredths;  // time step between kept rows
};

class GLDReaderThinning : public ::testing::TestWithParam<ThinningCase> {};

TEST_P(GLDReaderThinning, ThinsRowsLoggedFasterThanTenHertz) {
    const auto& param = GetParam();
    std::vector<std::string> rows;
    const long start = 12L * 3600 * 100;
    for (int i = 0; i < param.rows; ++i) {
        rows.push_back(
            row(9, timeText(start + i * param.stepHundredths), 3000 + i * 0.001, 100, 80));
    }
    const auto reading = readText(sessionText(kChannels, rows));
    ASSERT_EQ(reading.samples.error, MVGLDReadError::None);
    EXPECT_EQ(reading.samples.rows.size(), param.keptRows);
    EXPECT_EQ(reading.samples.loggingRate, param.rate);
    ASSERT_GE(reading.samples.rows.size(), 2u);
    EXPECT_EQ(reading.samples.rows[0][1], timeText(start));
    EXPECT_EQ(reading.samples.rows[1][1], timeText(start + param.keptStepHundredths));
    EXPECT_EQ(reading.samples.rows.back()[1],
              timeText(start + (param.rows - 1) * param.stepHundredths));
}

INSTANTIATE_TEST_SUITE_P(
    Rates, GLDReaderThinning,
    // Thinned or not, the last row is always kept.
    ::testing::Values(ThinningCase{1000, 5, 501, 20, 10},    // 20 Hz: every second row
                      ThinningCase{999, 5, 999, 0, 5},       // too few rows to measure
                      ThinningCase{1001, 4, 501, 25, 8},     // 25 Hz: every second row
                      ThinningCase{1000, 2, 201, 50, 10},    // 50 Hz: every fifth row
                      ThinningCase{1003, 2, 202, 50, 10},    // 50 Hz, last row off the step
                      ThinningCase{1000, 10, 1000, 10, 10},  // 10 Hz: all rows
                      ThinningCase{1200, 20, 1200, 5, 20},   // 5 Hz: all rows
                      // One time for every row: no interval to measure, nothing thinned.
                      ThinningCase{1000, 0, 1000, 0, 0}));

TEST(GLDReaderThinning, FifteenHertzKeepsEveryRow) {
    std::vector<std::string> rows;
    for (int i = 0; i < 1500; ++i) {
        rows.push_back(row(9, timeText(12L * 360000 + (i * 100 + 7) / 15), 3000, 100, 80));
    }
    const auto reading = readText(sessionText(kChannels, rows));
    EXPECT_EQ(reading.samples.rows.size(), 1500u);
}

// ---- bad input ----------------------------------------------------------------------------

class GLDReaderMissingChannel : public ::testing::TestWithParam<std::string> {};

TEST_P(GLDReaderMissingChannel, FailsWithAClearMessage) {
    std::vector<std::string> channels;
    for (const auto& channel : kChannels) {
        if (channel != GetParam()) channels.push_back(channel);
    }
    const auto reading = readText(
        sessionText(channels, {"7 120000.00 3000 100 50 90 1 1", "7 120000.10 1 1 1 1 1"}));
    EXPECT_EQ(reading.samples.error, MVGLDReadError::MissingChannel);
    EXPECT_TRUE(reading.samples.rows.empty());
    std::string lower = GetParam();
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(reading.samples.message.find(lower.substr(0, 8)), std::string::npos)
        << reading.samples.message;
}

INSTANTIATE_TEST_SUITE_P(Channels, GLDReaderMissingChannel,
                         ::testing::Values("Satellites", "Time", "Latitude", "Longitude",
                                           "Velocity kmh"));

TEST(GLDReaderBadInput, VelocityWithoutKnownUnitIsAMissingChannel) {
    const auto reading = readText(sessionText(
        {"Satellites", "Time", "Latitude", "Longitude", "Velocity"}, {"7 120000.00 3000 100 50"}));
    EXPECT_EQ(reading.samples.error, MVGLDReadError::MissingChannel);
}

TEST(GLDReaderBadInput, NoUsableRowFails) {
    const std::vector<std::string> cases = {
        sessionText(kChannels, {}),
        sessionText(kChannels, {row(0, "120000.00", 3000, 100, 50)}),  // never a fix
        sessionText(kChannels, {row(7, "120000.00", 3000, 100, 0)}),   // only stationary
        sessionText(kChannels, {"garbage", "1 2 3 4 5 6 7 8", "x x x x x x x"}),
        "[header]\r\nSatellites\r\nTime\r\nLatitude\r\nLongitude\r\nVelocity kmh\r\n",  // no [data]
    };
    for (const auto& text : cases) {
        const auto reading = readText(text);
        EXPECT_EQ(reading.samples.error, MVGLDReadError::NoUsableRow) << text;
        EXPECT_FALSE(reading.samples.message.empty());
        EXPECT_TRUE(reading.samples.rows.empty());
    }
}

TEST(GLDReaderBadInput, RowsShorterThanTheHeaderAreRefusedAsSuch) {
    std::vector<std::string> channels = kChannels;
    channels.push_back("RPM");  // the header names 8 channels, the rows hold 7 fields
    const auto reading = readText(sessionText(
        channels, {row(7, "120000.00", 3000, 100, 50), row(7, "120000.10", 3000, 100, 51)}));
    EXPECT_EQ(reading.samples.error, MVGLDReadError::NoUsableRow);
    EXPECT_EQ(reading.samples.message,
              "The rows of the session file hold fewer fields than the 8 channels its header "
              "names.");
    // Rows that are merely unreadable keep the general reason.
    const auto never = readText(sessionText(kChannels, {row(0, "120000.00", 3000, 100, 50)}));
    EXPECT_EQ(never.samples.message,
              "The session file has no readable sample row with a satellite fix.");
}

TEST(GLDReaderBadInput, BinaryNoiseAfterTheDataLineNeverCrashes) {
    std::string text = sessionText(kChannels, {row(7, "120000.00", 3000, 100, 50)});
    for (int i = 0; i < 2000; ++i) text.push_back(static_cast<char>((i * 37 + 11) % 128));
    const auto reading = readText(text);
    EXPECT_EQ(reading.samples.error, MVGLDReadError::None);
    EXPECT_GE(reading.samples.rows.size(), 1u);
}

// ---- generated sessions -------------------------------------------------------------------

TEST(GLDReaderGenerated, KeepsTheRowsAndRateAReaderOfTheFormatSees) {
    testing_support::SessionOptions options;
    options.laps = 3;
    options.rateHz = 25;
    options.speedUnit = testing_support::SpeedUnit::Mph;
    options.leadingNoFixRows = 12;
    options.garbageLines = 4;
    options.withDroppedChannels = true;
    options.withHeading = true;
    options.extraChannels = 2;
    options.decimalComma = true;
    const auto session = testing_support::generateSession(options);
    testing_support::TempDir dir;
    const auto path = dir / "generated.gld";
    ASSERT_TRUE(testing_support::writeSessionFile(path, session.text));

    const auto text = MVGLDReader::readGLDText(path);
    ASSERT_EQ(text.error, MVGLDReadError::None) << text.message;
    const auto lines = MVGLDReader::splitGLDLines(text.text);
    const auto header = MVGLDReader::fetchHeadersWithArrayOfLines(lines);
    const auto samples = MVGLDReader::fetchDataWithArrayOfLines(lines, header);
    ASSERT_EQ(samples.error, MVGLDReadError::None) << samples.message;

    EXPECT_EQ(header.speedUnitScale, 1.609344);
    EXPECT_EQ(samples.rows.size(), session.truth.readerRowCount);
    EXPECT_EQ(samples.loggingRate, static_cast<int>(session.truth.readerRateHz));
    EXPECT_EQ(samples.skippedLines, session.truth.garbageLineCount);
    const auto times = MVDerivedSeries::fetchIndexesWithArrayOfHeader(header.names, samples.rows);
    const double firstKept =
        static_cast<double>(session.truth.firstFixRow) / options.rateHz;  // session seconds
    EXPECT_NEAR(times->values().back(), session.truth.duration - firstKept, 0.011);
}

}  // namespace
