#pragma once

#include "widgets/MVLockedValue.h"
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

    double xMax() const { return xMax_.get(); }
    double xShift() const { return xShift_.get(); }
    double xMove() const { return xMove_.get(); }
    MVLapPtr referenceLap() const { return referenceLap_.get(); }
    std::vector<std::string> arrayOfSelectedKeys() const { return arrayOfSelectedKeys_.get(); }
    std::optional<MVPlotSeries> dataForPlots() const { return dataForPlots_.get(); }
    std::vector<MVLapPtr> arrayOfSelectedLaps() const { return arrayOfSelectedLaps_.get(); }

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

    MVLockedValue<double> xMax_;
    MVLockedValue<double> xShift_;
    MVLockedValue<double> xMove_;
    MVLockedValue<MVLapPtr> referenceLap_;
    MVLockedValue<std::vector<std::vector<std::string>>> arrayOfAllKeys_;
    MVLockedValue<std::vector<std::string>> arrayOfSelectedKeys_;
    MVLockedValue<std::optional<MVPlotSeries>> dataForPlots_;
    MVLockedValue<std::vector<MVLapPtr>> arrayOfSelectedLaps_;
};
