#pragma once

#include "views/MVChartShared.h"
#include "views/MVPlotKit.h"

#include "session/MVLap.h"
#include "session/MVPlotData.h"

#include <QWidget>

#include <string>
#include <vector>

class MVChartPlotView;

// The plots of the chart pane, one per charted channel, stacked top to bottom at equal heights
// without gaps; only the bottom plot labels the x axis. A key list of the same length refreshes
// the plots in place; another length rebuilds the stack. The stack wants every plot at least
// MVChartPlotView::kMinimumHeight high (minimumStackHeight); the chart area scrolls it when it is
// taller than the room. Main thread only.
class MVChartPlotStackView : public QWidget {
    Q_OBJECT
  public:
    explicit MVChartPlotStackView(MVChartShared shared = MVChartShared::process(),
                                  QWidget* parent = nullptr);

    void initPlotStackViewWithArrayOfSelectedLaps(std::vector<MVLapPtr> laps,
                                                  std::vector<std::string> keys,
                                                  MVSharedPlotSeries data, double xMax,
                                                  double xShift, double xMove);
    void initPlotsView(const std::vector<std::string>& keys);
    void updatePlotsView();
    void updatePlotStackViewWithDataForPlots(MVSharedPlotSeries data);
    void updatePlotStackViewWithArrayOfGLDPropertyKeys(std::vector<std::string> keys,
                                                       MVSharedPlotSeries data);
    void updatePlotStackViewWithArrayOfSelectedLaps(std::vector<MVLapPtr> laps,
                                                    MVSharedPlotSeries data);
    // The x extent handed to every plot at its next refresh (updatePlotsView and the update
    // operations above); nothing is redrawn here.
    void setXExtent(double xMax, double xShift, double xMove);
    void scaleToFit();

    // The height the plots need: each at its minimum height.
    int minimumStackHeight() const;

    double xMax() const { return xMax_; }
    const std::vector<MVChartPlotView*>& arrayOfPlotViews() const { return plots_; }
    const std::vector<std::string>& arrayOfGLDPropertyKeys() const { return keys_; }

  signals:
    // The number of plots changed (so may minimumStackHeight).
    void plotsRebuilt();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    MVSharedPlotCurves curvesAt(std::size_t i) const;
    void layOut();

    MVChartShared shared_;
    std::vector<std::string> keys_;
    MVSharedPlotSeries data_;
    std::vector<MVLapPtr> laps_;
    double xMax_ = 0.0;
    double xShift_ = 0.0;
    double xMove_ = 0.0;
    std::vector<MVChartPlotView*> plots_;
};
