#include "tests/support/SessionGeneratorModel.h"

#include "tests/support/GeneratedCircuits.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace testing_support {

namespace {

constexpr double kMetresPerDegree = 1853.3404 * 60.0;

double wrapAngle(double a) {
    while (a > std::numbers::pi) a -= 2 * std::numbers::pi;
    while (a <= -std::numbers::pi) a += 2 * std::numbers::pi;
    return a;
}

// Time to cover d metres from speed v0 at constant acceleration acc (stable for braking too).
double timeToCover(double d, double v0, double acc) {
    if (d <= 0) return 0;
    const double disc = std::max(0.0, v0 * v0 + 2 * acc * d);
    const double denominator = v0 + std::sqrt(disc);
    return denominator > 0 ? 2 * d / denominator : 0;
}

double latitudeAbout(double originLatitude, PlanePoint p) {
    return originLatitude + p.y / kMetresPerDegree * 60.0;
}

double longitudeAbout(double originLatitude, double originLongitude, PlanePoint p) {
    const double metresPerDegree =
        kMetresPerDegree * std::cos(originLatitude / 60.0 * std::numbers::pi / 180);
    return originLongitude + p.x / metresPerDegree * 60.0;
}

// Splits the straight of `pieces` that runs through p so that a piece starts at p; the index of
// that piece.
size_t splitStraightAt(std::vector<PathPiece>& pieces, PlanePoint p) {
    for (size_t i = 0; i < pieces.size(); ++i) {
        const PathPiece& piece = pieces[i];
        if (std::hypot(piece.start.x - p.x, piece.start.y - p.y) < 1e-6) return i;
        if (piece.curvature != 0) continue;
        const double dx = p.x - piece.start.x, dy = p.y - piece.start.y;
        const double c = std::cos(piece.startHeading), s = std::sin(piece.startHeading);
        const double along = dx * c + dy * s;
        if (std::abs(dy * c - dx * s) > 1e-6 || along <= 1e-6 || along >= piece.length - 1e-6) {
            continue;
        }
        PathPiece rest = piece;
        rest.start = p;
        rest.length = piece.length - along;
        pieces[i] = piece.cutAt(along);
        pieces.insert(pieces.begin() + std::ptrdiff_t(i) + 1, rest);
        return i + 1;
    }
    throw std::invalid_argument("splitStraightAt: no straight runs through the point");
}

}  // namespace

PlanePoint PathPiece::pointAt(double along) const {
    if (curvature == 0) {
        return {start.x + along * std::cos(startHeading), start.y + along * std::sin(startHeading)};
    }
    const double theta = startHeading + curvature * along;
    return {start.x + (std::sin(theta) - std::sin(startHeading)) / curvature,
            start.y - (std::cos(theta) - std::cos(startHeading)) / curvature};
}

double PathPiece::headingAt(double along) const {
    return startHeading + curvature * along;
}

PathPiece PathPiece::cutAt(double along) const {
    PathPiece head = *this;
    head.length = along;
    return head;
}

std::vector<PathPiece> roundedPolyline(const std::vector<PlanePoint>& points,
                                       const std::vector<double>& radii,
                                       const std::vector<double>& edgeCaps, double lateral) {
    const size_t m = points.size();
    if (m < 2 || radii.size() != m - 2 || edgeCaps.size() != m - 1) {
        throw std::invalid_argument("roundedPolyline: sizes of points, radii and caps disagree");
    }
    auto headingOf = [&](size_t from) {
        return std::atan2(points[from + 1].y - points[from].y, points[from + 1].x - points[from].x);
    };
    // Tangent points of each interior corner.
    std::vector<PlanePoint> entry(m), exit(m);
    std::vector<double> turn(m, 0.0);
    entry[0] = exit[0] = points[0];
    entry[m - 1] = exit[m - 1] = points[m - 1];
    for (size_t i = 1; i + 1 < m; ++i) {
        const double in = headingOf(i - 1), out = headingOf(i);
        turn[i] = wrapAngle(out - in);
        const double t = radii[i - 1] * std::tan(std::abs(turn[i]) / 2);
        entry[i] = {points[i].x - t * std::cos(in), points[i].y - t * std::sin(in)};
        exit[i] = {points[i].x + t * std::cos(out), points[i].y + t * std::sin(out)};
    }
    std::vector<PathPiece> pieces;
    for (size_t e = 0; e + 1 < m; ++e) {
        const PlanePoint a = exit[e], b = entry[e + 1];
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        if (length > 1e-9) {
            pieces.push_back({a, headingOf(e), length, 0.0, edgeCaps[e]});
        }
        const size_t corner = e + 1;
        if (corner + 1 < m && turn[corner] != 0) {
            const double r = radii[corner - 1];
            pieces.push_back({entry[corner], headingOf(e), r * std::abs(turn[corner]),
                              std::copysign(1.0 / r, turn[corner]), std::sqrt(lateral * r)});
        }
    }
    return pieces;
}

