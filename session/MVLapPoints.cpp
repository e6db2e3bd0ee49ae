#include "session/MVLapPoints.h"

#include <algorithm>

MVLapPoints::MVLapPoints(const MVSampleValues& values, const MVLap& lap,
                         const std::vector<MV2DSegmentPtr>* atHand)
    : first_(MVSampleValues::signedIndex(lap.indexStart())),
      last_(std::max(first_, MVSampleValues::signedIndex(lap.indexEnd()))) {
    points_.resize(static_cast<std::size_t>(last_ - first_) + 1);
    for (std::int64_t i = first_; i <= last_; ++i) {
        const auto index = static_cast<std::size_t>(i);
        const MV2DSegment* point = nullptr;
        if (atHand && index < atHand->size() && (*atHand)[index]) {
            point = (*atHand)[index].get();
        } else {
            own_.push_back(values.segmentWithSampleIndex(i, lap));
            point = own_.back().get();
        }
        points_[static_cast<std::size_t>(i - first_)] = point;
    }
}
