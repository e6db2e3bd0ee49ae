#include "tests/support/ManualSession.h"

#include "session/MVGLDFileManager.h"
#include "session/MVHelperGeometry.h"
#include "session/MVHelperMotion.h"
#include "session/MVSampleValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using testing_support::ManualSession;

constexpr double kNA = MVSampleValues::kNotAvailable;

double single(double value) {
    return static_cast<double>(static_cast<float>(value));
}

// Five samples at 10 Hz with every kind of channel:
//   row  speed  sat  heading  height  rpm
//   0    26     39   1        150.5   1.5E-3
//   1    36     9    359      151     4200
//   2    100    9    359      152     4300
//   3    100    9    1        153     4400
//   4    100    9    1        154     4500
ManualSession alphaSession() {
    ManualSession session("alpha", {"satellites", "time", "latitude", "longitude", "velocity",
                                    "heading", "height", "rpm"});
    const double speeds[] = {26, 36, 100, 100, 100};
    const char* headings[] = {"1", "359", "359", "1", "1"};
    const char* heights[] = {"150.5", "151", "152", "153", "154"};
    const char* rpms[] = {"1.5E-3", "4200", "4300", "4400", "4500"};
    for (int i = 0; i < 5; ++i) {
        session.addRow(i * 0.1, speeds[i], 51.0 + i * 0.0001, -1.0 + i * 0.0001,
                       {{"satellites", i == 0 ? "39" : "9"},
                        {"heading", headings[i]},
                        {"height", heights[i]},
                        {"rpm", rpms[i]}});
    }
    return session;
}

class SampleValues : public ::testing::Test {
  protected:
    MVGLDFileManager manager;
    MVSampleValues values{manager};
    ManualSession alpha = alphaSession();

    void SetUp() override { alpha.install(manager); }

    void setUnits(int speed, int distance, int height) {
        manager.setSpeedUnit(speed);
        manager.setDistanceUnit(distance);
        manager.setHeightUnit(height);
    }
};

struct TextCase {
    int speedUnit, distanceUnit, heightUnit;
    const char* key;
    std::int64_t index;
    const char* text;
};

TEST_F(SampleValues, DisplayTextsFollowTheChosenUnits) {
    const TextCase cases[] = {
        {0, 0, 0, "velocity", 2, "100.0 km/h"},
        {1, 0, 0, "velocity", 2, "62.1 mph"},
        {0, 0, 0, "distance", 1, "0.00 m"},  // the lap's first sample, in every unit
        {0, 1, 0, "distance", 1, "0.00 feet"},
        {0, 2, 0, "distance", 1, "0.00 miles"},
        {0, 0, 0, "height", 0, "150.50 m"},
        {0, 0, 1, "height", 0, "493.77 feet"},
        {0, 0, 0, "satellites", 0, "7"},  // 39 & 0x1F
        {0, 0, 0, "time", 3, "0.30 s"},
        {0, 0, 0, "utc", 1, "10:00:00.10"},
        {0, 0, 0, "lat acc", 1, "+0.36 g"},   // 359 after 1 at 36 km/h
        {0, 0, 0, "lat acc", 2, "+0.00 g"},   // no turn: a zero, never "+-0.00"
        {0, 0, 0, "lat acc", 3, "-0.99 g"},   // 1 after 359 at 100 km/h
        {0, 0, 0, "long acc", 1, "+2.83 g"},  // 26 -> 36 km/h in 0.1 s
        {0, 0, 0, "combined g", 1, "2.85 g"},
        {0, 0, 0, "rpm", 0, "0.001500"},   // exponent form rewritten
        {0, 0, 0, "rpm", 1, "4200"},       // as written
        {0, 0, 0, "rpm", -4, "0.001500"},  // a negative index reads sample 0
        {0, 0, 0, "gear", 1, "N/A"},
        {0, 0, 0, "delta t", 1, "N/A"},  // listed, but rows carry no such field
        {0, 0, 0, "rpm", 5, "N/A"},      // past the last row
    };
    const MVLapPtr lap = alpha.lap(1, 4);
    for (const TextCase& c : cases) {
        setUnits(c.speedUnit, c.distanceUnit, c.heightUnit);
        EXPECT_EQ(values.stringValueWithSamplesIndex(c.index, c.key, lap.get()), c.text)
            << c.key << " at " << c.index;
    }
}