MotionModel::MotionModel(std::vector<PathPiece> pieces, DriveLimits limits, double startSpeed)
    : pieces_(std::move(pieces)), limits_(limits) {
    if (pieces_.empty()) throw std::invalid_argument("MotionModel: empty path");
    solveNodeSpeeds(startSpeed);
    buildPhases();
}

void MotionModel::solveNodeSpeeds(double startSpeed) {
    const size_t n = pieces_.size();
    const double a = limits_.acceleration, b = limits_.braking;
    nodeSpeeds_.assign(n + 1, 0.0);
    nodeSpeeds_[0] = std::min(startSpeed, pieces_[0].speedCap);
    for (size_t i = 0; i < n; ++i) {
        const double cap = i + 1 < n ? std::min(pieces_[i].speedCap, pieces_[i + 1].speedCap)
                                     : pieces_[i].speedCap;
        const double reach = std::sqrt(nodeSpeeds_[i] * nodeSpeeds_[i] + 2 * a * pieces_[i].length);
        nodeSpeeds_[i + 1] = std::min(cap, reach);
    }
    for (size_t i = n; i-- > 0;) {
        const double v1 = nodeSpeeds_[i + 1];
        nodeSpeeds_[i] = std::min(nodeSpeeds_[i], std::sqrt(v1 * v1 + 2 * b * pieces_[i].length));
    }
}

void MotionModel::buildPhases() {
    const double a = limits_.acceleration, b = limits_.braking;
    const size_t n = pieces_.size();
    phases_.assign(n, {});
    nodeTimes_.assign(n + 1, 0.0);
    nodeDistances_.assign(n + 1, 0.0);
    for (size_t i = 0; i < n; ++i) {
        const double v0 = nodeSpeeds_[i], v1 = nodeSpeeds_[i + 1];
        const double c = pieces_[i].speedCap, length = pieces_[i].length;
        double t = nodeTimes_[i], s = nodeDistances_[i];
        auto add = [&](double vStart, double vEnd, double len, double acc) {
            if (len <= 1e-12) return;
            Phase phase;
            phase.startTime = t;
            phase.startDistance = s;
            phase.startSpeed = vStart;
            phase.acceleration = acc;
            phase.length = len;
            phase.duration = acc > 0   ? (vEnd - vStart) / acc
                             : acc < 0 ? (vStart - vEnd) / -acc
                                       : len / vStart;
            t += phase.duration;
            s += len;
            phases_[i].push_back(phase);
        };
        // Where the acceleration line from v0 meets the braking line into v1.
        const double meet =
            std::clamp((v1 * v1 - v0 * v0 + 2 * b * length) / (2 * (a + b)), 0.0, length);
        const double peak2 = v0 * v0 + 2 * a * meet;
        if (peak2 >= c * c) {
            const double accelLength = std::clamp((c * c - v0 * v0) / (2 * a), 0.0, length);
            const double brakeLength =
                std::clamp((c * c - v1 * v1) / (2 * b), 0.0, length - accelLength);
            add(v0, c, accelLength, a);
            add(c, c, length - accelLength - brakeLength, 0.0);
            add(c, v1, brakeLength, -b);
        } else {
            const double peak = std::sqrt(peak2);
            add(v0, peak, meet, a);
            add(peak, v1, length - meet, -b);
        }
        nodeTimes_[i + 1] = t;
        nodeDistances_[i + 1] = nodeDistances_[i] + length;
    }
}

