#pragma once

#include "session/MVGLDFileManager.h"
#include "session/MVGlobalData.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"
#include "session/MVOptionsAndSettings.h"

#include "platform/NotificationCenter.h"
#include "platform/ObserverToken.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <mutex>
#include <string>
#include <vector>

class MVLapsView;
class MVLapsTableToolBarView;

// The laps pane of the main window: hands the session data to the laps panel and rebuilds it,
// shows the page of the file tab the user picks, refreshes the lap tables after a change of
// selection or unit, and closes sessions by their tab.
//
// It is also where a click on a lap's check box ("MVLapDidSelected") becomes the shared lap
// selection (selectedLaps of MVGlobalData), by selectionAfterClick(). A click that arrives while
// a progress overlay covers the laps panel is dropped: a recomputation for the last click is
// under way. A tab's close button ("MVSessionCloseButtonClicked", user info "index") removes that
// session from the session-file manager; the manager's removal notice drives the rebuild.
//
// Threads: the data setters and getters may be called from any thread; everything else, and the
// notification handlers, on the main thread only.
class MVLapsController : public QObject {
    Q_OBJECT
  public:
    // `manager`, `global` and `options` must outlive the controller.
    explicit MVLapsController(MVGLDFileManager& manager = MVGLDFileManager::sharedManager(),
                              MVGlobalData& global = MVGlobalData::sharedManager(),
                              MVOptionsAndSettings& options = MVOptionsAndSettings::sharedManager(),
                              QObject* parent = nullptr);
    // Stops observing the notification centre.
    ~MVLapsController() override;
    // Stops reacting to lap clicks and close buttons, for an owner that goes away while tasks
    // still hold the controller (main thread).
    void stopObservingNotifications();

    // Main thread. The panel is not owned (it lives in the window).
    MVLapsView* lapsView() const;
    void setLapsView(MVLapsView* view);

    // The data of the next initSubviews() (any thread).
    MVLapPtr bestLap() const;
    void setBestLap(MVLapPtr lap);
    std::vector<MVLapsPtr> arrayOfMVLaps() const;
    void setArrayOfMVLaps(std::vector<MVLapsPtr> v);
    std::vector<MVLapPtr> selectedLaps() const;
    void setSelectedLaps(std::vector<MVLapPtr> v);
    std::vector<std::string> gldFileNames() const;
    void setGldFileNames(std::vector<std::string> v);

    // Main thread. The panel's current tool bar; nullptr once the panel dropped it.
    MVLapsTableToolBarView* toolBarView() const;
    // Stores the tool bar and makes a tab pick on its tab control call segmentChanged().
    void setToolBarView(MVLapsTableToolBarView* toolBar);

    // Main thread only from here.

    // Rebuilds the panel from the data handed in and shows the last session's page (none when
    // there is no session).
    void initSubviews();
    void removeSubviews();
    // A tab pick: when `sender` is the tool bar's tab control, shows the page of its selected
    // tab. Always notes "LapController segment changed" in the diagnostic log.
    void segmentChanged(QObject* sender);
    // Gives every lap table the current selectedLaps() (the best/ideal tables stay as they are).
    void updateTableViewBySelectedLaps();
    // Re-reads every lap table and best/ideal table (after a change of unit).
    void updateTableView();
    // Removes the session of the selected tab from the manager. Nothing is loaded, no tool bar
    // or no tab selected, or a tab past the manager's sessions: nothing happens.
    void closeCurrentSession();

    // The selection after a click on `clicked`'s check box, given the selection `current`
    // (slower lap first, faster last). Laps are compared as objects, never by number.
    //   - no lap clicked, or nothing selected: `current`
    //   - a whole-session lap: that lap alone
    //   - the only selected lap: `current` (it cannot be cleared)
    //   - any other lap while one lap (a whole-session lap too) is selected: the two of them
    //   - one of two selected laps: the other one alone
    //   - any other lap: it and the faster (last) selected lap
    //   A pair puts the longer lap time first; on equal lap times the lap already selected
    //   stays first.
    static std::vector<MVLapPtr> selectionAfterClick(const std::vector<MVLapPtr>& current,
                                                     const MVLapPtr& clicked);

  private:
    void MVNotification(const platform::Notification& notification);
    void lapDidSelect(const platform::Notification& notification);
    void closeButtonClicked(const platform::Notification& notification);
    // Removes the session at `index` when it is one of the manager's.
    void removeSession(long long index);
    // Calls `visit` with every page of the panel below the number of names.
    template <typename Visit>
    void forEachPage(Visit visit) const;

    MVGLDFileManager& manager_;
    MVGlobalData& global_;
    MVOptionsAndSettings& options_;

    QPointer<MVLapsView> lapsView_;
    QPointer<MVLapsTableToolBarView> toolBarView_;
    QMetaObject::Connection tabConnection_;

    mutable std::mutex mutex_;
    MVLapPtr bestLap_;
    std::vector<MVLapsPtr> arrayOfMVLaps_;
    std::vector<MVLapPtr> selectedLaps_;
    std::vector<std::string> gldFileNames_;

    platform::ObserverToken lapSelectedToken_;
    platform::ObserverToken closeButtonToken_;
};
