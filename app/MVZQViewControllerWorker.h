#pragma once

#include "app/MVZQViewController.h"

#include "session/MVPlotData.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The main window's half that works off the main thread: the manager's delegate, and the steps
// that work out the selection and hand data to the pane controllers. Steps run on the loading
// queue only; each writes a start and a finish line to the diagnostic log.
//
// It lives as long as any task that holds it; `owner` is read and cleared on the main thread
// only, so a task that reaches the main thread after the view controller is gone does nothing.
class MVZQViewController::Worker : public MVParsingProcessDelegate,
                                   public std::enable_shared_from_this<Worker> {
  public:
    Worker(MVZQViewController* owner, MVGLDFileManager& manager);

    // Loading thread: shows the code in the status bar, on the main thread; code 10 first runs
    // the completion step there, and only that code waits until it has run.
    void parsingStatus(std::int32_t code) override;

    void calculateGlobalData();
    void calculateGlobalLapsData();
    void calculateGlobalWholeFileData();
    void calculateBestLapFromAllGLDFiles();
    void initChartView();
    void updateChartViewByChangeUnit();
    void updateChartViewBySelectedKeys();
    void initLapView();
    void initLapOptionView();
    void updateLapView();
    void initTrackView();
    void updateTrackViewBySelectedLaps();
    void initVideoView();
    void resetSyncTimeOrPosition();

    // True on a thread that is writing the selection for the main window itself: the main
    // window's own observers ignore those writes.
    static bool isOwnSelectionWrite();

    MVZQViewController* owner;  // main thread only
    MVGLDFileManager& manager;
    std::shared_ptr<MVChartController> chart;
    std::shared_ptr<MVTrackController> track;
    std::shared_ptr<MVVideoController> video;
    std::shared_ptr<MVLapsController> laps;
    // Set by the first computation: from then on outside changes of the selection are followed.
    std::atomic<bool> followsSelection{false};

  private:
    void writeSelectedLaps(std::vector<MVLapPtr> laps);
    void writeSelectedKeysIfEmpty(std::vector<std::string> fallback);
    void copyUnitsToManager();
    // The chart curves of the selection for the current x axis (none for another axis), in the
    // options' units.
    std::optional<MVPlotSeries> plotDataForCurrentMode();
    void handLapsToLapsController(const std::vector<MVLapsPtr>& laps);
};
