#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The motion model behind the session generator: a path made of straights and circular arcs in a
// local plane (metres east and north of the loop origin), driven with a speed profile that is exact
// and analytic. On every piece the car accelerates at a constant rate up to the piece's speed cap,
// may hold the cap, and brakes at a constant rate into the next piece, so speed, distance and time
// have closed forms; the times and speeds at the piece boundaries are the ground truth that tests
// compare the reader with.

namespace testing_support {

struct PlanePoint {
    double x = 0;  // metres east of the loop origin
    double y = 0;  // metres north of the loop origin
};

// One piece of path. Heading is mathematical: radians, 0 = east, anticlockwise positive.
struct PathPiece {
    PlanePoint start;
    double startHeading = 0;
    double length = 0;     // metres, > 0
    double curvature = 0;  // 1/radius, signed, positive turns left; 0 for a straight
    double speedCap = 0;   // m/s

    PlanePoint pointAt(double along) const;
    double headingAt(double along) const;
    PlanePoint end() const { return pointAt(length); }
    double endHeading() const { return headingAt(length); }
    // The first `along` metres of this piece.
    PathPiece cutAt(double along) const;
};

struct DriveLimits {
    double acceleration = 4.0;  // m/s^2
    double braking = 9.0;       // m/s^2
    double lateral = 11.0;      // m/s^2, sets the speed of an arc: sqrt(lateral * radius)
    double topSpeed = 230.0 / 3.6;
    double pitSpeed = 60.0 / 3.6;
};

class MotionModel {
  public:
    // One phase of constant acceleration (negative when braking, 0 when holding a speed).
    struct Phase {
        double startTime = 0;
        double startDistance = 0;
        double startSpeed = 0;
        double acceleration = 0;
        double duration = 0;
        double length = 0;
        double endSpeed() const { return startSpeed + acceleration * duration; }
    };

    struct State {
        double time = 0;
        double distance = 0;  // along the whole path, metres
        double speed = 0;     // m/s
        double acceleration = 0;
        PlanePoint point;
        double heading = 0;  // mathematical radians
        double curvature = 0;
        size_t piece = 0;
    };

    MotionModel(std::vector<PathPiece> pieces, DriveLimits limits, double startSpeed);

    const std::vector<PathPiece>& pieces() const { return pieces_; }
    const DriveLimits& limits() const { return limits_; }
    // Time, distance and speed at the start of piece i; i == pieces().size() gives the path's end.
    double nodeTime(size_t i) const { return nodeTimes_[i]; }
    double nodeDistance(size_t i) const { return nodeDistances_[i]; }
    double nodeSpeed(size_t i) const { return nodeSpeeds_[i]; }
    double pieceDuration(size_t i) const { return nodeTimes_[i + 1] - nodeTimes_[i]; }
    const std::vector<Phase>& phasesOf(size_t i) const { return phases_[i]; }

    double duration() const { return nodeTimes_.back(); }
    double length() const { return nodeDistances_.back(); }

    // State at time t, clamped to [0, duration()].
    State stateAt(double t) const;
    // Time at which the car has covered `distance` metres, clamped to the path.
    double timeAtDistance(double distance) const;
    // Highest speed reached in [t0, t1], m/s (exact: the profile is monotonic within a phase).
    double maxSpeedBetween(double t0, double t1) const;

  private:
    void solveNodeSpeeds(double startSpeed);
    void buildPhases();
    const Phase& phaseAtTime(double t, size_t* piece) const;

    std::vector<PathPiece> pieces_;
    DriveLimits limits_;
    std::vector<double> nodeSpeeds_;
    std::vector<double> nodeTimes_;
    std::vector<double> nodeDistances_;
    std::vector<std::vector<Phase>> phases_;
};

// The circuits the generator drives.
enum class CircuitLayout {
    // The loop of GeneratedCircuits.h: a fast circuit whose pit lane lies clear of the line.
    Loop,
    // Kart circuits (kart speeds and grip), each with a start/finish straight running east and a
    // hairpin after the line whose return straight passes the line's extension the other way
    // beside it: 22 m from the gate's middle here,
    KartHairpin,
    // 11 m here (a tighter hairpin),
    KartHairpinTight,
    // and 21 m here, with a pit lane 19 m beside the straight on the other side that passes the
    // line's extension the gate's own way, its pit box 40 m before the line.
    KartPitLane,
};

// The generator's circuit: the loop of GeneratedCircuits.h and its pit lane, or one of the kart
// circuits (GeneratedCircuits.h, kKart...).
class GeneratedLoop {
  public:
    // With `reverse` the circuit is driven the other way round: every path is reversed, the gates
    // stay as they are, and there is no split finish and no pit exit (the out-lap starts on the
    // lap, half a lap before the line).
    explicit GeneratedLoop(CircuitLayout layout = CircuitLayout::Loop, bool reverse = false);

