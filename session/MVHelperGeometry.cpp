#include "session/MVHelperGeometry.h"

#include "session/MVOptionsAndSettings.h"

#include <cmath>

// The arithmetic below is written out in the exact order of its products and quotients (and the
// library is built without contraction into fused multiply-adds): gate times are cut to the
// hundredth, and a different order can move a time across a rounding boundary.
namespace MVHelper {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kTwoPi = 6.283185307179586;
// Radius of the earth sphere, km, and twice its square (the law-of-cosines denominator).
constexpr double kEarthRadius = 6371.315;
constexpr double kTwiceEarthRadiusSquared = 81187309.65844999;
// One degree of a great circle on that sphere, km (kept as this literal on purpose).
constexpr double kKilometresPerDegree = 111.20042443169142;
constexpr double kMetresPerMinute = 1853.3404;
constexpr double kMinutesPerDegree = 60;
// Nudge of the gate start's x when both gate points have the same x, and the gate-line slope
// used when both have the same y.
constexpr double kSameXNudge = 0.000001;
constexpr double kFlatDirectionSlope = -10000000;

// A point of the sphere at the colatitude whose ring radius (kEarthRadius times the sine of the
// colatitude) is `ringRadius`, seen from above the pole: its height is that of every point at
// the colatitude, so two points of one colatitude differ in x and y only.
struct RingPoint {
    double x, y;
};

RingPoint onRing(double ringRadius, double longitudeAngle) {
    return {ringRadius * std::cos(longitudeAngle), ringRadius * std::sin(longitudeAngle)};
}

double squaredDistance(const MVPoint& p, const MVPoint& q) {
    const double dx = p.x - q.x;
    const double dy = p.y - q.y;
    return dx * dx + dy * dy;
}

// Offset of q from the line y = slope * x + intercept, measured along x.
double offsetFromLine(const MVPoint& q, double slope, double intercept) {
    return (q.y - intercept) / slope - q.x;
}

}  // namespace

double calculateRatio(const MVLocation& location) {
    const double latitude = location.latitude();
    const double longitude = location.longitude();
    const double colatitude = kHalfPi - latitude / 180 * kPi;
    const double theta1 = kTwoPi - longitude / 180 * kPi;
    const double theta2 = kTwoPi - (longitude + 1) / 180 * kPi;

    // The chord between the two points one degree of longitude apart on the location's circle of
    // latitude. Their heights are equal, so the height difference is exactly 0 and adds nothing
    // to the squared chord: worked out once per location, the ring radius, and no cosine of the
    // colatitude, give every bit of the three-dimensional sum.
    const double ringRadius = kEarthRadius * std::sin(colatitude);
    const RingPoint p1 = onRing(ringRadius, theta1);
    const RingPoint p2 = onRing(ringRadius, theta2);
    const double dx = p1.x - p2.x;
    const double dy = p1.y - p2.y;
    const double chord = std::sqrt(dx * dx + dy * dy);

    const double angle =
        std::acos((kTwiceEarthRadiusSquared - chord * chord) / kTwiceEarthRadiusSquared);
    return angle * kEarthRadius / kKilometresPerDegree;
}

MVPoint convertLocationToMeter(const MVLocation& location, const MVLocation& baseLocation) {
    const double k = calculateRatio(location);
    MVPoint point;
    point.x = (location.longitude() - baseLocation.longitude()) * k * kMetresPerMinute *
              kMinutesPerDegree;
    point.y =
        (location.latitude() - baseLocation.latitude()) * kMetresPerMinute * kMinutesPerDegree;
    return point;
}

MV2DSegmentPtr convertLocationToSegment(const MVLocation& location,
                                        const MVLocation& baseLocation) {
    MV2DSegmentPtr segment = MV2DSegment::instance();
    segment->setSpeed(location.speed());
    segment->setTime(location.timestamp());
    segment->setPoint(convertLocationToMeter(location, baseLocation));
    return segment;
}

double calculateDistance(const MV2DSegment& segment, const MV2DSegment& toSeg) {
    return std::sqrt(squaredDistance(segment.point(), toSeg.point()));
}

namespace {

// Where the step from p to c meets the gate line through e (perpendicular to the direction s to
// e): the share of the step, counted back from c, in `fraction`. False when it does not cross.
bool crossingOfGateLine(const MVPoint& c, const MVPoint& p, const MVPoint& s, const MVPoint& e,
                        double& fraction) {
    const double startX = (s.x == e.x) ? s.x + kSameXNudge : s.x;
    const double directionSlope = (s.y - e.y) / (startX - e.x);
    const double gateSlope = (directionSlope == 0) ? kFlatDirectionSlope : -1 / directionSlope;
    const double intercept = e.y - e.x * gateSlope;

    const double offsetCurrent = offsetFromLine(c, gateSlope, intercept);
    const double offsetPrevious = offsetFromLine(p, gateSlope, intercept);
    const bool crosses =
        (offsetPrevious > 0 && offsetCurrent <= 0) || (offsetPrevious < 0 && offsetCurrent >= 0);
    if (!crosses) return false;
    fraction = (offsetCurrent == 0) ? 0
                                    : std::fabs(offsetCurrent) /
                                          (std::fabs(offsetPrevious) + std::fabs(offsetCurrent));
    return true;
}

double timeAt(const MV2DSegment& currentSegment, const MV2DSegment& previousSegment,
              double fraction) {
    const double currentTime = currentSegment.time();
    return currentTime - (currentTime - previousSegment.time()) * fraction;
}

}  // namespace

