#include "tests/support/ManualSession.h"
#include "tests/support/SessionGenerator.h"

#include "session/MVGLDFileManager.h"
#include "session/MVHelperGeometry.h"
#include "session/MVHelperMotion.h"
#include "session/MVSampleValues.h"
#include "session/MVSectorBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

using testing_support::ManualSession;

constexpr double kLatitude = 51.0;
constexpr double kLongitude = -1.0;
constexpr std::int64_t kGateWidth = 25;

// Metres per degree of longitude at the drive's latitude, as the plane conversion measures them.
double metresPerDegreeEast() {
    MVLocation at;
    at.setLatitude(kLatitude);
    at.setLongitude(kLongitude);
    return MVHelper::calculateRatio(at) * 1853.3404 * 60;
}

// A drive due east along one latitude from a fixed point, `rate` samples a second for `seconds`,
// at speedAt(t) km/h; the distance covered integrates the sampled speeds.
ManualSession straightDrive(const std::string& name, double rate, double seconds,
                            const std::function<double(double)>& speedAt) {
    ManualSession session(name,
                          {"satellites", "time", "latitude", "longitude", "velocity", "heading"});
    const auto count = static_cast<int>(std::lround(seconds * rate));
    double x = 0.0;
    double previousSpeed = speedAt(0.0);
    for (int n = 0; n <= count; ++n) {
        const double t = n / rate;
        const double v = speedAt(t);
        if (n > 0) x += (previousSpeed + v) * 0.5 / rate / 3.6;
        previousSpeed = v;
        session.addRow(t, v, kLatitude, kLongitude + x / metresPerDegreeEast(),
                       {{"satellites", "9"}, {"heading", "90"}});
    }
    return session;
}

// A gate across the drive `metres` east of its start, `north` metres off the line.
MVPreviousNextLocationPtr gateAt(double metres, double north = 0.0) {
    auto gate = MVPreviousNextLocation::instance();
    const double latitude = kLatitude + north / (1853.3404 * 60);
    gate->previousLocation()->setLatitude(latitude);
    gate->previousLocation()->setLongitude(kLongitude + (metres - 20.0) / metresPerDegreeEast());
    gate->nextLocation()->setLatitude(latitude);
    gate->nextLocation()->setLongitude(kLongitude + metres / metresPerDegreeEast());
    return gate;
}

// Speed bumps on a floor of 80 km/h: each rises linearly over 4 s to its top, which it holds for
// `plateau` seconds around its centre.
struct Bump {
    double centre;
    double top = 140.0;
    double plateau = 0.0;
};

std::function<double(double)> bumps(std::vector<Bump> list) {
    return [list](double t) {
        double v = 80.0;
        for (const Bump& b : list) {
            const double off = std::max(0.0, std::abs(t - b.centre) - b.plateau / 2);
            v = std::max(v, b.top - (b.top - 80.0) * std::min(1.0, off / 4.0));
        }
        return std::round(v * 100) / 100;
    };
}

class Sectors : public ::testing::Test {
  protected:
    MVGLDFileManager manager;
    MVSectorBuilder builder{manager};

    MVLapPtr install(const ManualSession& session, std::uint64_t first, std::uint64_t last) {
        session.install(manager);
        if (!manager.baseLocation()) {
            auto base = MVLocation::instance();
            base->setLatitude(kLatitude);
            base->setLongitude(kLongitude);
            manager.setBaseLocation(base);
        }
        return session.lap(first, last);
    }

    static std::vector<double> gateTimes(const std::vector<MVPreviousNextLocationPtr>& gates) {
        std::vector<double> times;
        for (const auto& gate : gates) times.push_back(gate->nextLocation()->timestamp());
        return times;
    }
};

struct PeakCase {
    const char* what;
    double seconds;
    std::vector<Bump> bumps;
    std::vector<double> gates;
};