TEST_F(SampleValues, NumbersAreExactInEveryUnit) {
    const MVLapPtr lap = alpha.lap(1, 4);
    const auto& distances = manager.arrayOfDistances()[0]->values();
    const double metres = distances[4] - distances[1];

    EXPECT_EQ(values.floatValueWithSamplesIndex(0, "satellites", lap.get()), 7.0);
    EXPECT_EQ(values.floatValueWithSamplesIndex(2, "velocity", lap.get()), 100.0);
    EXPECT_EQ(values.floatValueWithSamplesIndex(4, "distance", lap.get()), metres);
    EXPECT_EQ(values.floatValueWithSamplesIndex(0, "height", lap.get()), 150.5);
    EXPECT_EQ(values.floatValueWithSamplesIndex(3, "time", lap.get()), 0.3);
    EXPECT_EQ(values.floatValueWithSamplesIndex(3, "utc", lap.get()), 0.3);
    EXPECT_EQ(values.floatValueWithSamplesIndex(3, "delta t", lap.get()), 0.0);
    EXPECT_EQ(values.floatValueWithSamplesIndex(1, "rpm", lap.get()), 4200.0);
    EXPECT_EQ(values.floatValueWithSamplesIndex(0, "rpm", lap.get()), single(0.0015));
    EXPECT_EQ(values.floatValueWithSamplesIndex(1, "gear", lap.get()), kNA);

    setUnits(1, 1, 1);
    EXPECT_EQ(values.floatValueWithSamplesIndex(2, "velocity", lap.get()), 100.0 / 1.609344);
    EXPECT_NEAR(values.floatValueWithSamplesIndex(2, "velocity", lap.get()), 62.137, 0.001);
    EXPECT_EQ(values.floatValueWithSamplesIndex(4, "distance", lap.get()), metres * 3.2808399);
    EXPECT_EQ(values.floatValueWithSamplesIndex(0, "height", lap.get()), 150.5 * 3.2808399);
    setUnits(0, 2, 0);
    EXPECT_EQ(values.floatValueWithSamplesIndex(4, "distance", lap.get()), metres * 0.000621371192);
}

TEST_F(SampleValues, AccelerationsUseTheSessionsOwnStepAndSinglePrecisionSpeeds) {
    const MVLapPtr lap = alpha.lap(0, 4);
    const double lateral = values.floatValueWithSamplesIndex(1, "lat acc", lap.get());
    const double longitudinal = values.floatValueWithSamplesIndex(1, "long acc", lap.get());
    EXPECT_EQ(lateral, MVHelper::lateralAcceleration(359, 1, single(36), 10));
    EXPECT_NEAR(lateral, 0.356, 0.001);
    EXPECT_EQ(longitudinal, MVHelper::longitudinalAcceleration(single(36), single(26), 10));
    EXPECT_EQ(values.floatValueWithSamplesIndex(1, "combined g", lap.get()),
              std::sqrt(lateral * lateral + longitudinal * longitudinal));

    // The same speeds logged at 5 Hz, thinned to 12.5 Hz, and with a repeated time.
    struct Case {
        double step;
        double rate;
    };
    for (const Case c : {Case{0.2, 5.0}, Case{0.08, 12.5}, Case{0.0, 0.0}}) {
        MVGLDFileManager other;
        ManualSession session("steps", {"time", "latitude", "longitude", "velocity", "heading"});
        session.addRow(10.0, 0, 51, -1, {{"heading", "90"}});
        session.addRow(10.0 + c.step, 10, 51, -1, {{"heading", "92"}});
        session.install(other);
        const MVSampleValues stepValues(other);
        const MVLapPtr stepLap = session.lap(0, 1);
        const double expectedLong =
            c.rate > 0 ? MVHelper::longitudinalAcceleration(10, 0, c.rate) : 0.0;
        const double expectedLat =
            c.rate > 0 ? MVHelper::lateralAcceleration(92, 90, 10, c.rate) : 0.0;
        EXPECT_EQ(stepValues.floatValueWithSamplesIndex(1, "long acc", stepLap.get()), expectedLong)
            << c.step;
        EXPECT_EQ(stepValues.floatValueWithSamplesIndex(1, "lat acc", stepLap.get()), expectedLat)
            << c.step;
    }
}