namespace {

double squaredWidth(std::int64_t gateWidth) {
    // (The product of two doubles holding whole numbers rounds exactly like the whole-number
    // square converted to double, without overflow.)
    return static_cast<double>(gateWidth) * static_cast<double>(gateWidth);
}

}  // namespace

bool withinGateWidth(const MV2DSegment& point, const MV2DSegment& endPoint,
                     std::int64_t gateWidth) {
    return squaredDistance(point.point(), endPoint.point()) <= squaredWidth(gateWidth);
}

std::vector<char> withinGateWidth(const std::vector<const MV2DSegment*>& points,
                                  const MV2DSegment& endPoint, std::int64_t gateWidth) {
    std::vector<char> within(points.size());
    const MVPoint e = endPoint.point();
    const double widthSquared = squaredWidth(gateWidth);
    for (std::size_t k = 0; k < points.size(); ++k) {
        within[k] = squaredDistance(points[k]->point(), e) <= widthSquared;
    }
    return within;
}

GatePassage passageThroughGate(const MV2DSegment& currentSegment,
                               const MV2DSegment& previousSegment, const MV2DSegment& startPoint,
                               const MV2DSegment& endPoint, std::int64_t gateWidth,
                               bool wholeStep) {
    const MVPoint c = currentSegment.point();
    const MVPoint p = previousSegment.point();
    const MVPoint s = startPoint.point();
    const MVPoint e = endPoint.point();
    const double widthSquared = squaredWidth(gateWidth);
    const bool endNear = withinGateWidth(currentSegment, endPoint, gateWidth) ||
                         withinGateWidth(previousSegment, endPoint, gateWidth);
    // Only steps near the gate's end point count, unless the whole step is looked at.
    if (!endNear && !wholeStep) return {};

    double fraction = 0;
    if (!crossingOfGateLine(c, p, s, e, fraction)) return {};
    // The point where the step meets the line.
    const MVPoint met{c.x + (p.x - c.x) * fraction, c.y + (p.y - c.y) * fraction};
    const double metSquared = squaredDistance(met, e);
    if (!endNear && metSquared > widthSquared) return {};

    GatePassage passage;
    passage.time = timeAt(currentSegment, previousSegment, fraction);
    // The gate's direction as the line's slope takes it (the start point nudged alike).
    const double startX = (s.x == e.x) ? s.x + kSameXNudge : s.x;
    const double along = (c.x - p.x) * (e.x - startX) + (c.y - p.y) * (e.y - s.y);
    passage.along = along >= 0;
    passage.offCentre = std::sqrt(metSquared);
    return passage;
}

double interpolateTime(const MV2DSegment& currentSegment, const MV2DSegment& previousSegment,
                       const MV2DSegment& startPoint, const MV2DSegment& endPoint,
                       std::int64_t gateWidth) {
    return passageThroughGate(currentSegment, previousSegment, startPoint, endPoint, gateWidth,
                              false)
        .time;
}

double interpolateTimeThroughGate(const MV2DSegment& currentSegment,
                                  const MV2DSegment& previousSegment, const MV2DSegment& startPoint,
                                  const MV2DSegment& endPoint, std::int64_t gateWidth) {
    return passageThroughGate(currentSegment, previousSegment, startPoint, endPoint, gateWidth,
                              true)
        .time;
}

double interpolateTimeThroughGate(const MV2DSegment& currentSegment,
                                  const MV2DSegment& previousSegment, const MV2DSegment& startPoint,
                                  const MV2DSegment& endPoint) {
    return interpolateTimeThroughGate(currentSegment, previousSegment, startPoint, endPoint,
                                      MVOptionsAndSettings::sharedManager().gateWidth());
}

double interpolateTime(const MV2DSegment& currentSegment, const MV2DSegment& previousSegment,
                       const MV2DSegment& startPoint, const MV2DSegment& endPoint) {
    return interpolateTime(currentSegment, previousSegment, startPoint, endPoint,
                           MVOptionsAndSettings::sharedManager().gateWidth());
}

double interpolateTimeUsingSSSTriangles(const MV2DSegment& aSegment, const MV2DSegment& bSegment,
                                        const MV2DSegment& cSegment) {
    const MVPoint a = aSegment.point();
    const MVPoint b = bSegment.point();
    const MVPoint c = cSegment.point();

    const double ab = calculateDistance(aSegment, bSegment);
    const double bc = calculateDistance(bSegment, cSegment);
    // A step without length passes every place at its own start.
    if (bc * bc == 0) return bSegment.time();

    const double slopeBA = (a.y - b.y) / (a.x - b.x);
    const double slopeBC = (c.y - b.y) / (c.x - b.x);
    double fraction;
    if (slopeBA == slopeBC) {
        // A lies on the line through B and C: the length ratio, negative when A lies behind B
        // (A on the other side of B from C).
        fraction = ab / bc;
        const double along = (a.x - b.x) * (c.x - b.x) + (a.y - b.y) * (c.y - b.y);
        if (along < 0) fraction = -fraction;
    } else {
        const double ac = calculateDistance(aSegment, cSegment);
        fraction = (bc * bc + ab * ab - ac * ac) / (2 * (bc * bc));
    }
    return bSegment.time() + fraction * (cSegment.time() - bSegment.time());
}

}  // namespace MVHelper
