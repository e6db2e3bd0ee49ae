#pragma once

#include "widgets/MVLockedValue.h"
#include "app/MVPaneRecorder.h"
#include "session/MVLap.h"
#include "session/MV2DSegment.h"
#include "session/MVTrackInfo.h"

#include <vector>

class QWidget;

// The track-map pane's controller. Until the map view exists it keeps what it is handed,
// records the operations it receives and names the circuit and the laps drawn in its pane.
// Setters: any thread. Pane operations: main thread only.
class MVTrackController : public MVPaneRecorder {
  public:
    void setTrackView(QWidget* view);
    QWidget* trackView() const { return pane(); }

    void setArrayOfSelectedLaps(std::vector<MVLapPtr> laps);
    void setBestLap(MVLapPtr lap);
    void setWholeLap(MVLapPtr lap);
    void setTrackBorderArray(std::vector<MV2DSegmentPtr> border);
    void setAvailableTracks(std::vector<MVTrackInfoPtr> tracks);
    void setTrackInfo(MVTrackInfoPtr track);

    std::vector<MVLapPtr> arrayOfSelectedLaps() const { return arrayOfSelectedLaps_.get(); }
    MVLapPtr bestLap() const { return bestLap_.get(); }
    MVLapPtr wholeLap() const { return wholeLap_.get(); }
    std::vector<MV2DSegmentPtr> trackBorderArray() const { return trackBorderArray_.get(); }
    MVTrackInfoPtr trackInfo() const { return trackInfo_.get(); }

    void initSubviews();
    void removeSubviews();
    void updateTrackViewBySelectedLaps();
    void updateTrackViewByTrackBoarderArray();
    void resetTrackMap();
    void lockOrUnlockMapFromButtonClick(bool fromButton);

  private:
    void refreshSummary();

    MVLockedValue<std::vector<MVLapPtr>> arrayOfSelectedLaps_;
    MVLockedValue<MVLapPtr> bestLap_;
    MVLockedValue<MVLapPtr> wholeLap_;
    MVLockedValue<std::vector<MV2DSegmentPtr>> trackBorderArray_;
    MVLockedValue<std::vector<MVTrackInfoPtr>> availableTracks_;
    MVLockedValue<MVTrackInfoPtr> trackInfo_;
};
