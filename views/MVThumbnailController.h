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
#include <optional>
#include <vector>

// Drives the thumbnail strip of the chart pane: asks for the reference lap's slots for the range
// the chart shows now (the strip's width times xMax / the range's length, in 160-point slots),
// hands them to the strip, keeps the strip scrolled to the chart's range, and turns the user's
// scrolling of the strip into a cursor move: a scroll of d pixels moves the cursor (time or
// position by the x-axis mode, kept within the lap) by what d pixels of the strip show, that is
// d x the chart's visible length / the strip's width; when the cursor leaves the chart's range,
// the range moves just far enough to hold it again, and the strip follows the range. It is the
// strip's only link to the shared cursor; the chart pane controller makes it on every chart
// rebuild and sends it show, hide and extent calls. A strip of no width (hidden, not laid out)
// moves nothing. Main thread only.
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

    // For tests:
    // The slot count of the last request (fractional, as the slot times are spread).
    double requestedSlotCount() const { return requestedSlotCount_; }

  private:
    void setUp();
    void listArrived(const std::vector<MVThumbnailInfo>& list);
    void rangeChanged(const MVPlotRange& range);
    void stripScrolled(double pixels);
    // The chart's visible range now (the whole lap while none is published).
    MVPlotRange visibleRange() const;
    void keepCursorInRange(double cursor);

    MVChartShared shared_;
    MVThumbnailInfosGenerator infosGenerator_;
    double xShift_ = 0.0;
    double xMove_ = 0.0;
    double xMax_ = 0.0;
    double xCurrent_ = 0.0;
    std::optional<MVPlotRange> newRange_;  // the chart's range last handed over or seen
    QPointer<MVChartThumbnailView> thumbnailView_;
    MVLapPtr lap_;
    bool followingCursor_ = true;  // off while this controller writes the cursor
    double requestedSlotCount_ = 0.0;
    double requestedLength_ = 0.0;  // the range length the slots in hand were asked for
    platform::Timer generateTimer_;
    std::vector<platform::ObserverToken> observers_;
    platform::ObserverToken stripToken_;
};
