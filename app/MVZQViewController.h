#pragma once

#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"

#include "platform/ObserverToken.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class MVChartController;
class MVCompanyBrandView;
class MVLapsController;
class MVLapsTableView;
class MVLapsView;
class MVMenuActions;
class MVMenuController;
class MVMenuView;
class MVMiddleView;
class MVSplitView;
class MVStatusView;
class MVTrackController;
class MVVideoController;

// The main window's view: the panes (lap table above the track map on the left, video above the
// chart on the right) in three split views inside the middle view, with the status bar along the
// bottom; the logo in place of the panes while no session is open. It is the one place where
// session files are opened, where the selection (best lap, selected laps, charted channels) is
// worked out after every change, and where the panes are rebuilt and the cursor moved again.
//
// The divider positions are kept in the user defaults ("Default_MacOSDivider...Position", pixels
// of the middle view, with the middle view's size they were taken at): restored when the view is
// first shown, stored whenever the user or a layout command moves a divider. Each divider keeps
// its share of the middle view as the window is resized or maximised, so a restart puts it back
// where the user left it whatever the window's size at quit and at start.
//
// Threads: every public method is main thread only. Loads and recomputations run one at a time
// on the session-file manager's loading queue; progress codes reach the status bar through the
// main queue, the loading thread waiting only for the last (the completion step); panes are
// rebuilt on the main thread. Every rebuild carries
// a generation number: one that reaches the main thread after a later full rebuild was dispatched
// is dropped, since that one redoes everything it would; every other rebuild is applied. Mouse
// clicks on the panes are refused from the moment a recomputation is dispatched until its rebuild
// has finished. A load or recomputation that throws ends as one that returns (the loading queue
// logs the throw): the display mode is released, the load ends as a file that could not be read,
// and the rebuild of the work that threw is not applied but its overlays go and clicks are
// accepted again.
class MVZQViewController : public QWidget {
    Q_OBJECT
  public:
    // Becomes the delegate of `manager`, which must outlive the controller. The options,
    // selection and cursor are the process-wide ones. `actions` (the application delegate,
    // optional) receives the tool-button bar's presses and must outlive the controller.
    explicit MVZQViewController(MVGLDFileManager& manager = MVGLDFileManager::sharedManager(),
                                QWidget* parent = nullptr, MVMenuActions* actions = nullptr);
    ~MVZQViewController() override;

    MVGLDFileManager& fileController() const { return manager_; }
    MVMenuController& menuController() const;
    MVChartController& chartController() const;
    MVTrackController& trackController() const;
    MVVideoController& videoController() const;
    MVLapsController& lapsController() const;

    MVMenuView* menuView() const { return menuView_; }
    MVStatusView* statusView() const { return statusView_; }
    MVMiddleView* middleView() const { return middleView_; }
    MVSplitView* splitViewForVerticalDivider() const { return splitViewForVerticalDivider_; }
    MVSplitView* splitViewForLeftPanel() const { return splitViewForLeftPanel_; }
    MVSplitView* splitViewForChartAndVideo() const { return splitViewForChartAndVideo_; }
    MVLapsView* lapsView() const { return lapsView_; }
    QWidget* trackView() const { return trackView_; }
    QWidget* videoView() const { return videoView_; }
    QWidget* chartView() const { return chartView_; }
    MVCompanyBrandView* companyView() const;

    // ---- Sessions ------------------------------------------------------------------------

    // Opens one session file: returns at once; the file is checked and loaded on the loading
    // queue (after any load or recomputation already queued). A file that cannot be reached or
    // read shows a failure in the status bar.
    void loadGLDFile(const std::filesystem::path& path);

    // The logo in place of the panes, with the tool buttons disabled; and its removal.
    void showLogo();
    void removeLogo();
    bool isLogoOn() const;
    void disableButtons();
    void enableButtons();
    // Refuse or accept mouse clicks on the panes.
    void lockSubviews();
    void unlockSubviews();

    // ---- Layout --------------------------------------------------------------------------

    // Default layout: the left panel a third of the width, video and chart half of the height
    // each, the left panel's panes evenly spread.
    void resetLayout();
    // Hides the track map, or shows it again below the lap table. Nothing while the logo shows.
    void showOrHideTrack();
    void hideOrShowView(QWidget* view, MVSplitView* splitView);
    // Map-only layout (the map fills the left half) and back; video-only layout and back.
    void showFullTrackOrResetTrack();
    void showFullVideoOrResetVideo();
    // Move one divider one stop along closed, default, fully open.
    void viewMoveLeft();
    void viewMoveRight();
    void viewMoveUp();
    void viewMoveDown();