const MotionModel::Phase& MotionModel::phaseAtTime(double t, size_t* piece) const {
    auto it = std::upper_bound(nodeTimes_.begin(), nodeTimes_.end(), t);
    size_t i = it == nodeTimes_.begin() ? 0 : size_t(it - nodeTimes_.begin()) - 1;
    i = std::min(i, pieces_.size() - 1);
    // Pieces without phases have zero length; step back to one that has phases.
    while (phases_[i].empty() && i > 0) --i;
    *piece = i;
    const auto& phases = phases_[i];
    for (size_t k = phases.size(); k-- > 0;) {
        if (phases[k].startTime <= t) return phases[k];
    }
    return phases.front();
}

MotionModel::State MotionModel::stateAt(double t) const {
    t = std::clamp(t, 0.0, duration());
    State state;
    const Phase& phase = phaseAtTime(t, &state.piece);
    const double dt = std::clamp(t - phase.startTime, 0.0, phase.duration);
    const double along =
        std::min(phase.startSpeed * dt + 0.5 * phase.acceleration * dt * dt, phase.length);
    const PathPiece& piece = pieces_[state.piece];
    const double onPiece =
        std::clamp(phase.startDistance + along - nodeDistances_[state.piece], 0.0, piece.length);
    state.time = t;
    state.distance = phase.startDistance + along;
    state.speed = phase.startSpeed + phase.acceleration * dt;
    state.acceleration = phase.acceleration;
    state.point = piece.pointAt(onPiece);
    state.heading = piece.headingAt(onPiece);
    state.curvature = piece.curvature;
    return state;
}

double MotionModel::timeAtDistance(double distance) const {
    distance = std::clamp(distance, 0.0, length());
    for (const auto& phases : phases_) {
        for (const Phase& phase : phases) {
            if (distance <= phase.startDistance + phase.length) {
                return phase.startTime + timeToCover(distance - phase.startDistance,
                                                     phase.startSpeed, phase.acceleration);
            }
        }
    }
    return duration();
}

double MotionModel::maxSpeedBetween(double t0, double t1) const {
    double best = std::max(stateAt(t0).speed, stateAt(t1).speed);
    for (const auto& phases : phases_) {
        for (const Phase& phase : phases) {
            const double end = phase.startTime + phase.duration;
            if (phase.startTime > t0 && phase.startTime < t1)
                best = std::max(best, phase.startSpeed);
            if (end > t0 && end < t1) best = std::max(best, phase.endSpeed());
        }
    }
    return best;
}

GeneratedLoop::GeneratedLoop(CircuitLayout layout, bool reverse)
    : layout_(layout), reverse_(reverse) {
    switch (layout) {
        case CircuitLayout::Loop:
            buildLoop();
            break;
        case CircuitLayout::KartHairpin:
            buildKart(22.0, false);
            break;
        case CircuitLayout::KartHairpinTight:
            buildKart(11.0, false);
            break;
        case CircuitLayout::KartPitLane:
            buildKart(21.0, true);
            break;
    }
    if (reverse_) driveTheOtherWay();
}

void GeneratedLoop::driveTheOtherWay() {
    const size_t n = lap_.size();
    lap_ = reversedPath(lap_);
    pitExit_.clear();
    outLapJoinPiece_ = n / 2;
    splitFinishPiece_ = 0;
    if (pitLane_.empty()) return;
    // The pit lane now leaves the lap where it joined it and joins it where it left.
    const size_t m = pitLane_.size();
    pitLane_ = reversedPath(pitLane_);
    const size_t entry = pitEntryPiece_;
    pitEntryPiece_ = n - pitMergePiece_;
    pitMergePiece_ = n - entry;
    pitLinePiece_ = m - pitLinePiece_;
    pitBoxPiece_ = m - 1 - pitBoxPiece_;
}

void GeneratedLoop::buildLoop() {
    originLatitude_ = generated_circuits::kLoopOrigin.latitudeMinutes;
    originLongitude_ = generated_circuits::kLoopOrigin.longitudeMinutes;
    const DriveLimits& limits = limits_;
    // Corners of the loop in driving order, after the start/finish line, and their radii.
    const PlanePoint line = startFinishNext();
    const std::vector<PlanePoint> points = {line,        {400, 0},    {450, 300}, {150, 420},
                                            {-100, 330}, {-450, 400}, {-500, 0},  line};
    const std::vector<double> radii = {50, 90, 150, 120, 45, 60};
    std::vector<PathPiece> pieces = roundedPolyline(
        points, radii, std::vector<double>(points.size() - 1, limits.topSpeed), limits.lateral);
    // Split the last straight at the split finish line.
    const PathPiece last = pieces.back();
    const double along = splitFinishNext().x - last.start.x;
    pieces.back() = last.cutAt(along);
    PathPiece rest = last;
    rest.start = last.pointAt(along);
    rest.length = last.length - along;
    pieces.push_back(rest);
    splitFinishPiece_ = pieces.size() - 1;
    lap_ = std::move(pieces);

    // Pit lane 35 m south of the main straight, beginning past the start/finish line, merging
    // onto the straight before the first corner.
    const std::vector<PlanePoint> pit = {{-250, -35}, {0, -35}, {150, 0}, lap_[1].start};
    pitExit_ = roundedPolyline(pit, {150, 150}, {limits.pitSpeed, limits.topSpeed, limits.topSpeed},
                               limits.lateral);
}

