#pragma once

#include "views/MVChartShared.h"
#include "views/MVChartThumbnailView.h"
#include "views/MVPlotKit.h"
#include "views/MVThumbnailInfosGenerator.h"

#include "session/MVLap.h"

#include "platform/Dispatch.h"
#include "platform/ObserverToken.h"

#include <QPointer>

#include <memory>
#include <vector>

// Drives the thumbnail strip of the chart pane: asks for the reference lap's slots at the strip's
// current zoom, hands them to the strip, keeps the strip scrolled with the charts as the shared
// cursor moves, and turns the user's scrolling of the strip into a cursor move (time or position
// by the x-axis mode, snapped to the lap's ends within 0.5 s or one position). It is the strip's
// only link to the shared cursor; the chart pane controller makes it on every chart rebuild and
// sends it show, hide and range calls. A strip of no width (hidden, not laid out) moves nothing.
// Main thread only.
class MVThumbnailController {
  public:
    explicit MVThumbnailController(MVChartShared shared = MVChartShared::process());
    ~MVThumbnailController();
    MVThumbnailController(const MVThumbnailController&) = delete;
    MVThumbnailController& operator=(const MVThumbnailController&) = delete;

    // The strip (not owned: the chart area owns it).
    void setThumbnailView(MVChartThumbnailView* view);
    MVChartThumbnailView* thumbnailView() const { return thumbnailView_; }
    void setLap(MVLapPtr lap) { lap_ = std::move(lap); }
    const MVLapPtr& lap() const { return lap_; }

    void updateShift(double shift, double move, double max);
    void updateGraphLocation(const MVPlotRange& range, double max);
    // Clears the strip and asks for the slots of the strip's document width.
    void generateArrayOfThumbnailInfos();
    // generateArrayOfThumbnailInfos after 0.5 s, replacing a pending one; and its cancel.
    void scheduleGenerateArrayOfThumbnailInfos();
    void cancelGenerateArrayOfThumbnailInfos();
    void removeThumbnailViews();
    // Scrolls the strip to the current range without moving the cursor.
    void updatePosition();

    double xShift() const { return xShift_; }
    double xMove() const { return xMove_; }
    double xMax() const { return xMax_; }
    double xCurrent() const { return xCurrent_; }
    MVThumbnailInfosGenerator& infosGenerator() { return infosGenerator_; }

  private:
    void setUp();
    void listArrived(const std::vector<MVThumbnailInfo>& list);
    void rangeChanged(const MVPlotRange& range);
    void stripScrolled(double offset);

    MVChartShared shared_;
    MVThumbnailInfosGenerator infosGenerator_;
    double xShift_ = 0.0;
    double xMove_ = 0.0;
    double xMax_ = 0.0;
    double xCurrent_ = 0.0;
    MVPlotRange newRange_{0.0, 1.0};
    QPointer<MVChartThumbnailView> thumbnailView_;
    MVLapPtr lap_;
    bool followingStrip_ = true;   // off while the strip is scrolled from here
    bool followingCursor_ = true;  // off while this controller writes the cursor
    platform::Timer generateTimer_;
    std::vector<platform::ObserverToken> observers_;
    platform::ObserverToken stripToken_;
};