TEST_F(SampleValues, TheFirstSampleHasNoStepBeforeIt) {
    const MVLapPtr lap = alpha.lap(0, 4);
    for (const char* key : {"lat acc", "long acc", "combined g"}) {
        EXPECT_EQ(values.floatValueWithSamplesIndex(0, key, lap.get()), 0.0) << key;
        EXPECT_EQ(values.floatValueWithSamplesIndex(-7, key, lap.get()), 0.0) << key;
    }
    EXPECT_EQ(values.stringValueWithSamplesIndex(0, "lat acc", lap.get()), "+0.00 g");
    EXPECT_EQ(values.lateralAccelerationWithSamplesIndex(0, *lap), 0.0);
    // The per-lap series keeps the stored speed in double precision.
    EXPECT_EQ(values.longitudinalAccelerationWithSamplesIndex(1, *lap),
              MVHelper::longitudinalAcceleration(36, 26, 10));
}

TEST_F(SampleValues, ChannelsASessionLacksReadAsNotAvailable) {
    ManualSession bare("bare", {"time", "latitude", "longitude", "velocity"});
    for (int i = 0; i < 3; ++i) bare.addRow(i * 0.1, 20.0 + i, 51, -1);
    bare.install(manager);
    const MVLapPtr lap = bare.lap(0, 2);

    for (const char* key : {"satellites", "height", "heading", "lat acc", "combined g", "rpm"}) {
        EXPECT_EQ(values.floatValueWithSamplesIndex(1, key, lap.get()), kNA) << key;
        EXPECT_EQ(values.stringValueWithSamplesIndex(1, key, lap.get()), "N/A") << key;
    }
    EXPECT_EQ(values.floatValueWithSamplesIndex(1, "long acc", lap.get()),
              MVHelper::longitudinalAcceleration(21, 20, 10));
    EXPECT_EQ(values.stringValueWithSamplesIndex(2, "utc", lap.get()), "10:00:00.20");
}

TEST_F(SampleValues, WithoutALapTheLastSessionIsRead) {
    ManualSession beta("beta", {"time", "latitude", "longitude", "velocity", "heading"});
    beta.addRow(0, 55, 51, -1, {{"heading", "42"}});
    beta.install(manager);

    EXPECT_EQ(values.floatValueWithSamplesIndex(0, "velocity", nullptr), 55.0);
    EXPECT_EQ(values.stringValueWithSamplesIndex(0, "heading", nullptr), "42");
    EXPECT_EQ(values.indexOfKey("heading", nullptr), 4u);
    EXPECT_EQ(values.indexOfKey("heading", alpha.lap(0, 1).get()), 5u);
    EXPECT_EQ(values.indexOfKey("gear", nullptr), std::nullopt);
    EXPECT_EQ(values.indexOfFile("beta"), 1u);
    EXPECT_EQ(values.indexOfFile("gamma"), std::nullopt);

    // A lap whose session is not loaded: time reads 0, everything else is not available.
    auto ghost = MVLap::instance();
    ghost->setGldFile("ghost");
    ghost->setIndexEnd(3);
    EXPECT_EQ(values.floatValueWithSamplesIndex(2, "time", ghost.get()), 0.0);
    EXPECT_EQ(values.floatValueWithSamplesIndex(2, "velocity", ghost.get()), kNA);
    EXPECT_EQ(values.stringValueWithSamplesIndex(2, "distance", ghost.get()), "N/A");
    EXPECT_EQ(values.vmaxWithLap(*ghost), 0.0);
    EXPECT_EQ(values.indexOfSamplesFromTimestamp(*ghost, 1.0), 0);
}

TEST_F(SampleValues, TopSpeedAndDuration) {
    EXPECT_EQ(values.vmaxWithLap(*alpha.lap(0, 1)), 36.0);
    EXPECT_EQ(values.vmaxWithLap(*alpha.lap(0, 4)), 100.0);
    setUnits(1, 0, 0);
    EXPECT_EQ(values.vmaxWithLap(*alpha.lap(0, 4)), 100.0 / 1.609344);

    ManualSession still("still", {"time", "latitude", "longitude", "velocity"});
    for (int i = 0; i < 4; ++i) still.addRow(i * 0.1, 0, 51, -1);
    still.install(manager);
    EXPECT_EQ(values.vmaxWithLap(*still.lap(0, 3)), 0.0);

    const auto& times = manager.arrayOfFakeIndexes()[0]->values();
    EXPECT_EQ(values.durationFromIndexStart(1, 4, *alpha.lap(0, 4)), times[4] - times[1]);
}

