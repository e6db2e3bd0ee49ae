#pragma once

#include <cstdint>
#include <functional>
#include <optional>

class MVLap;

// The arithmetic between a lap's time and its video files. A lap's video lies in one file or runs
// over from the first file into a second; each sample of the lap records the time of its own file
// at which it was logged ("avisynctime", milliseconds). Lap times are seconds from the lap's
// start; video times are milliseconds of a file's own clock; file lengths are 0 while unknown.
//
// Pure functions of their arguments; safe on any thread.
class MVVideoTimeMapping {
  public:
    // The video time (ms) recorded at an elapsed session time; negative, NaN or huge (the "not
    // available" value) where that sample has no video time.
    using VideoTimeLookup = std::function<double(double sessionTime)>;

    struct Lap {
        double timestampStart = 0;  // session seconds at the lap's start
        double duration = 0;        // seconds
        std::int64_t videoTimestampStart = 0;
        std::int64_t videoTimestampEnd = 0;
        bool twoFiles = false;
    };
    static Lap lapFacts(const MVLap& lap);

    struct Target {
        int file = 0;         // 0 first file, 1 second file
        std::int64_t ms = 0;  // within [0, that file's length]
        bool operator==(const Target&) const = default;
    };

    // Where the video of lap time `seconds` lies: the file, and the milliseconds within it, from
    // the video time of the sample at that time. Past the end of a one-file lap, its last frame.
    // nullopt (no seek) when that sample has no video time or the length of the file it lies in
    // is not known.
    static std::optional<Target> targetForLapTime(const Lap& lap, double seconds,
                                                  const VideoTimeLookup& videoTimeAt,
                                                  std::int64_t length0, std::int64_t length1);

    // What a time report of a playing file means for the lap: the lap seconds shown (none before
    // the lap's start), and whether the lap's end has been passed, in which case the film holds
    // on `holdMs` of that file (the lap's last frame).
    // The video time at session time `t` between two samples (at session times t0 < t1, with
    // video times v0 and v1): interpolated, as the charts and the map place the cursor between
    // samples. v0 (the sample at or before) where there is nothing to interpolate towards: v1 not
    // a time, the video restarting in another file (v1 < v0), or a gap in the recording (the
    // video moving on more than twice as fast as the samples).
    static double videoTimeBetween(double t, double t0, double v0, double t1, double v1);

    struct Report {
        std::optional<double> lapSeconds;
        std::optional<std::int64_t> holdMs;
    };
    static Report reportForTime(const Lap& lap, int file, std::int64_t ms, std::int64_t length0);
};
