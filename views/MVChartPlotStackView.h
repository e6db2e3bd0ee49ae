#pragma once

#include "views/MVChartShared.h"

#include "session/MVLap.h"
#include "session/MVPlotData.h"

#include <QWidget>

#include <string>
#include <vector>

class MVChartPlotView;

// The plots of the chart pane, one per charted channel, stacked top to bottom at equal heights
// without gaps; only the bottom plot labels the x axis. A key list of the same length refreshes
// the plots in place; another length rebuilds the stack. Main thread only.
class MVChartPlotStackView : public QWidget {
    Q_OBJECT
  public:
    explicit MVChartPlotStackView(MVChartShared shared = MVChartShared::process(),
                                  QWidget* parent = nullptr);

    void initPlotStackViewWithArrayOfSelectedLaps(std::vector<MVLapPtr> laps,
                                                  std::vector<std::string> keys, MVPlotSeries data,
                                                  double xMax, double xShift, double xMove);
    void initPlotsView(const std::vector<std::string>& keys);
    void updatePlotsView();
    void updatePlotStackViewWithDataForPlots(MVPlotSeries data);
    void updatePlotStackViewWithArrayOfGLDPropertyKeys(std::vector<std::string> keys,
                                                       MVPlotSeries data);
    void updatePlotStackViewWithArrayOfSelectedLaps(std::vector<MVLapPtr> laps, MVPlotSeries data);
    void scaleToFit();

    const std::vector<MVChartPlotView*>& arrayOfPlotViews() const { return plots_; }
    const std::vector<std::string>& arrayOfGLDPropertyKeys() const { return keys_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    MVPlotCurves curvesAt(std::size_t i) const;
    void layOut();

    MVChartShared shared_;
    std::vector<std::string> keys_;
    MVPlotSeries data_;
    std::vector<MVLapPtr> laps_;
    double xMax_ = 0.0;
    double xShift_ = 0.0;
    double xMove_ = 0.0;
    std::vector<MVChartPlotView*> plots_;
};
