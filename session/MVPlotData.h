#pragma once

#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"

#include <string>
#include <vector>

// One point of a chart curve: x is the time since the lap's start (seconds) in time mode, or the
// position along the reference lap (a whole number) in position mode; y is the channel's value in
// the chosen units (MVSampleValues), or the delta time in seconds for "delta t".
struct MVPlotPoint {
    double x = 0.0;
    double y = 0.0;

    friend bool operator==(const MVPlotPoint&, const MVPlotPoint&) = default;
};

// The points of one lap, in sample or position order.
using MVPlotCurve = std::vector<MVPlotPoint>;
// One curve per lap, in the order of the laps given.
using MVPlotCurves = std::vector<MVPlotCurve>;
// One entry per channel key, in the order of the keys given.
using MVPlotSeries = std::vector<MVPlotCurves>;

// The chart curves of the selected laps: one curve per lap and channel, against the time since
// the lap's start or against the position along the reference lap (the lap's positionIndexes,
// see MVPositionAlignment). For the channel "delta t" the last lap of the list is the lap the
// others are compared with.
//
// Pure functions of the loaded data: nothing is cached and nothing is reported; a value the
// session lacks comes out as MVSampleValues::kNotAvailable. Runs on the caller's thread and takes
// no locks (use it where the manager's lists are not being written). A null lap in a list gets an
// empty curve; a lap without alignment values gets an empty position or "delta t" curve.
class MVPlotData {
  public:
    explicit MVPlotData(const MVGLDFileManager& manager = MVGLDFileManager::sharedManager())
        : manager_(manager) {}

    // Time mode, every key and lap. For "delta t", with R the last lap: the lap's i-th sample
    // time (since the lap's start) against the delta time at position i, for i = 0, 1, ... while
    // the lap has an i-th sample and R has an i-th position.
    MVPlotSeries dataTimeBasedForPlotsWithArrayOfLaps(const std::vector<MVLapPtr>& laps,
                                                      const std::vector<std::string>& keys) const;
    // Position mode, every key and lap. For "delta t", with R the last lap: [k, delta time at k]
    // for every position k of R.
    MVPlotSeries dataPositionBasedForPlotsWithArrayOfLaps(
        const std::vector<MVLapPtr>& laps, const std::vector<std::string>& keys) const;

    // [time of sample i - the lap's timestampStart, value at i] for every sample of the lap.
    MVPlotCurve timeBasedDataForPlotWithKey(const std::string& key, const MVLap& lap) const;
    // [k, value at the last sample at or before positionIndexes[k]] for every position k.
    MVPlotCurve positionBasedDataForPlotWithKey(const std::string& key, const MVLap& lap) const;

  private:
    MVPlotCurve timeBasedDeltaT(const MVLap& lap, const MVLap& referenceLap) const;
    MVPlotCurve positionBasedDeltaT(const MVLap& lap, const MVLap& referenceLap) const;

    const MVGLDFileManager& manager_;
};