void GeneratedLoop::buildKart(double besideLine, bool withPitLane) {
    limits_ = {3.0, 8.0, 14.0, 100.0 / 3.6, 30.0 / 3.6};
    lineX_ = 0;
    originLatitude_ = generated_circuits::kKartOrigin.latitudeMinutes;
    originLongitude_ = generated_circuits::kKartOrigin.longitudeMinutes;
    // From the line east into a hairpin of half that radius, back west beside the line, then
    // round to the west end of the straight.
    const PlanePoint line = startFinishNext();
    const std::vector<PlanePoint> points = {
        line,       {80, 0},     {80, besideLine}, {-60, besideLine},
        {-60, 150}, {-250, 150}, {-250, 0},        line};
    const double hairpin = besideLine / 2;
    lap_ =
        roundedPolyline(points, {hairpin, hairpin, 15, 20, 15, 15},
                        std::vector<double>(points.size() - 1, limits_.topSpeed), limits_.lateral);
    outLapJoinPiece_ = lap_.size() / 2;
    if (!withPitLane) return;
    // The pit lane leaves the west straight, runs 19 m south of the main straight past the
    // line's extension and joins the straight again 60 m after the line.
    const PlanePoint entry{-250, 80}, merge{60, 0};
    pitLane_ = roundedPolyline({entry, {-250, -19}, {20, -19}, {40, 0}, merge}, {10, 20, 20},
                               std::vector<double>(4, limits_.pitSpeed), limits_.lateral);
    pitBoxPiece_ = splitStraightAt(pitLane_, {-42, -19});
    splitStraightAt(pitLane_, {-41, -19});
    pitLane_[pitBoxPiece_].speedCap = 0.2;  // a stop of five seconds, at a crawl
    pitLinePiece_ = splitStraightAt(pitLane_, {0, -19});
    pitMergePiece_ = splitStraightAt(lap_, merge);
    pitEntryPiece_ = splitStraightAt(lap_, entry);
    if (outLapJoinPiece_ >= pitMergePiece_) ++outLapJoinPiece_;
    if (outLapJoinPiece_ >= pitEntryPiece_) ++outLapJoinPiece_;
}

double GeneratedLoop::lapLength() const {
    double sum = 0;
    for (const auto& piece : lap_) sum += piece.length;
    return sum;
}

double GeneratedLoop::latitudeMinutes(PlanePoint p) {
    return latitudeAbout(generated_circuits::kLoopOrigin.latitudeMinutes, p);
}

double GeneratedLoop::longitudeMinutesEast(PlanePoint p) {
    return longitudeAbout(generated_circuits::kLoopOrigin.latitudeMinutes,
                          generated_circuits::kLoopOrigin.longitudeMinutes, p);
}

double GeneratedLoop::latitudeAt(PlanePoint p) const {
    return latitudeAbout(originLatitude_, p);
}

double GeneratedLoop::longitudeEastAt(PlanePoint p) const {
    return longitudeAbout(originLatitude_, originLongitude_, p);
}

std::vector<PathPiece> reversedPath(const std::vector<PathPiece>& pieces) {
    std::vector<PathPiece> reversed;
    reversed.reserve(pieces.size());
    for (size_t i = pieces.size(); i-- > 0;) {
        const PathPiece& piece = pieces[i];
        PathPiece back = piece;
        back.start = piece.end();
        back.startHeading = piece.endHeading() + std::numbers::pi;
        back.curvature = -piece.curvature;
        reversed.push_back(back);
    }
    return reversed;
}

}  // namespace testing_support
