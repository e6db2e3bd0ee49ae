// Lap time to video file and milliseconds, and a playing file's time back to lap time.
#include "views/MVVideoTimeMapping.h"

#include "session/MVSampleValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace {

using Mapping = MVVideoTimeMapping;
using Target = Mapping::Target;

// A lap from session second 100; its video starts at `start` ms and runs on without a gap,
// into a second 300 s file with `twoFiles`.
Mapping::Lap lap(std::int64_t start, std::int64_t end, double duration, bool twoFiles) {
    return Mapping::Lap{100, duration, start, end, twoFiles};
}
double continuous(std::int64_t start, double t) {
    const double ms = double(start) + (t - 100) * 1000;
    return ms < 300000 ? ms : ms - 300000;
}

TEST(VideoTimeMapping, LapTimeToFileAndMilliseconds) {
    const auto one = lap(5000, 65000, 60, false);
    const auto two = lap(290000, 50000, 60, true);
    auto oneLookup = [](double t) { return continuous(5000, t); };
    auto twoLookup = [](double t) { return continuous(290000, t); };
    auto none = [](double) { return -1.0; };
    auto notAvailable = [](double) { return MVSampleValues::kNotAvailable; };
    struct Case {
        const char* name;
        Mapping::Lap lap;
        double seconds;
        Mapping::VideoTimeLookup lookup;
        std::int64_t length0, length1;
        std::optional<Target> expected;
    } cases[] = {
        {"within one file", one, 10, oneLookup, 120000, 0, Target{0, 15000}},
        {"past the lap end holds its last frame", one, 75, oneLookup, 120000, 0, Target{0, 65000}},
        {"clamped to the file's length", one, 59, oneLookup, 30000, 0, Target{0, 30000}},
        {"two files, before the first file's end", two, 9.9, twoLookup, 300000, 300000,
         Target{0, 299900}},
        {"two files, past the first file's end", two, 10.1, twoLookup, 300000, 300000,
         Target{1, 100}},
        {"sample without video time", one, 10, none, 120000, 0, std::nullopt},
        {"channel not available", one, 10, notAvailable, 120000, 0, std::nullopt},
        {"first length unknown (parse failed)", one, 10, oneLookup, 0, 0, std::nullopt},
        {"second length unknown", two, 20, twoLookup, 300000, 0, std::nullopt},
        {"not a number", one, std::nan(""), oneLookup, 120000, 0, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Mapping::targetForLapTime(c.lap, c.seconds, c.lookup, c.length0, c.length1),
                  c.expected)
            << c.name;
    }
}

TEST(VideoTimeMapping, PlayingTimeToLapTime) {
    const auto one = lap(5000, 65000, 60, false);
    const auto two = lap(290000, 50000, 60, true);
    struct Case {
        const char* name;
        Mapping::Lap lap;
        int file;
        std::int64_t ms;
        std::optional<double> seconds;
        std::optional<std::int64_t> hold;
    } cases[] = {
        {"one file", one, 0, 15000, 10.0, std::nullopt},
        {"before the lap's start: nothing", one, 0, 1000, std::nullopt, std::nullopt},
        {"past the end of a one-file lap: hold", one, 0, 66000, 60.0, 65000},
        {"first of two files", two, 0, 295000, 5.0, std::nullopt},
        {"second file adds the first's length", two, 1, 100, 10.1, std::nullopt},
        {"past the end in the second file: hold", two, 1, 50500, 60.0, 50000},
    };
    for (const Case& c : cases) {
        const auto report = Mapping::reportForTime(c.lap, c.file, c.ms, 300000);
        ASSERT_EQ(report.lapSeconds.has_value(), c.seconds.has_value()) << c.name;
        if (c.seconds) {
            EXPECT_NEAR(*report.lapSeconds, *c.seconds, 1e-9) << c.name;
        }
        EXPECT_EQ(report.holdMs, c.hold) << c.name;
    }
}

}  // namespace

// The video time at the cursor's moment between two samples 0.1 s apart: interpolated, unless
// there is nothing to interpolate towards.
TEST(VideoTimeMapping, VideoTimeBetweenTwoSamples) {
    const double nan = std::nan("");
    struct Case {
        const char* name;
        double t, t0, v0, t1, v1;
        double expected;
    } cases[] = {
        {"at the sample", 10.0, 10.0, 5000, 10.1, 5100, 5000},
        {"a quarter on", 10.025, 10.0, 5000, 10.1, 5100, 5025},
        {"just before the next", 10.099, 10.0, 5000, 10.1, 5100, 5099},
        {"next sample without video time", 10.05, 10.0, 5000, 10.1, -1, 5000},
        {"next sample not available", 10.05, 10.0, 5000, 10.1, MVSampleValues::kNotAvailable, 5000},
        {"the video restarts in the next file", 10.05, 10.0, 299950, 10.1, 50, 299950},
        {"a gap in the recording", 10.05, 10.0, 5000, 10.1, 9000, 5000},
        {"no sample at or before", 10.05, 10.0, nan, 10.1, 5100, nan},
        {"samples at one time", 10.0, 10.0, 5000, 10.0, 5100, 5000},
    };
    for (const Case& c : cases) {
        const double v = Mapping::videoTimeBetween(c.t, c.t0, c.v0, c.t1, c.v1);
        if (std::isnan(c.expected)) {
            EXPECT_TRUE(std::isnan(v)) << c.name;
        } else {
            EXPECT_NEAR(v, c.expected, 1e-6) << c.name;
        }
    }
}
