#pragma once

#include "views/MVChartSectorView.h"
#include "views/MVChartShared.h"

#include "session/MVLap.h"

#include "platform/ObserverToken.h"

#include <optional>

// Connects the sector strip with the shared cursor: turns what the user selects on the strip
// (a sector, a stretch, a reset) into a new visible x range of the charts or, on the
// whole-session strip in time mode, into a switch to the lap that was clicked (it posts
// "MVNotificationSelectedLapsChangedFromWholeFileSession" for the main window to rebuild); and
// keeps the strip scrolled and stretched like the charts. It follows the strip's lap, also
// after updateSectorViewWithLap. Nothing is written to the cursor for a selection it cannot
// place (no lap, no position alignment, a zero-length stretch). Main thread only.
class MVSectorController {
  public:
    explicit MVSectorController(MVChartShared shared = MVChartShared::process());
    ~MVSectorController();
    MVSectorController(const MVSectorController&) = delete;
    MVSectorController& operator=(const MVSectorController&) = delete;

    // The strip (not owned: the chart area owns it).
    void setSectorView(MVChartSectorView* view);
    MVChartSectorView* sectorView() const { return sectorView_; }

    void updateShift(double shift, double move, double max);
    void updatePositionWithShift(double shift, double move, double max, bool isShiftChanged);
    void updateGraphLocation(const MVPlotRange& range, double max);
    void updateSectorViewWithLap(MVLapPtr lap);
    // The whole reference lap.
    void resetToFull();

    const MVLapPtr& lap() const { return lap_; }
    double xShift() const { return xShift_; }
    double xMove() const { return xMove_; }
    double xMax() const { return xMax_; }

  private:
    void selectionChanged(const MVSectorSelection& selection);
    void openWholeSessionLap(const MVSectorSelection& selection);
    void zoomToStretch(const MVSectorSelection& selection);

    MVChartShared shared_;
    double xShift_ = 0.0;
    double xMove_ = 0.0;
    double xMax_ = 0.0;
    MVLapPtr lap_;
    MVChartSectorView* sectorView_ = nullptr;
    platform::ObserverToken rangeToken_;
    platform::ObserverToken fullToken_;
    platform::ObserverToken defaultToken_;
    platform::ObserverToken selectionToken_;
};
