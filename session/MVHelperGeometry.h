#pragma once

#include "session/MV2DSegment.h"
#include "session/MVLocation.h"

#include <cstdint>
#include <vector>

// Plane geometry of a session: every gate test, lap cut, sector split, map and position
// alignment works on a flat plane in metres about the session's base location (x east, y north).
// All functions are pure and safe from any thread; the four-argument crossing test reads the
// shared options' gate width without a lock.
namespace MVHelper {

// Length of one degree of longitude at the location's latitude over the length of one degree of
// latitude, on a sphere of radius 6371.315 km: exactly 1 at the equator, a little below the
// cosine of the latitude elsewhere.
double calculateRatio(const MVLocation& location);

// The plane point of location in metres about baseLocation (longitude scaled at the location's
// own latitude).
MVPoint convertLocationToMeter(const MVLocation& location, const MVLocation& baseLocation);

// A new map point: the plane point above, with the location's speed and its timestamp as time.
MV2DSegmentPtr convertLocationToSegment(const MVLocation& location, const MVLocation& baseLocation);

// Straight-line distance of the two map points, metres.
double calculateDistance(const MV2DSegment& segment, const MV2DSegment& toSeg);

// Whether the point lies within gateWidth metres of the gate's end point: a step with neither
// end so near passes through the gate only when the whole step is looked at (passageThroughGate).
bool withinGateWidth(const MV2DSegment& point, const MV2DSegment& endPoint, std::int64_t gateWidth);
// The same for each of the points, in their order (1 within, 0 not).
std::vector<char> withinGateWidth(const std::vector<const MV2DSegment*>& points,
                                  const MV2DSegment& endPoint, std::int64_t gateWidth);

// One step's passage through a gate line: when, which way and how far from the gate's middle.
struct GatePassage {
    // Interpolated time of the crossing; 0 when the step does not pass through the gate.
    double time = 0;
    // True when the step runs the gate's own way (from its start point towards its end point).
    bool along = true;
    // Metres from the gate's end point to where the step meets the gate line.
    double offCentre = 0;
};

// The passage of the step from previousSegment to currentSegment through the gate, in either
// direction: with `wholeStep` false as interpolateTime finds it (one end of the step within
// gateWidth of endPoint), with it true as interpolateTimeThroughGate finds it. Whether the
// passage counts as a crossing is the caller's rule (MVGateCrossing: only the direction the
// session drives through the gate).
GatePassage passageThroughGate(const MV2DSegment& currentSegment,
                               const MV2DSegment& previousSegment, const MV2DSegment& startPoint,
                               const MV2DSegment& endPoint, std::int64_t gateWidth, bool wholeStep);

// Time at which the step from previousSegment to currentSegment crosses the gate line (through
// endPoint, perpendicular to the direction from startPoint to endPoint), interpolated along the
// step; 0 when the step does not cross or both points lie farther than gateWidth metres from
// endPoint. A previous point exactly on the line never starts a crossing; a current point on it
// does, at its own time. Callers treat 0 as "no crossing".
double interpolateTime(const MV2DSegment& currentSegment, const MV2DSegment& previousSegment,
                       const MV2DSegment& startPoint, const MV2DSegment& endPoint,
                       std::int64_t gateWidth);

// The same with the gate width of the shared options object, read afresh on every call.
double interpolateTime(const MV2DSegment& currentSegment, const MV2DSegment& previousSegment,
                       const MV2DSegment& startPoint, const MV2DSegment& endPoint);

// As interpolateTime, and also when both points lie farther than gateWidth from endPoint but the
// step meets the gate line within gateWidth of endPoint: the step passes through the gate
// however far apart its two points are (sparse logs, where consecutive samples lie farther
// apart than the gate is wide). Never 0 where interpolateTime finds a crossing, and then equal.
double interpolateTimeThroughGate(const MV2DSegment& currentSegment,
                                  const MV2DSegment& previousSegment, const MV2DSegment& startPoint,
                                  const MV2DSegment& endPoint, std::int64_t gateWidth);
// The same with the gate width of the shared options object, read afresh on every call.
double interpolateTimeThroughGate(const MV2DSegment& currentSegment,
                                  const MV2DSegment& previousSegment, const MV2DSegment& startPoint,
                                  const MV2DSegment& endPoint);

// Time at which the path from bSegment to cSegment passes the place of aSegment: the foot of the
// perpendicular from A on the line BC, as a fraction f of the way from B to C, gives
// B.time + f * (C.time - B.time). f is not limited to 0..1: a foot before B gives a time before
// B's, one beyond C a time after C's. When B and C are at the same place, B's time.
double interpolateTimeUsingSSSTriangles(const MV2DSegment& aSegment, const MV2DSegment& bSegment,
                                        const MV2DSegment& cSegment);

}  // namespace MVHelper
