#pragma once

#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class MVSplitView;
class MVStatusView;
class MVLapsTableView;
class QTabWidget;

// The main window's view: the panes (lap table and track map on the left, video above the chart
// on the right) in three split views, with the status bar along the bottom; and the one place
// where session files are opened and the selection is worked out after a load.
//
// The divider positions are kept in the user defaults ("Default_MacOSDivider...Position"):
// restored when the view is first shown, stored whenever a divider moves.
//
// Threads: every method is main thread only. Loading runs on the session-file manager's loading
// queue (one load at a time); progress codes reach the status bar through a synchronous hop to
// the main thread; the selection is computed on the loading queue and the lap table is rebuilt
// on the main thread. Each rebuild carries a generation number; one that is out of date when it
// reaches the main thread is dropped.
class MVZQViewController : public QWidget {
    Q_OBJECT
  public:
    // Becomes the delegate of `manager`, which must outlive the controller.
    explicit MVZQViewController(MVGLDFileManager& manager = MVGLDFileManager::sharedManager(),
                                QWidget* parent = nullptr);
    ~MVZQViewController() override;

    MVGLDFileManager& fileController() const { return manager_; }
    MVStatusView* statusView() const { return statusView_; }
    MVSplitView* splitViewForVerticalDivider() const { return splitViewForVerticalDivider_; }
    MVSplitView* splitViewForLeftPanel() const { return splitViewForLeftPanel_; }
    MVSplitView* splitViewForChartAndVideo() const { return splitViewForChartAndVideo_; }
    QWidget* lapsView() const { return lapsView_; }
    QWidget* trackView() const { return trackView_; }
    QWidget* videoView() const { return videoView_; }
    QWidget* chartView() const { return chartView_; }

    // Opens one session file: returns at once; the file is checked and loaded on the loading
    // queue. A file that cannot be reached or read shows a failure in the status bar.
    void loadGLDFile(const std::filesystem::path& path);

    // The lap table of each session page, in load order (empty before the first load).
    std::vector<MVLapsTableView*> lapTables() const;
    // Loads that have ended (successfully or not) since creation.
    int finishedLoads() const { return finishedLoads_; }
    // Rebuilds applied to the panes, and rebuilds dropped for being out of date.
    int appliedRebuilds() const { return appliedRebuilds_; }
    int droppedRebuilds() const { return droppedRebuilds_; }

    // Default layout: the left panel a third of the width, video and chart half of the height
    // each, the left panel's panes evenly spread.
    void resetLayout();

  signals:
    // The lap table was rebuilt after a load; `lapCount` rows over all session pages.
    void lapTableFilled(int lapCount);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    class Delegate;
    // The result of one selection computation, handed from the loading queue to the main thread.
    struct Rebuild {
        std::uint64_t generation = 0;
        std::vector<std::string> names;
        std::vector<MVLapsPtr> laps;
        MVLapPtr bestLap;
        std::vector<MVLapPtr> selectedLaps;
    };

    void buildPanes();
    void restoreDividerPositions();
    void storeDividerPositions() const;

    void applyRebuild(const Rebuild& rebuild);

    MVGLDFileManager& manager_;
    std::shared_ptr<Delegate> delegate_;

    MVStatusView* statusView_ = nullptr;
    QWidget* middleView_ = nullptr;
    MVSplitView* splitViewForVerticalDivider_ = nullptr;
    MVSplitView* splitViewForLeftPanel_ = nullptr;
    MVSplitView* splitViewForChartAndVideo_ = nullptr;
    QWidget* lapsView_ = nullptr;
    QTabWidget* lapTabs_ = nullptr;
    QWidget* trackView_ = nullptr;
    QWidget* videoView_ = nullptr;
    QWidget* chartView_ = nullptr;
    bool appeared_ = false;
    int finishedLoads_ = 0;
    int appliedRebuilds_ = 0;
    int droppedRebuilds_ = 0;
};