TEST_F(Sectors, GatesSitAtClearSpeedPeaks) {
    const PeakCase cases[] = {
        {"4.9 s after the start", 20, {{4.9}}, {}},
        {"5.0 s after the start", 20, {{5.0}}, {5.0}},
        {"4.9 s before the end", 20, {{15.1}}, {}},
        {"5.0 s before the end", 20, {{15.0}}, {15.0}},
        {"a lap shorter than 10 s", 9.9, {{5.0}}, {}},
        {"two peaks", 40, {{12}, {27}}, {12.0, 27.0}},
        {"a higher peak within 5 s", 40, {{12}, {15, 150}}, {15.0}},
        {"equal peaks 2 s apart", 40, {{12}, {14}}, {12.0}},
        {"two adjacent samples at the top", 40, {{12.05, 140, 0.1}}, {}},
    };
    for (const PeakCase& c : cases) {
        MVGLDFileManager fresh;
        const MVSectorBuilder freshBuilder(fresh);
        const ManualSession session = straightDrive("ref", 10, c.seconds, bumps(c.bumps));
        session.install(fresh);
        const auto gates =
            freshBuilder.fetchBestSpeedStartFinishWithLap(session.lap(0, session.rowCount() - 1));
        EXPECT_EQ(gateTimes(gates), c.gates) << c.what;
    }
    EXPECT_TRUE(builder.fetchBestSpeedStartFinishWithLap(nullptr).empty());
}

TEST_F(Sectors, AGateRunsFromOneSecondBeforeItsPeak) {
    // 10 Hz: ten samples are one second.
    const ManualSession fast = straightDrive("fast", 10, 40, bumps({{12}}));
    const auto fastGates = builder.fetchBestSpeedStartFinishWithLap(install(fast, 0, 400));
    ASSERT_EQ(fastGates.size(), 1u);
    EXPECT_EQ(fastGates[0]->previousLocation()->timestamp(), 11.0);

    // 1 Hz, lap from sample 3: ten samples would be ten seconds (and before the lap); the gate
    // spans one second, one sample, as at 10 Hz.
    const ManualSession slow = straightDrive("slow", 1, 40, bumps({{9}}));
    const auto slowGates = builder.fetchBestSpeedStartFinishWithLap(install(slow, 3, 40));
    ASSERT_EQ(slowGates.size(), 1u);
    EXPECT_EQ(slowGates[0]->nextLocation()->timestamp(), 9.0);
    EXPECT_EQ(slowGates[0]->previousLocation()->timestamp(), 8.0);
}

TEST_F(Sectors, EveryLapIsTimedThroughTheReferenceGates) {
    const ManualSession reference = straightDrive("reference", 10, 40, bumps({{12}, {27}}));
    const auto gates = builder.fetchBestSpeedStartFinishWithLap(install(reference, 0, 400));
    ASSERT_EQ(gates.size(), 2u);

    // Another session on the same line at a steady 100 km/h passes each gate at x / v.
    const ManualSession steady = straightDrive("steady", 10, 60, [](double) { return 100.0; });
    const MVLapPtr lap = install(steady, 0, 600);
    builder.fetchSectorsWithReferenceSectors(gates, *lap, kGateWidth);

    const auto& sectors = lap->sectors()->values();
    ASSERT_EQ(sectors.size(), 4u);
    EXPECT_EQ(sectors.front(), lap->timestampStart());
    EXPECT_EQ(sectors.back(), lap->timestampEnd());
    for (std::size_t g = 0; g < gates.size(); ++g) {
        const double metres =
            MVHelper::convertLocationToSegment(*gates[g]->nextLocation(), *manager.baseLocation())
                ->point()
                .x;
        EXPECT_GT(metres, 0.0);
        EXPECT_NEAR(sectors[g + 1], metres / (100 / 3.6), 2e-3) << "gate " << g;
    }

    // A lap without gates keeps only its start and end.
    builder.fetchSectorsWithReferenceSectors({}, *lap, kGateWidth);
    EXPECT_EQ(lap->sectors()->values(),
              (std::vector<double>{lap->timestampStart(), lap->timestampEnd()}));
}

struct MissCase {
    const char* what;
    std::vector<MVPreviousNextLocationPtr> gates;
    std::vector<double> boundaries;  // between the lap's start and end; NaN: same as the one before
};

