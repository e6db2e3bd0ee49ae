#pragma once

#include "session/MV2DSegment.h"
#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"

#include <cstdint>
#include <vector>

// Laps compared by place: every lap is aligned with the reference lap, so that position k of any
// lap is the place of the reference lap's k-th sample, and delta time there is the difference of
// the two laps' elapsed times.
namespace MVPositionAlignment {

// Replaces lap.positionIndexes() with, per sample of the reference lap, the time the lap passed
// that place: [lap start, one passing time per interior reference sample, lap end]. The
// reference lap itself (or a lap identical to it) gets its own sample times. Places the lap never
// reaches within the gate width repeat its last matched time. The list always has as many values
// as the reference lap has samples.
void fetchPositionIndexWithReferenceLap(
    const MVLap& referenceLap, MVLap& lap,
    const MVGLDFileManager& manager = MVGLDFileManager::sharedManager());
// The same with the plane points of the lap's session and of the reference lap's session at
// hand (indexed by sample; MVStartFinish::samplePoints about the manager's base location), so
// that no sample is converted again. A list that is missing or too short is read as above.
void fetchPositionIndexWithReferenceLap(const MVLap& referenceLap, MVLap& lap,
                                        const MVGLDFileManager& manager,
                                        const std::vector<MV2DSegmentPtr>* lapPoints,
                                        const std::vector<MV2DSegmentPtr>* referencePoints);

// (p[k] - p[0]) - (q[k] - q[0]) with p, q the lap's and the reference's aligned times (clamped
// reads): positive where the lap is behind the reference.
double floatValueOfDeltaTWithIndex(std::int64_t k, const MVLap& lap, const MVLap& referenceLap);

// Speed of the lap minus that of the reference at position k, in the chosen speed unit.
double floatValueOfDeltaSWithIndex(
    std::int64_t k, const MVLap& lap, const MVLap& referenceLap,
    const MVGLDFileManager& manager = MVGLDFileManager::sharedManager());

}  // namespace MVPositionAlignment
