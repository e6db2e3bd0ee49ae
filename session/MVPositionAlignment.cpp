#include "session/MVPositionAlignment.h"

#include "session/MVHelperGeometry.h"
#include "session/MVHelperKeys.h"
#include "session/MVLapPoints.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVSampleValues.h"

#include <algorithm>

namespace MVPositionAlignment {

void fetchPositionIndexWithReferenceLap(const MVLap& referenceLap, MVLap& lap,
                                        const MVGLDFileManager& manager) {
    fetchPositionIndexWithReferenceLap(referenceLap, lap, manager, nullptr, nullptr);
}

void fetchPositionIndexWithReferenceLap(const MVLap& referenceLap, MVLap& lap,
                                        const MVGLDFileManager& manager,
                                        const std::vector<MV2DSegmentPtr>* lapPoints,
                                        const std::vector<MV2DSegmentPtr>* referencePoints) {
    const MVSampleValues values(manager);
    const std::string& timeKey = MVHelper::Key_Time();
    auto positions = MVPositionIndexes::instance();
    const auto refStart = static_cast<std::int64_t>(referenceLap.indexStart());
    const auto refEnd = static_cast<std::int64_t>(referenceLap.indexEnd());

    if (&lap == &referenceLap || lap.checkIdentical(referenceLap)) {
        for (std::int64_t r = refStart; r <= refEnd; ++r) {
            if (r == refStart) {
                positions->addValue(referenceLap.timestampStart());
            } else if (r == refEnd) {
                positions->addValue(referenceLap.timestampEnd());
            } else {
                positions->addValue(values.floatValueWithSamplesIndex(r, timeKey, &referenceLap));
            }
        }
        lap.setPositionIndexes(std::move(positions));
        return;
    }

    const double gateWidth = static_cast<double>(MVOptionsAndSettings::sharedManager().gateWidth());
    const auto lapEnd = static_cast<std::int64_t>(lap.indexEnd());

    positions->addValue(lap.timestampStart());
    double last = lap.timestampStart();
    const auto lapStart = static_cast<std::int64_t>(lap.indexStart());
    std::int64_t n = lapStart;
    // Read in place: the shared count of the points at hand, which the laps aligned side by side
    // would otherwise all change at every step, is not touched.
    const MVLapPoints ofReference(values, referenceLap, referencePoints);
    const MVLapPoints ofLap(values, lap, lapPoints);
    for (std::int64_t r = refStart + 1; r < refEnd; ++r) {
        const MV2DSegment& p = ofReference(r);
        for (std::int64_t a = n; a < lapEnd; ++a) {
            const MV2DSegment& b = ofLap(a - 2);
            const MV2DSegment& aPoint = ofLap(a);
            const MV2DSegment& e = ofLap(a + 2);
            const double dB = MVHelper::calculateDistance(b, p);
            const double dA = MVHelper::calculateDistance(aPoint, p);
            const double dE = MVHelper::calculateDistance(e, p);
            if (dB == dA && dA == dE) {  // standing still, or clamped at the lap's end
                last = b.time();
                n = a;
                break;
            }
            if (dB >= dA && dE >= dA && dA <= gateWidth) {
                const double u = MVHelper::interpolateTimeUsingSSSTriangles(p, b, e);
                if (u > e.time()) continue;
                if (u < b.time()) {
                    // Look again a little earlier for the next place, but never before the lap.
                    n = std::max<std::int64_t>(a - 10, lapStart);
                    continue;
                }
                last = u;
                n = a;
                break;
            }
        }
        positions->addValue(last);
    }
    positions->addValue(lap.timestampEnd());
    lap.setPositionIndexes(std::move(positions));
}

double floatValueOfDeltaTWithIndex(std::int64_t k, const MVLap& lap, const MVLap& referenceLap) {
    const auto& p = *lap.positionIndexes();
    const auto& q = *referenceLap.positionIndexes();
    return (p.valueAtIndex(k) - p.valueAtIndex(0)) - (q.valueAtIndex(k) - q.valueAtIndex(0));
}

double floatValueOfDeltaSWithIndex(std::int64_t k, const MVLap& lap, const MVLap& referenceLap,
                                   const MVGLDFileManager& manager) {
    const MVSampleValues values(manager);
    auto speedAt = [&](const MVLap& l) {
        const double t = l.timestampStart() + l.calculatePositionTimestamp(static_cast<double>(k));
        const std::int64_t i = values.indexOfSamplesFromTimestamp(l, t);
        return values.floatValueWithSamplesIndex(i, MVHelper::Key_Speed(), &l);
    };
    return speedAt(lap) - speedAt(referenceLap);
}

}  // namespace MVPositionAlignment
