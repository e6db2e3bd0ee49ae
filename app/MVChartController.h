#pragma once

#include "app/MVPaneRecorder.h"
#include "session/MVLap.h"
#include "session/MVPlotData.h"

#include <optional>
#include <string>
#include <vector>

class QWidget;

// The chart pane's controller. Until the chart views exist it keeps what it is handed, records
// the operations it receives and names the charted channels and laps in its pane.
// Setters: any thread. Pane operations: main thread only.
class MVChartController : public MVPaneRecorder {
  public:
    void setChartView(QWidget* view);
    QWidget* chartView() const { return pane(); }

    void setXMax(double v);
    void setXShift(double v);
    void setXMove(double v);
    void setReferenceLap(MVLapPtr lap);
    void setArrayOfAllKeys(std::vector<std::vector<std::string>> keys);
    void setArrayOfSelectedKeys(std::vector<std::string> keys);
    // nullopt: no plot data (an x-axis mode without a builder).
    void setDataForPlots(std::optional<MVPlotSeries> data);
    void setArrayOfSelectedLaps(std::vector<MVLapPtr> laps);

    double xMax() const;
    double xShift() const;
    double xMove() const;
    MVLapPtr referenceLap() const;
    std::vector<std::string> arrayOfSelectedKeys() const;
    std::optional<MVPlotSeries> dataForPlots() const;
    std::vector<MVLapPtr> arrayOfSelectedLaps() const;

    void initSubviews();
    void removeSubviews();
    void updateSubviewsBySelectedKeys();
    void updateSubviewsBySelectedLaps();
    void updateSubviewsByChangeUnit();
    void scaleGraphToFitScreen();
    void alignChart();
    void moveLeft();
    void moveRight();
    void moveLeftSlightly();
    void moveRightSlightly();
    void moveUp();
    void moveDown();
    void showOrHideThumbnailFromButtonClick(bool fromButton);

  private:
    void refreshSummary();

    double xMax_ = 0.0;
    double xShift_ = 0.0;
    double xMove_ = 0.0;
    MVLapPtr referenceLap_;
    std::vector<std::vector<std::string>> arrayOfAllKeys_;
    std::vector<std::string> arrayOfSelectedKeys_;
    std::optional<MVPlotSeries> dataForPlots_;
    std::vector<MVLapPtr> arrayOfSelectedLaps_;
};