TEST_F(Sectors, AGateThatIsNotPassedGivesASectorOfLengthZero) {
    // 100 km/h at 10 Hz: 2.777... m per sample, sample n at n / 10 s; the lap runs over 0 ... 10 s.
    const double perSample = 100 / 3.6 / 10;
    const ManualSession steady = straightDrive("steady", 10, 20, [](double) { return 100.0; });
    const MVLapPtr lap = install(steady, 0, 100);
    const double same = std::nan("");
    const MissCase cases[] = {
        {"the second of three is off the line",
         {gateAt(20 * perSample), gateAt(40 * perSample, 100), gateAt(60 * perSample)},
         {2.0, same, 6.0}},
        {"the last is beyond the lap",
         {gateAt(30 * perSample), gateAt(150 * perSample)},
         {3.0, same}},
        {"found within the last ten samples, then one beyond the lap",
         {gateAt(91.5 * perSample), gateAt(97.5 * perSample), gateAt(150 * perSample)},
         {9.15, 9.75, same}},
        {"the first is never passed, the second is",
         {gateAt(40 * perSample, -100), gateAt(50 * perSample)},
         {same, 5.0}},
    };
    for (const MissCase& c : cases) {
        builder.fetchSectorsWithReferenceSectors(c.gates, *lap, kGateWidth);
        const auto& sectors = lap->sectors()->values();
        ASSERT_EQ(sectors.size(), c.gates.size() + 2) << c.what;
        EXPECT_EQ(sectors.front(), 0.0) << c.what;
        EXPECT_EQ(sectors.back(), 10.0) << c.what;
        for (std::size_t g = 0; g < c.boundaries.size(); ++g) {
            if (std::isnan(c.boundaries[g])) {
                EXPECT_EQ(sectors[g + 1], sectors[g]) << c.what << ", gate " << g;
            } else {
                EXPECT_NEAR(sectors[g + 1], c.boundaries[g], 1e-3) << c.what << ", gate " << g;
            }
        }
    }
}

// A lap that passes the gate's line beside the gate the other way (the return of a hairpin beside
// it) as well as through the gate's middle: only the pass the way the lap drives through the gate
// times it, whichever comes first and whichever way the gate points.
TEST_F(Sectors, APassTheOtherWayBesideTheGateDoesNotTimeIt) {
    const double perSample = 100 / 3.6 / 10;
    struct Case {
        const char* what;
        double firstNorth, secondNorth;  // metres off the gate's middle of each leg
        double expected;
    };
    const Case cases[] = {
        {"beside the gate westwards, then through it eastwards (the gate's way)", 15, 0, 12.32},
        {"through the gate westwards, then beside it eastwards (driven the other way)", 0, 15, 3.6},
    };
    for (const Case& c : cases) {
        // 100 km/h at 10 Hz: first west from 200 m to the gate's west, then east from there.
        ManualSession drive(c.firstNorth > 0 ? "beside first" : "beside last",
                            {"satellites", "time", "latitude", "longitude", "velocity"});
        for (int n = 0; n < 160; ++n) {
            const bool first = n < 80;
            const double x = first ? 200 - n * perSample : -20 + (n - 80) * perSample;
            const double north = first ? c.firstNorth : c.secondNorth;
            drive.addRow(n / 10.0, 100, kLatitude + north / (1853.3404 * 60),
                         kLongitude + x / metresPerDegreeEast(), {{"satellites", "9"}});
        }
        const MVLapPtr lap = install(drive, 0, 159);
        builder.fetchSectorsWithReferenceSectors({gateAt(100)}, *lap, kGateWidth);
        const auto& sectors = lap->sectors()->values();
        ASSERT_EQ(sectors.size(), 3u) << c.what;
        EXPECT_NEAR(sectors[1], c.expected, 1e-3) << c.what;
    }
}

TEST_F(Sectors, LapsShorterThanTheSearchWindowAreSearchedToTheirEnd) {
    const double perSample = 100 / 3.6 / 10;
    const ManualSession steady = straightDrive("steady", 10, 20, [](double) { return 100.0; });
    install(steady, 0, 6);
    for (const std::uint64_t first : {0u, 5u}) {
        const MVLapPtr lap = steady.lap(first, first + 6);
        builder.fetchSectorsWithReferenceSectors({gateAt((first + 3.5) * perSample)}, *lap,
                                                 kGateWidth);
        const auto& sectors = lap->sectors()->values();
        ASSERT_EQ(sectors.size(), 3u) << first;
        EXPECT_NEAR(sectors[1], (first + 3.5) / 10, 1e-3) << first;
    }
}