    CircuitLayout layout() const { return layout_; }
    const DriveLimits& limits() const { return limits_; }

    // One lap, starting and ending on the start/finish line. Piece 0 starts on the line; one
    // piece boundary lies on the split finish line (index splitFinishPiece()).
    const std::vector<PathPiece>& lap() const { return lap_; }
    size_t splitFinishPiece() const { return splitFinishPiece_; }
    double lapLength() const;

    // The loop: from the pit box (on the pit lane, clear of both lines) onto the main straight,
    // ending where lap()[outLapJoinPiece()] starts; the rest of the out-lap is that tail of the
    // lap. The kart circuits: their out-lap starts at lap()[outLapJoinPiece()] (half a lap
    // before the line) and pitExit() is empty.
    const std::vector<PathPiece>& pitExit() const { return pitExit_; }
    size_t outLapJoinPiece() const { return outLapJoinPiece_; }
    bool hasSplitFinish() const { return layout_ == CircuitLayout::Loop && !reverse_; }

    // The kart circuit's pit lane (empty elsewhere): it leaves the lap where lap()[pitEntryPiece()]
    // starts and joins it again where lap()[pitMergePiece()] starts; pitLane()[pitLinePiece()]
    // starts on the line's extension and pitLane()[pitBoxPiece()] is the stop, crawled at a
    // walking pace.
    const std::vector<PathPiece>& pitLane() const { return pitLane_; }
    size_t pitEntryPiece() const { return pitEntryPiece_; }
    size_t pitMergePiece() const { return pitMergePiece_; }
    size_t pitLinePiece() const { return pitLinePiece_; }
    size_t pitBoxPiece() const { return pitBoxPiece_; }

    // Gates in the plane: `previous` 20 m before the line on the racing line, `next` on the line
    // (pointing the usual way round, also for a session driven the other way).
    PlanePoint startFinishPrevious() const { return {lineX_ - 20.0, 0.0}; }
    PlanePoint startFinishNext() const { return {lineX_, 0.0}; }
    PlanePoint splitFinishPrevious() const { return {lineX_ - 100.0, 0.0}; }
    PlanePoint splitFinishNext() const { return {lineX_ - 80.0, 0.0}; }

    // Plane to geographic coordinates of the loop, minutes of arc, longitude east-positive.
    static double latitudeMinutes(PlanePoint p);
    static double longitudeMinutesEast(PlanePoint p);
    // The same about this circuit's own origin.
    double latitudeAt(PlanePoint p) const;
    double longitudeEastAt(PlanePoint p) const;

  private:
    void buildLoop();
    void buildKart(double besideLine, bool withPitLane);
    void driveTheOtherWay();

    CircuitLayout layout_;
    bool reverse_ = false;
    DriveLimits limits_;
    double lineX_ = -300.0;
    double originLatitude_ = 0;  // minutes
    double originLongitude_ = 0;
    std::vector<PathPiece> lap_;
    std::vector<PathPiece> pitExit_;
    size_t splitFinishPiece_ = 0;
    size_t outLapJoinPiece_ = 1;
    std::vector<PathPiece> pitLane_;
    size_t pitEntryPiece_ = 0;
    size_t pitMergePiece_ = 0;
    size_t pitLinePiece_ = 0;
    size_t pitBoxPiece_ = 0;
};

// The same path driven the other way: pieces in the opposite order, each from its end to its
// start (the node of piece i's start is the reversed path's node pieces.size() - i).
std::vector<PathPiece> reversedPath(const std::vector<PathPiece>& pieces);

// Builds the straights and arcs of a polyline whose interior points are rounded off with the
// given radii (one per interior point), each arc tangent to both edges. Each arc's speed cap is
// sqrt(lateral * radius); each straight gets the cap of its edge (one per edge).
std::vector<PathPiece> roundedPolyline(const std::vector<PlanePoint>& points,
                                       const std::vector<double>& radii,
                                       const std::vector<double>& edgeCaps, double lateral);

}  // namespace testing_support
