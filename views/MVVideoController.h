#pragma once

#include "views/MVVideoFilmView.h"
#include "views/MVVideoToolBarView.h"
#include "views/MVVideoView.h"

#include "widgets/MVLockedValue.h"

#include "session/MVLap.h"

#include "platform/Dispatch.h"
#include "platform/ObserverToken.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <chrono>
#include <optional>
#include <vector>

class QWidget;

// Drives the video pane of the main window: has the pane build one film per selected lap, keeps
// every film on the shared cursor (re-seeking 0.1 s after the last cursor move), lets the
// driving film move the cursor while it plays, and answers the pane's tool bar (play speed, full
// screen, export) and the play commands of the menus and the space bar.
//
// The driving film is the reference film; when that one has no video, the first film that has
// video drives instead, in both axis modes, so that a lap with video can still be played against
// a faster lap without one. Pause rests the driving film on the picture it was showing and moves
// the cursor there; the other films go to the cursor.
//
// setArrayOfSelectedLaps and arrayOfSelectedLaps are safe from any thread (the main window hands
// the laps over from its recompute queue); everything else is main thread only.
class MVVideoController {
  public:
    static constexpr std::array<float, 6> kRates{0.25f, 0.5f, 1.0f, 2.0f, 4.0f, 8.0f};
    static constexpr std::chrono::milliseconds kReseekDelay{100};
    static constexpr std::chrono::milliseconds kFullScreenDelay{1000};
    // Laps of the Quarto logger are shown this much earlier than the cursor on the time axis.
    static constexpr double kQuartoOffset = 0.35;

    MVVideoController();
    ~MVVideoController();
    MVVideoController(const MVVideoController&) = delete;
    MVVideoController& operator=(const MVVideoController&) = delete;

    // The pane: an MVVideoView, or any widget, which then gets an MVVideoView filling it.
    void setVideoView(QWidget* view);
    MVVideoView* videoView() const { return videoView_; }

    void setArrayOfSelectedLaps(std::vector<MVLapPtr> laps) {
        arrayOfSelectedLaps_.set(std::move(laps));
    }
    std::vector<MVLapPtr> arrayOfSelectedLaps() const { return arrayOfSelectedLaps_.get(); }
    MVVideoToolBarView* toolBarView() const { return toolBarView_; }
    // The films of the current build, left to right.
    std::vector<MVVideoFilmView*> films() const;
    // The film whose playing moves the cursor (null without films).
    MVVideoFilmView* drivingFilm() const;
    // The lap the export button exports: the last one, or the last one with a video file.
    MVLapPtr exportLap() const;

    void initSubviews();
    void removeSubviews();
    void setToolBarView(MVVideoToolBarView* toolBar);

    // Pauses every film on the cursor if one plays, else plays every film.
    void playOrPause();
    void play();
    void pause();
    void playFaster();
    void playSlower();

    // Tool bar actions.
    void popUpButtonPressed();
    void expandButtonPressed();
    void exportButtonPressed();

    void updateVideoPositionForTimeBased();
    void updateVideoPositionForPositionBased();

  private:
    void observeSyncTime();
    void observeSyncIndexOfPosition();
    void referenceTimeChanged(MVVideoFilmView* film, double seconds);
    void handOverDriving();
    // Writes the cursor without re-seeking the films; returns the position index written in
    // position mode (none when the film's lap has no positions).
    std::optional<double> writeCursor(const MVVideoFilmView& film, double seconds);
    // Positions every film but `except` at the cursor.
    void positionFilms(const MVVideoFilmView* except);
    void applyRate(int index);
    bool exportAvailable() const;

    QPointer<MVVideoView> videoView_;
    MVLockedValue<std::vector<MVLapPtr>> arrayOfSelectedLaps_;
    QPointer<MVVideoToolBarView> toolBarView_;
    // Receiver of the tool bar's signals: connections end with the controller.
    QObject receiver_;
    platform::ObserverToken syncTimeToken_;
    platform::ObserverToken syncIndexToken_;
    platform::ObserverToken clickedToken_;
    std::vector<platform::ObserverToken> filmTokens_;
    platform::Timer reseekTimeTimer_;
    platform::Timer reseekPositionTimer_;
    platform::Timer fullScreenTimer_;
};
