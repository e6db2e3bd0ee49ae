#pragma once

#include "session/MV2DSegment.h"
#include "session/MVPreviousNextLocation.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class MVMap;
using MVMapPtr = std::shared_ptr<MVMap>;

// What a lap keeps for drawing itself on the track map: its map points grouped by sector, their
// bounding box (metres about the session's base location) and the drawing scale. Filled once by
// the lap-map computation; afterwards only the views change `ratio`.
class MVMap {
  public:
    MVMap() = default;

    static MVMapPtr instance() { return std::make_shared<MVMap>(); }

    // A gate pair kept for the start/finish gate; the circuit's own gates live in the circuit
    // record. Always present (a null is replaced by a new pair of zero locations).
    const MVPreviousNextLocationPtr& sfLocations() const { return sfLocations_; }
    void setSfLocations(MVPreviousNextLocationPtr gate);

    double width() const { return width_; }
    void setWidth(double value) { width_ = value; }
    double height() const { return height_; }
    void setHeight(double value) { height_ = value; }
    double ratio() const { return ratio_; }
    void setRatio(double value) { ratio_ = value; }
    double xMin() const { return xMin_; }
    void setXMin(double value) { xMin_ = value; }
    double yMin() const { return yMin_; }
    void setYMin(double value) { yMin_ = value; }

    // Per sector of the lap, in order, the lap's map points of that sector.
    const std::vector<std::vector<MV2DSegmentPtr>>& sectorSegments() const {
        return sectorSegments_;
    }
    void setSectorSegments(std::vector<std::vector<MV2DSegmentPtr>> segments) {
        sectorSegments_ = std::move(segments);
    }

    // A new record: a position-only copy of the gate pair, the five numbers, and lists of its own
    // holding the same point objects (changing a point shows in both; adding or removing points
    // or sectors in one leaves the other alone).
    MVMapPtr makeACopy() const;

    // "sfLocations: <pair> width: 0.0 height: 0.0 ratio: 0.0 xMin: 0.0 yMin: 0.0
    // sectorSegments: (...)", numbers in shortest round-trip form.
    std::string description() const;

  private:
    MVPreviousNextLocationPtr sfLocations_ = MVPreviousNextLocation::instance();
    double width_ = 0.0;
    double height_ = 0.0;
    double ratio_ = 0.0;
    double xMin_ = 0.0;
    double yMin_ = 0.0;
    std::vector<std::vector<MV2DSegmentPtr>> sectorSegments_;
};