TEST_F(Sectors, GeneratedSessionLapsAllPassTheGatesOfTheFastestLap) {
    testing_support::SessionOptions options;
    options.laps = 4;
    options.withHeading = true;
    options.lapPace = {0.8, 0.9, 1.0, 0.85};
    const auto generated = testing_support::generateSession(options);
    ASSERT_EQ(testing_support::installSessionText(manager, "generated", generated.text), 0);
    const auto& times = *manager.arrayOfFakeIndexes()[0];
    MVSampleValues values(manager);
    manager.setBaseLocation(
        values.locationWithSamplesIndex(0, *manager.arrayOfWholeFileMVLaps()[0]->lapAtIndex(0)));

    std::vector<MVLapPtr> laps;
    for (const auto& truth : generated.truth.laps) {
        auto lap = MVLap::instance();
        lap->setGldFile("generated");
        lap->setNumber(static_cast<std::uint64_t>(truth.number));
        lap->setIndexStart(truth.readerFirstRow);
        lap->setIndexEnd(truth.readerLastRow);
        lap->setTimestampStart(times.valueAtIndex(static_cast<std::int64_t>(truth.readerFirstRow)));
        lap->setTimestampEnd(times.valueAtIndex(static_cast<std::int64_t>(truth.readerLastRow)));
        laps.push_back(lap);
    }
    ASSERT_EQ(laps.size(), 4u);
    const MVLapPtr reference = laps[2];  // pace 1.0
    const auto gates = builder.fetchBestSpeedStartFinishWithLap(reference);
    ASSERT_GE(gates.size(), 2u);

    for (const MVLapPtr& lap : laps) {
        builder.fetchSectorsWithReferenceSectors(gates, *lap, kGateWidth);
        const auto& sectors = lap->sectors()->values();
        ASSERT_EQ(sectors.size(), gates.size() + 2) << lap->number();
        for (std::size_t b = 1; b < sectors.size(); ++b) {
            EXPECT_GT(sectors[b], sectors[b - 1]) << "lap " << lap->number() << ", boundary " << b;
        }
    }
    // The reference lap passes each gate at its own peak sample.
    for (std::size_t g = 0; g < gates.size(); ++g) {
        EXPECT_NEAR(reference->sectors()->values()[g + 1], gates[g]->nextLocation()->timestamp(),
                    0.01)
            << "gate " << g;
    }
}

TEST_F(Sectors, GForcesPerSample) {
    ManualSession session("turning", {"time", "latitude", "longitude", "velocity", "heading"});
    const double speeds[] = {26, 36, 40, 40};
    const char* headings[] = {"1", "359", "357", "357"};
    for (int i = 0; i < 4; ++i) {
        session.addRow(i * 0.1, speeds[i], kLatitude, kLongitude, {{"heading", headings[i]}});
    }
    const MVLapPtr lap = install(session, 0, 3);
    builder.fetchGForceWithLap(*lap);
    ASSERT_EQ(lap->gForces().size(), 4u);
    EXPECT_EQ(lap->gForces()[0]->xAis(), 0.0);  // the session's first sample
    EXPECT_EQ(lap->gForces()[0]->yAis(), 0.0);
    EXPECT_EQ(lap->gForces()[1]->xAis(), MVHelper::lateralAcceleration(359, 1, 36, 10));
    EXPECT_EQ(lap->gForces()[1]->yAis(), MVHelper::longitudinalAcceleration(36, 26, 10));
    EXPECT_EQ(lap->gForces()[2]->xAis(), MVHelper::lateralAcceleration(357, 359, 40, 10));

    const MVLapPtr inner = session.lap(2, 3);
    builder.fetchGForceWithLap(*inner);
    ASSERT_EQ(inner->gForces().size(), 2u);
    EXPECT_EQ(inner->gForces()[0]->yAis(), MVHelper::longitudinalAcceleration(40, 36, 10));

    // Without headings the lateral part reads 0.
    ManualSession bare("bare", {"time", "latitude", "longitude", "velocity"});
    bare.addRow(0, 10, kLatitude, kLongitude);
    bare.addRow(0.1, 20, kLatitude, kLongitude);
    const MVLapPtr bareLap = install(bare, 0, 1);
    builder.fetchGForceWithLap(*bareLap);
    ASSERT_EQ(bareLap->gForces().size(), 2u);
    EXPECT_EQ(bareLap->gForces()[1]->xAis(), 0.0);
    EXPECT_EQ(bareLap->gForces()[1]->yAis(), MVHelper::longitudinalAcceleration(20, 10, 10));
}

}  // namespace
