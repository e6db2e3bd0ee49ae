#pragma once

#include "views/MVTrackWizardWindowController.h"

#include "widgets/MVLockedValue.h"

#include "session/MV2DSegment.h"
#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVTrackInfo.h"

#include "platform/Dispatch.h"
#include "platform/ObserverToken.h"

#include <QPointer>

#include <optional>
#include <vector>

class MVOptionsAndSettings;
class MVPopOverAvailableTracksViewController;
class MVSynchronization;
class MVTrackMapView;
class MVTrackToolBarView;
class MVTrackView;
class QObject;
class QWidget;

namespace platform {
class UserDefaults;
}

// The track pane's controller, the one object through which the main window drives the pane.
// It is handed the selected laps, the best lap, the first session's whole-session lap, the
// circuit border, the candidate circuits and the circuit record in use, and rebuilds the pane
// (tool bar over map) on initSubviews. It follows the shared cursor (time and position index)
// and moves the map's markers; it answers the six tool-bar buttons, opens the circuit chooser
// and the track wizard, and hands a circuit confirmed in the wizard to the session-file manager,
// which re-parses the sessions with the new gates. Half a second after a build it opens the
// wizard by itself when the first session has no lap; one second after a build it restores the
// map's lock. A rebuild or removal cancels both.
//
// Data setters and getters: any thread (the main window hands data over from its recompute
// queue). Everything else: main thread only.
class MVTrackController : public TrackWizardDelegate {
  public:
    explicit MVTrackController(MVGLDFileManager& manager = MVGLDFileManager::sharedManager());
    MVTrackController(MVGLDFileManager& manager, MVOptionsAndSettings& options,
                      MVSynchronization& cursor, platform::UserDefaults& defaults);
    ~MVTrackController() override;
    MVTrackController(const MVTrackController&) = delete;
    MVTrackController& operator=(const MVTrackController&) = delete;

    // The pane's container is made inside `host` and fills it.
    void setTrackView(QWidget* host);
    MVTrackView* trackView() const;

    void setArrayOfSelectedLaps(std::vector<MVLapPtr> laps) {
        arrayOfSelectedLaps_.set(std::move(laps));
    }
    void setBestLap(MVLapPtr lap) { bestLap_.set(std::move(lap)); }
    void setWholeLap(MVLapPtr lap) { wholeLap_.set(std::move(lap)); }
    void setTrackBorderArray(std::vector<MV2DSegmentPtr> border) {
        trackBorderArray_.set(std::move(border));
    }
    void setAvailableTracks(std::vector<MVTrackInfoPtr> tracks) {
        availableTracks_.set(std::move(tracks));
    }
    // A plain store: the session-file manager is not told.
    void setTrackInfo(MVTrackInfoPtr track) { trackInfo_.set(std::move(track)); }

    std::vector<MVLapPtr> arrayOfSelectedLaps() const { return arrayOfSelectedLaps_.get(); }
    MVLapPtr bestLap() const { return bestLap_.get(); }
    MVLapPtr wholeLap() const { return wholeLap_.get(); }
    std::vector<MV2DSegmentPtr> trackBorderArray() const { return trackBorderArray_.get(); }
    std::vector<MVTrackInfoPtr> availableTracks() const { return availableTracks_.get(); }
    MVTrackInfoPtr trackInfo() const { return trackInfo_.get(); }

    void initSubviews();
    void updateTrackViewBySelectedLaps();
    void updateTrackViewByTrackBoarderArray();
    void removeSubviews();
    void resetTrackMap();
    // Toggles the map's lock and stores it; from the menu (fromButton false) the lock button
    // steps along so that it shows the map's state.
    void lockOrUnlockMapFromButtonClick(bool fromButton);
    // The action of the six tool-bar buttons; any other sender does nothing.
    void buttonPressed(QObject* sender);
    // Opens the wizard when the first loaded session has no lap; nothing without a session.
    void checkSFLine();
    // The wizard's Yes: the record becomes the manager's circuit and the sessions re-parse;
    // when they then have laps, a whole-session display returns to the laps.
    void chosenTrackIno(MVTrackInfoPtr record) override;

    MVTrackToolBarView* toolBarView() const;
    MVTrackMapView* trackMapView() const;
    MVTrackWizardWindowController* wizardWindowController() const;
    MVPopOverAvailableTracksViewController* chooser() const;

  private:
    void setUp();
    void setToolBarView(MVTrackToolBarView* toolBar);
    void restoreBorderIfSameGate();
    void openWizard();
    void openChooser();

    MVGLDFileManager& manager_;
    MVOptionsAndSettings& options_;
    MVSynchronization& cursor_;
    platform::UserDefaults& defaults_;

    MVLockedValue<std::vector<MVLapPtr>> arrayOfSelectedLaps_;
    MVLockedValue<MVLapPtr> bestLap_;
    MVLockedValue<MVLapPtr> wholeLap_;
    MVLockedValue<std::vector<MV2DSegmentPtr>> trackBorderArray_;
    MVLockedValue<std::vector<MVTrackInfoPtr>> availableTracks_;
    MVLockedValue<MVTrackInfoPtr> trackInfo_;

    QPointer<MVTrackView> trackView_;
    QPointer<MVTrackToolBarView> toolBarView_;
    QPointer<MVTrackMapView> trackMapView_;
    QPointer<MVTrackWizardWindowController> wizard_;
    QPointer<MVPopOverAvailableTracksViewController> chooser_;
    std::optional<std::vector<MV2DSegmentPtr>> tempBorderArray_;
    MVTrackInfoPtr tempTrackInfo_;

    platform::ObserverToken timeObservation_;
    platform::ObserverToken positionObservation_;
    platform::Timer checkSFLineTimer_;
    platform::Timer lockRestoreTimer_;
};