TEST(SampleValuesSearch, SampleAtATime) {
    MVGLDFileManager manager;
    ManualSession session("long", {"time", "latitude", "longitude", "velocity"});
    for (int i = 0; i < 250; ++i) session.addRow(i * 0.1, 50, 51, -1);
    session.install(manager);
    const MVSampleValues values(manager);
    const MVLapPtr lap = session.lap(20, 230);
    const auto& t = manager.arrayOfFakeIndexes()[0]->values();

    struct Case {
        double time;
        std::int64_t index;
    };
    const Case cases[] = {
        {t[20], 20},           // the lap's first sample
        {t[150], 150},         // a sample time
        {t[150] + 0.05, 150},  // between two samples: the earlier
        {t[230], 230},         // the lap's last sample
        {t[231], 231},         // the sample after the lap
        {1.0, 19},             // before the lap: indexStart - 1
        {t[240], 220},         // further on: the last coarse probe
    };
    for (const Case& c : cases) {
        EXPECT_EQ(values.indexOfSamplesFromTimestamp(*lap, c.time), c.index) << c.time;
    }
    EXPECT_EQ(values.indexOfSamplesFromTimestamp(*session.lap(0, 100), -1.0), -1);
}

TEST(SampleValuesSearch, LocationsAndPlanePointsStayInsideTheLap) {
    MVGLDFileManager manager;
    const ManualSession session = alphaSession();
    session.install(manager);
    const MVSampleValues values(manager);
    const MVLapPtr lap = session.lap(1, 3);
    manager.setBaseLocation(values.locationWithSamplesIndex(0, *lap));

    const auto pointAt = [&](std::int64_t row) {
        const MVLocationPtr location = values.locationWithSamplesIndex(row, *lap);
        return MVHelper::convertLocationToSegment(*location, *manager.baseLocation())->point();
    };
    EXPECT_NEAR(values.locationWithSamplesIndex(2, *lap)->latitude(), 51.0002, 1e-9);
    EXPECT_NEAR(values.locationWithSamplesIndex(2, *lap)->longitude(), -0.9998, 1e-9);
    EXPECT_EQ(values.locationWithSamplesIndex(2, *lap)->timestamp(), 0.2);
    EXPECT_EQ(values.locationWithSamplesIndex(-3, *lap)->latitude(),
              values.locationWithSamplesIndex(0, *lap)->latitude());

    EXPECT_EQ(values.segmentWithSampleIndex(-5, *lap)->point(), pointAt(1));
    EXPECT_EQ(values.segmentWithSampleIndex(0, *lap)->point(), pointAt(1));
    EXPECT_EQ(values.segmentWithSampleIndex(2, *lap)->point(), pointAt(2));
    EXPECT_EQ(values.segmentWithSampleIndex(99, *lap)->point(), pointAt(3));
    EXPECT_EQ(values.segmentWithSampleIndex(99, *lap)->time(), 0.3);
}

TEST(SampleValuesNumbers, NumbersOfTextFields) {
    EXPECT_EQ(MVSampleValues::arrayOfNumbersWithSample(
                  {"Start", "", "+3060.5", "-1.2E3", ".5", "12abc", "1e", "++4", "7"}),
              (std::vector<double>{3060.5, -1200.0, 0.5, 7.0}));
    EXPECT_TRUE(MVSampleValues::arrayOfNumbersWithSample({}).empty());
}

TEST_F(SampleValues, LapsBySession) {
    auto laps = MVLaps::instance();
    const double durations[] = {61.0, 59.5, 60.2};
    for (int k = 0; k < 3; ++k) {
        MVLapPtr lap = alpha.lap(0, 4, k + 1);
        lap->setDuration(durations[k]);
        lap->setDistance(2450.0);
        laps->addLap(lap);
    }
    auto perFile = manager.arrayOfMVLaps();
    perFile[0] = laps;
    testing_support::replaceCompleteLaps(manager, perFile);

    EXPECT_EQ(values.fastestLapWithGLDURL("/sessions/alpha.gld"), laps->lapAtIndex(1));
    EXPECT_EQ(values.lapWithGLDFileName("alpha", 2), laps->lapAtIndex(2));
    EXPECT_EQ(values.lapWithGLDFileName("alpha", 3), nullptr);
    EXPECT_EQ(values.lapWithGLDFileName("beta", 0), nullptr);
    EXPECT_EQ(values.fastestLapWithGLDURL("/sessions/beta.gld"), nullptr);

    const MVLapsPtr whole = values.wholeLapWithGLDURL("/elsewhere/alpha.gld");
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole, manager.arrayOfWholeFileMVLaps()[0]);
    EXPECT_TRUE(whole->lapAtIndex(0)->isWholeFileLap());
    EXPECT_EQ(values.wholeLapWithGLDURL("/elsewhere/beta.gld"), nullptr);
}

}  // namespace
