#pragma once

#include "views/MVTrackMapView.h"
#include "views/MVTrackToolBarView.h"

#include "widgets/MVContainer.h"

#include "session/MV2DSegment.h"
#include "session/MVLap.h"
#include "session/MVMap.h"

#include <QPointer>

#include <vector>

class MVGLDFileManager;

// The track pane's container: the tool bar (25 points high, full width) over the map view,
// which fills the rest. The pane controller hands it the maps, border and laps, then asks it to
// build both; removing them takes them out of the pane (the fields still name them until they
// are gone). Main thread only.
class MVTrackView : public MVContainer {
    Q_OBJECT
  public:
    MVTrackView(MVGLDFileManager& manager, QWidget* parent = nullptr);

    void setBestMap(MVMapPtr map) { bestMap_ = std::move(map); }
    void setWholeMap(MVMapPtr map) { wholeMap_ = std::move(map); }
    void setTrackBorderArray(std::vector<MV2DSegmentPtr> border) { border_ = std::move(border); }
    void setArrayOfSelectedLaps(std::vector<MVLapPtr> laps) { laps_ = std::move(laps); }

    // A new tool bar and a new map view from the four data fields, laid out at once.
    void initSubviews();
    void removeSubviews();
    // Whether a tool bar and map view are in the pane now.
    bool hasSubviews() const;

    MVTrackToolBarView* toolBarView() const { return toolBarView_; }
    MVTrackMapView* trackMapView() const { return trackMapView_; }

  private:
    MVGLDFileManager& manager_;
    MVMapPtr bestMap_;
    MVMapPtr wholeMap_;
    std::vector<MV2DSegmentPtr> border_;
    std::vector<MVLapPtr> laps_;
    QPointer<MVTrackToolBarView> toolBarView_;
    QPointer<MVTrackMapView> trackMapView_;
};
