#pragma once

#include "views/MVTrackMapViewport.h"

#include "session/MV2DSegment.h"
#include "session/MVLap.h"
#include "session/MVMap.h"

#include "platform/Dispatch.h"

#include <QPoint>
#include <QRect>
#include <QWidget>

#include <vector>

class MVGLDFileManager;

// The zoomable, pannable circuit map of the track pane. It paints, in one pass each: the zoom
// box, the best lap's sectors (hidden in route mode, `sectorFlag`), the circuit borders, the
// start/finish flags of the manager's circuit record, the selected laps' routes and the vehicle
// markers (the faster lap's, then the slower lap's with two laps). The whole-session map is the
// frame of reference; its `ratio` follows the current scale. The markers show where each lap is
// at the shared cursor; a locked map keeps the faster marker in the middle.
//
// Mouse: a left drag right and down zooms into the dragged box, a drag in any other direction
// returns to the whole circuit, a click does nothing; a right drag pans (not while locked); a
// mouse wheel zooms (also while locked); a trackpad scroll pans (not while locked); a pinch
// zooms. Half a second after the last resize the view returns to the whole circuit.
//
// Main thread only.
class MVTrackMapView : public QWidget {
    Q_OBJECT
  public:
    MVTrackMapView(MVMapPtr bestMap, MVMapPtr wholeMap, std::vector<MV2DSegmentPtr> border,
                   std::vector<MVLapPtr> laps, MVGLDFileManager& manager,
                   QWidget* parent = nullptr);
    ~MVTrackMapView() override;

    // Takes the view's current size as the frame, scales the whole circuit to it, centres it and
    // starts drawing. The pane controller calls it once, right after building the view.
    void layoutSubtreeIfNeeded();

    // Stores the laps; the slower marker hides with fewer than two. The markers move at the next
    // cursor value.
    void updateTrackMapWithArrayOfSelectedLaps(std::vector<MVLapPtr> laps);
    void updateTrackMapWithTrackBorderArray(std::vector<MV2DSegmentPtr> border);
    // Cursor: seconds into the lap, or a position index along the reference lap.
    void updatePositionWithTime(double seconds);
    void updatePositionWithPosition(double position);

    bool sectorFlag() const { return sectorFlag_; }
    void setSectorFlag(bool flag);
    bool locked() const { return viewport_.locked(); }
    void setLocked(bool locked);
    void resetTrack();
    void zoomIn();
    void zoomOut();

    const MVMapPtr& bestMap() const { return bestMap_; }
    const MVMapPtr& wholeMap() const { return wholeMap_; }
    const std::vector<MV2DSegmentPtr>& trackBorderArray() const { return border_; }
    const std::vector<MVLapPtr>& arrayOfSelectedLaps() const { return laps_; }
    const MVTrackMapViewport& viewport() const { return viewport_; }
    // Marker centres in widget coordinates; whether each is drawn.
    QPointF fasterVehicleCentre() const;
    QPointF slowerVehicleCentre() const;
    bool isFasterVehicleShown() const;
    bool isSlowerVehicleShown() const;
    QRect zoomBox() const { return zoomBox_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

  private:
    MVTrackMapViewport::MarkerTargets markerTargets() const;
    MVPoint lapPosition(const MVLap& lap) const;
    void applied();
    void zoomToDraggedBox();
    void resetZoomBox();

    MVMapPtr bestMap_;
    MVMapPtr wholeMap_;
    std::vector<MV2DSegmentPtr> border_;
    std::vector<MVLapPtr> laps_;
    MVGLDFileManager& manager_;
    MVTrackMapViewport viewport_;
    double currentValue_ = 0.0;
    bool isTimebased_ = false;
    bool sectorFlag_ = false;
    bool built_ = false;
    QRect zoomBox_;
    QPoint startPointZoomBox_;
    QPoint endPointZoomBox_;
    QPoint lastRightDrag_;
    platform::Timer resetAfterResize_;
};
