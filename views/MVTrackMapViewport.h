#pragma once

#include "session/MV2DSegment.h"

#include <functional>

// A point of the map view in view points, y up (north up): x grows to the right, y upwards from
// the view's lower edge. Widgets convert to their own y-down coordinates with toScreen().
struct MVViewPoint {
    double x = 0.0;
    double y = 0.0;

    friend bool operator==(const MVViewPoint&, const MVViewPoint&) = default;
};

// The geometry of the track map, free of any widget: the drawing scale (view points per metre),
// the pan (where the map's centre sits in the view), the two vehicle markers, the lock that keeps
// the reference (faster) marker in the middle, and the zoom steps. The whole-session map's box
// is the frame of reference: a map point p is drawn at centre + scale * (p - box centre), so the
// circuit sits in the middle of a square of side min(width, height) centred in the view and
// moves with the pan.
//
// The scale stays within 1/100 ... 10,000 times the default scale of the current view size. An
// empty map (no extent) has scale 0: nothing is drawable, every zoom is refused, no value becomes
// NaN. Not thread-safe; the map views use it on the main thread.
class MVTrackMapViewport {
  public:
    // Where the selected laps are at the cursor, in map metres: `count` laps (the faster one is
    // `faster`; `slower` only with two laps). Asked for each time the markers are placed.
    struct MarkerTargets {
        int count = 0;
        MVPoint faster;
        MVPoint slower;
    };
    using MarkerSource = std::function<MarkerTargets()>;

    static constexpr double kMinZoom = 1.0 / 100.0;
    static constexpr double kMaxZoom = 10000.0;

    void setViewSize(double width, double height);
    double viewHeight() const { return height_; }
    // The smaller side of the view.
    double side() const;
    MVViewPoint viewCentre() const { return {width_ / 2, height_ / 2}; }

    void setMapBox(double xMin, double yMin, double width, double height);

    // Default scale: 90 % of the smaller view side over the larger map side; 0 for an empty map
    // or an empty view.
    double defaultScale() const;
    double scale() const { return scale_; }
    // True when the scale is positive and finite: there is something to draw.
    bool isDrawable() const;

    // Where the map's box centre is drawn; the pan is centre - view centre.
    MVViewPoint centre() const { return centre_; }
    void setCentre(MVViewPoint c) { centre_ = c; }

    // Map metres to view points and back (exact inverses while the map is drawable; for an
    // empty map every point projects to the centre and the inverse gives the box centre).
    MVViewPoint project(MVPoint p) const;
    MVPoint unproject(MVViewPoint v) const;
    // A y-up view point in a y-down (widget) frame of the view's height, and back.
    MVViewPoint toScreen(MVViewPoint v) const { return {v.x, height_ - v.y}; }
    MVViewPoint fromScreen(MVViewPoint s) const { return {s.x, height_ - s.y}; }

    // ---- Markers ------------------------------------------------------------------------
    void setMarkerSource(MarkerSource source) { markerSource_ = std::move(source); }
    MVViewPoint fasterMarker() const { return faster_; }
    MVViewPoint slowerMarker() const { return slower_; }
    // Whether the markers were placed at least once (they are drawn from then on).
    bool markersPlaced() const { return markersPlaced_; }
    // Puts the markers at their laps' projections (one or two laps; other counts leave them);
    // when locked, pans so that the reference marker comes to the view centre.
    void updateVehicles();

    // ---- Pan, zoom, lock ----------------------------------------------------------------
    bool locked() const { return locked_; }
    // Locking pans the reference marker to the view centre; unlocking resets the view.
    void setLocked(bool locked);
    // Moves the map and both markers by d (view points, y up).
    void applyOffset(MVViewPoint d);
    // Whole circuit at the default scale, centred (or on the reference marker when locked).
    void resetScale();
    void resetTrack();
    // Zooms so that the box (y-up view rectangle) fills the smaller view side: the point under
    // the box centre comes to the view centre, or the reference marker stays centred when
    // locked. A box without area or an undrawable map changes nothing. Returns the factor the
    // scale was multiplied by (1 when refused).
    double zoomToBox(double x, double y, double width, double height);
    // One step: in by m / (m - 20), out by m / (m + 20), about the view centre.
    double zoomIn();
    double zoomOut();

    // For tests:
    double viewWidth() const { return width_; }

  private:
    double clampedScale(double wanted) const;

    double width_ = 0.0;
    double height_ = 0.0;
    double xMin_ = 0.0;
    double yMin_ = 0.0;
    double mapWidth_ = 0.0;
    double mapHeight_ = 0.0;
    double scale_ = 0.0;
    MVViewPoint centre_;
    MVViewPoint faster_;
    MVViewPoint slower_;
    bool markersPlaced_ = false;
    bool locked_ = false;
    MarkerSource markerSource_;
};
