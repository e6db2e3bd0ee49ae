#pragma once

#include "session/MV2DSegment.h"
#include "session/MVLap.h"
#include "session/MVSampleValues.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// The plane points of a lap's samples, gathered once for the searches that read them many times
// (sector gates, position alignment): each from the session's points at hand where that list has
// it, else worked out from the samples (MVSampleValues::segmentWithSampleIndex). Read in place by
// sample index, clamped into the lap as the sample lookups clamp; the points at hand are not
// copied and their shared count is not touched. Valid while the points at hand live.
class MVLapPoints {
  public:
    MVLapPoints(const MVSampleValues& values, const MVLap& lap,
                const std::vector<MV2DSegmentPtr>* atHand);

    // The point of sample `index`, clamped into the lap.
    const MV2DSegment& operator()(std::int64_t index) const {
        return *points_[static_cast<std::size_t>(std::clamp(index, first_, last_) - first_)];
    }
    // The lap's points in sample order, its first sample's first.
    const std::vector<const MV2DSegment*>& all() const { return points_; }
    std::int64_t first() const { return first_; }
    std::int64_t last() const { return last_; }

  private:
    std::int64_t first_;
    std::int64_t last_;  // never before first_
    std::vector<const MV2DSegment*> points_;
    std::vector<MV2DSegmentPtr> own_;  // the points the list at hand lacks
};
