#pragma once

#include "views/MVChartPlotView.h"
#include "views/MVChartShared.h"

#include "session/MVSynchronization.h"

#include "platform/ObserverToken.h"

#include <QPointer>

#include <optional>

// Keeps one channel plot in step with the shared cursor and writes the cursor back when the
// plot's own cursor moves (a click, a drag, a menu move). A controller that writes a key of the
// cursor stops observing that key for the write, so it never reacts to its own write while every
// other observer (the other plots, the map, the video, the sector strip, the chart labels) does.
//
// A click on any plot writes the cursor value once: the first controller that hears the click
// writes it and moves its own line; the others already see the cursor there and only their
// plots' lines move, once each. Menu moves keep the cursor within [0, xMax] and write the cursor
// value itself in both x-axis modes. Main thread only.
class MVPlotController {
  public:
    explicit MVPlotController(MVChartShared shared = MVChartShared::process());
    ~MVPlotController();
    MVPlotController(const MVPlotController&) = delete;
    MVPlotController& operator=(const MVPlotController&) = delete;

    // The plot (not owned: the plot stack owns it); observes its xMove.
    void setPlotView(MVChartPlotView* plotView);
    MVChartPlotView* plotView() const { return plotView_; }

    void updateSubviewsWithGraphCurrentRange(std::optional<MVPlotRange> range, double xMax);
    void updateShift(double shift, double move, double max);
    void updatePositionWithMove();
    void updatePosition();

    void moveRight();
    void moveRightSlightly();
    void moveLeft();
    void moveLeftSlightly();

    double xShift() const { return xShift_; }
    double xMove() const { return xMove_; }
    double xMax() const { return xMax_; }
    double xCurrent() const { return xCurrent_; }
    double graphXSelection() const { return graphXSelection_; }
    std::optional<MVPlotRange> graphCurrentRange() const { return graphCurrentRange_; }

  private:
    void setUp();
    void observeSyncTime();
    void observeSyncIndexOfPosition();
    void observeGraphCurrentRange();
    void observeGraphXSelection();
    void plotMoved(double v);
    void selectionChanged(double v);
    void cursorChanged(double v, bool isTime);
    void moveBy(double step, const char* logLine);

    MVChartShared shared_;
    double xShift_ = 0.0;
    double xMove_ = 0.0;
    double xMax_ = 0.0;
    double xCurrent_ = 0.0;
    double graphXSelection_ = 0.0;
    std::optional<MVPlotRange> graphCurrentRange_;
    // Guarded: the plot stack may delete the plot before this controller is dropped.
    QPointer<MVChartPlotView> plotView_;

    platform::ObserverToken syncTimeToken_;
    platform::ObserverToken syncIndexToken_;
    platform::ObserverToken syncShiftToken_;
    platform::ObserverToken rangeMaxToken_;
    platform::ObserverToken rangeToken_;
    platform::ObserverToken selectionToken_;
    platform::ObserverToken plotToken_;
};
