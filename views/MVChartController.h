#pragma once

#include "views/MVChartShared.h"
#include "views/MVChartToolBarView.h"
#include "views/MVChartView.h"
#include "views/MVPlotKit.h"
#include "views/MVPopOverInfoViewController.h"

#include "widgets/MVLockedValue.h"

#include "session/MVLap.h"
#include "session/MVPlotData.h"
#include "session/MVSynchronization.h"

#include "platform/Dispatch.h"
#include "platform/ObserverToken.h"

#include <QPointer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class MVPlotController;
class MVSectorController;
class MVThumbnailController;
class QWidget;

// The controller of the chart pane: one plot per charted channel, one curve per selected lap,
// with the chart tool bar, the video-thumbnail strip and the sector strip above the plots. The main
// window hands it its pane and the plot data and calls its update operations; the application menu
// calls the cursor moves, the zoom steps and the thumbnail toggle. It keeps one plot cursor
// controller per plot, the sector strip controller and the thumbnail strip controller (all made
// again on every rebuild), opens the channel chooser from the tool bar's channel button, keeps the
// tool bar's labels on the shared cursor, and re-applies the visible range 0.5 s after the last
// width change of the pane.
//
// The data setters may be called from any thread (the main window prepares the data on its
// recompute queue); every other operation is main thread only.
class MVChartController {
  public:
    explicit MVChartController(MVChartShared shared = MVChartShared::process());
    ~MVChartController();
    MVChartController(const MVChartController&) = delete;
    MVChartController& operator=(const MVChartController&) = delete;

    // The pane the chart area fills (not owned); the chart area is made inside it.
    void setChartView(QWidget* pane);
    MVChartView* chartView() const { return chartView_; }

    void setXMax(double v) { xMax_.set(v); }
    void setXShift(double v) { xShift_.set(v); }
    void setXMove(double v) { xMove_.set(v); }
    void setReferenceLap(MVLapPtr lap) { referenceLap_.set(std::move(lap)); }
    void setArrayOfAllKeys(std::vector<std::vector<std::string>> keys) {
        arrayOfAllKeys_.set(std::move(keys));
    }
    void setArrayOfSelectedKeys(std::vector<std::string> keys) {
        arrayOfSelectedKeys_.set(std::move(keys));
    }
    // nullopt: no plot data (an x-axis mode without curves); charted as empty curves.
    void setDataForPlots(std::optional<MVPlotSeries> data) {
        dataForPlots_.set(data ? std::make_shared<const MVPlotSeries>(std::move(*data))
                               : MVSharedPlotSeries());
    }
    void setArrayOfSelectedLaps(std::vector<MVLapPtr> laps) {
        arrayOfSelectedLaps_.set(std::move(laps));
    }

    double xMax() const { return xMax_.get(); }
    double xShift() const { return xShift_.get(); }
    double xMove() const { return xMove_.get(); }
    MVLapPtr referenceLap() const { return referenceLap_.get(); }
    std::vector<std::vector<std::string>> arrayOfAllKeys() const { return arrayOfAllKeys_.get(); }
    std::vector<std::string> arrayOfSelectedKeys() const { return arrayOfSelectedKeys_.get(); }
    // A copy of the data handed over (for checks; the pane shares the data itself).
    std::optional<MVPlotSeries> dataForPlots() const {
        const MVSharedPlotSeries data = dataForPlots_.get();
        return data ? std::optional<MVPlotSeries>(*data) : std::nullopt;
    }
    std::vector<MVLapPtr> arrayOfSelectedLaps() const { return arrayOfSelectedLaps_.get(); }
    double graphXSelection() const { return graphXSelection_; }
    std::optional<MVPlotRange> graphCurrentRange() const { return graphCurrentRange_; }
    MVSectorController* sectorController() const { return sectorController_.get(); }
    MVThumbnailController* thumbnailController() const { return thumbnailController_.get(); }

    void initSubviews();
    void updateSubviewsBySelectedKeys();
    // The new laps and their plot data, and the x extent (xMax) of their reference lap for the
    // chart area, every plot and cursor controller and both strips.
    void updateSubviewsBySelectedLaps();
    void updateSubviewsByChangeUnit();
    void removeSubviews();
    void scaleGraphToFitScreen();
    // Cursor moves of the application menu: sent to the first plot only; the others follow
    // through the shared cursor.
    void moveLeft();
    void moveLeftSlightly();
    void moveRight();
    void moveRightSlightly();
    // Zoom out / in by 2 % of the visible width; nothing while no range is published.
    void moveUp();
    void moveDown();
    // Every plot applies the published range again, at its length.
    void alignChart();
    void showOrHideThumbnailFromButtonClick(bool fromButton);
    void updateLabels();
    void resetPlotController();

    // For tests:
    const std::vector<std::unique_ptr<MVPlotController>>& plotControllers() const {
        return plotControllers_;
    }
    // The channel chooser last opened (nullptr once it is closed).
    MVPopOverInfoViewController* channelChooser() const { return channelChooser_; }

  private:
    void setUp();
    void setToolBarView(MVChartToolBarView* toolBar);
    void defaultButtonPressed();
    void editButtonPressed();
    void makeThumbnailController();
    void zoomBy(double factor);
    void handOnXExtent();
    MVSharedPlotSeries plotData() const;

    MVChartShared shared_;
    std::optional<MVPlotRange> graphCurrentRange_;
    std::unique_ptr<MVSectorController> sectorController_;
    std::unique_ptr<MVThumbnailController> thumbnailController_;
    QPointer<MVPopOverInfoViewController> channelChooser_;
    std::vector<std::unique_ptr<MVPlotController>> plotControllers_;
    QPointer<MVChartView> chartView_;
    QPointer<MVChartToolBarView> toolBarView_;
    double graphXSelection_ = 0.0;
    platform::Timer alignTimer_;

    MVLockedValue<double> xMax_;
    MVLockedValue<double> xShift_;
    MVLockedValue<double> xMove_;
    MVLockedValue<MVLapPtr> referenceLap_;
    MVLockedValue<std::vector<std::vector<std::string>>> arrayOfAllKeys_;
    MVLockedValue<std::vector<std::string>> arrayOfSelectedKeys_;
    MVLockedValue<MVSharedPlotSeries> dataForPlots_;
    MVLockedValue<std::vector<MVLapPtr>> arrayOfSelectedLaps_;

    std::vector<platform::ObserverToken> observers_;
};