    // The middle view's width and height at which the divider positions were stored (integers).
    static const char* dividerLayoutWidthKey();
    static const char* dividerLayoutHeightKey();

    // ---- Observation (tests and tools) ---------------------------------------------------

    // The lap table of each session page, in load order (empty before the first load).
    std::vector<MVLapsTableView*> lapTables() const;
    // Loads that have ended (successfully or not) since creation.
    int finishedLoads() const { return finishedLoads_; }
    // Rebuilds applied to the panes, and rebuilds dropped for being out of date.
    int appliedRebuilds() const { return appliedRebuilds_; }
    int droppedRebuilds() const { return droppedRebuilds_; }

  signals:
    // The panes were rebuilt after a load or a change; `lapCount` rows over all session pages.
    void lapTableFilled(int lapCount);

  public:
    // The half that works on the loading queue (defined with the controller's sources).
    class Worker;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    friend class Worker;
    using Step = std::function<void(Worker&)>;
    using MainStep = std::function<void()>;

    void buildPanes();
    void createControllers(MVMenuActions* actions);
    void observeChanges();
    // Each divider's position as a share of its split view's extent (or, from the settings of
    // an earlier version, in pixels).
    struct DividerShares {
        double vertical = 0;
        double track = 0;
        double chartVideo = 0;
        bool pixels = false;
    };
    int dividerExtent(const MVSplitView* split) const;
    DividerShares currentDividerShares() const;
    std::optional<DividerShares> storedDividerShares() const;
    double& dividerShare(const MVSplitView* split);
    void applyDividerShare(MVSplitView* split);
    void dividerMoved(const MVSplitView* split);
    void storeDividerPositions() const;
    void afterLayoutChange();
    MVSplitView* horizontalSplitToStep() const;

    // The common path of every recomputation: clicks refused, overlays on `hudViews`, `work` on
    // the loading queue, then `rebuild` on the main thread if it is still the latest, the
    // overlays hidden and clicks accepted again.
    // Rebuilds for every pane supersede those dispatched before them.
    enum class Scope { SomePanes, EveryPane };
    void dispatchRecompute(Scope scope, std::vector<QWidget*> hudViews, Step work,
                           MainStep rebuild);
    // The end of one load, told to the main thread however the load ended.
    struct LoadEnd;
    // Code 10: the first computation after a load (on the main thread).
    void GLDFileDidLoaded();
    // Re-fires the cursor so every observer moves to it.
    void syncTimeOrPosition();
    void rebuildAllPanes(bool rescale);
    void emitLapTableFilled();

    // Reactions to changes of options, selection and notifications.
    enum class Option { Mode, DisplayMode, LapOptionsMode, SpeedUnit, DistanceUnit, HeightUnit };
    void optionChanged(Option option);
    void selectedKeysChanged();
    void selectedLapsChanged();
    void fileDidRemove(bool sessionsLeft);
    void trackChanged(const MVTrackInfoPtr& track, bool reparse);
    void selectedLapsChangedFromWholeFileSession();

    MVGLDFileManager& manager_;
    std::shared_ptr<Worker> worker_;

    std::unique_ptr<MVMenuController> menuController_;
    std::shared_ptr<MVChartController> chartController_;
    std::shared_ptr<MVTrackController> trackController_;
    std::shared_ptr<MVVideoController> videoController_;
    std::shared_ptr<MVLapsController> lapsController_;

    MVMenuView* menuView_ = nullptr;
    MVStatusView* statusView_ = nullptr;
    MVMiddleView* middleView_ = nullptr;
    MVSplitView* splitViewForVerticalDivider_ = nullptr;
    MVSplitView* splitViewForLeftPanel_ = nullptr;
    MVSplitView* splitViewForChartAndVideo_ = nullptr;
    MVLapsView* lapsView_ = nullptr;
    QWidget* trackView_ = nullptr;
    QWidget* videoView_ = nullptr;
    QWidget* chartView_ = nullptr;
    QPointer<QWidget> companyView_;  // the logo view while it shows

    std::vector<platform::ObserverToken> observers_;
    bool appeared_ = false;
    // The dividers' shares from the first show on; true while they are being put in place.
    std::optional<DividerShares> dividerShares_;
    bool placingDividers_ = false;
    int pendingRebuilds_ = 0;
    // Generation of the latest recomputation dispatched, and of the latest one for every pane.
    std::uint64_t generation_ = 0;
    std::uint64_t latestFullRebuild_ = 0;
    int finishedLoads_ = 0;
    int appliedRebuilds_ = 0;
    int droppedRebuilds_ = 0;
};
