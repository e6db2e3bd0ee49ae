#pragma once

#include <memory>

// A plane point in metres about the session's base location: x east (along the longitude), y
// north (along the latitude).
struct MVPoint {
    double x = 0.0;
    double y = 0.0;

    friend bool operator==(const MVPoint&, const MVPoint&) = default;
};

// One point of a lap drawn on the plane: speed (km/h), time (seconds from the session's first
// sample) and the plane point. Shared by reference: a map and its copies hold the same points.
class MV2DSegment {
  public:
    static std::shared_ptr<MV2DSegment> instance() { return std::make_shared<MV2DSegment>(); }

    double speed() const { return speed_; }
    void setSpeed(double value) { speed_ = value; }
    double time() const { return time_; }
    void setTime(double value) { time_ = value; }
    MVPoint point() const { return point_; }
    void setPoint(MVPoint value) { point_ = value; }

  private:
    double speed_ = 0.0;
    double time_ = 0.0;
    MVPoint point_;
};

using MV2DSegmentPtr = std::shared_ptr<MV2DSegment>;
