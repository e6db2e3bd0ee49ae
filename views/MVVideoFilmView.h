#pragma once

#include "views/MVVideoPlayer.h"
#include "views/MVVideoTimeMapping.h"

#include "session/MVLap.h"

#include "platform/Dispatch.h"
#include "platform/Observable.h"

#include <QColor>
#include <QWidget>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class MVTextField;
class MVVideoSurface;

// The video of one lap in the video pane, kept in step with the lap's data. The lap's video lies
// in one file or runs over into a second: the film holds a player per file, shows one of them
// (the active one) and switches to the second when the first has played to its end. It seeks to
// a lap time through the video time each sample recorded, holds on the lap's last frame, and, as
// the reference film, reports the lap time it shows while it plays (`currentTime`, observable).
// A horizontal scroll scrubs the shared cursor; a click posts "MVNotificationVideoClicked".
//
// The files are opened 0.05 s after the film is made; a file that is missing or cannot be read
// shows "Video not available", and play and pause then do nothing. So does a file on screen of
// which no frame is readable (cut short before its first whole picture), for as long as it is on
// screen; play and pause work on it as on any other. A parse slower than its time limit is waited
// for. A freshly opened film rests on the still frame at `positionToRemember`.
//
// Main thread only.
class MVVideoFilmView : public QWidget {
    Q_OBJECT
  public:
    static constexpr std::chrono::milliseconds kOpenDelay{50};
    // The parse's time limit; parsing goes on past it.
    static constexpr std::chrono::milliseconds kParseLimit{1000};
    static constexpr const char* kNoVideoText = "Video not available";

    // The video time (ms) recorded at an elapsed session time of the lap; anything negative or
    // not finite means that sample has no video time. The default reads the shared session data.
    using VideoTimeLookup = std::function<double(const MVLap& lap, double sessionTime)>;

    MVVideoFilmView(MVLapPtr lap, const QColor& borderColor, bool isReference,
                    QWidget* parent = nullptr);
    ~MVVideoFilmView() override;

    const MVLapPtr& lap() const { return lap_; }
    const QColor& borderColor() const { return borderColor_; }
    bool isReference() const { return isReference_; }
    // Whether this film reports the lap time it shows while it plays (`currentTime`): the
    // reference film, unless the pane hands that over to a film that has video.
    bool drivesCursor() const { return drivesCursor_; }
    void setDrivesCursor(bool drives) { drivesCursor_ = drives; }
    // A video of the film has been opened and parsed.
    bool hasVideo() const { return didParsed_; }

    // Seconds of the lap shown.
    double currentTime() const { return currentTime_.get(); }
    void setCurrentTime(double seconds) { currentTime_.set(seconds); }
    [[nodiscard]] platform::ObserverToken observeCurrentTime(
        platform::Observable<double>::Handler handler) {
        return currentTime_.observe(std::move(handler));
    }

    bool isPlaying() const;
    // Unmutes and plays the file on screen (nothing for a film without video).
    void play();
    void pause();
    // Pauses on the picture showing, as the still of its own time, and returns the lap time of
    // that picture (none when the film was not playing or has no video).
    std::optional<double> pauseOnShownPicture();
    // Remembers the lap time and seeks to it once a video is ready (at once if one is).
    void setPosition(double seconds);
    // Pauses and seeks to the lap time (see MVVideoTimeMapping); nothing for a sample without a
    // video time or while the length of the file it lies in is unknown.
    void updatePosition(double seconds);
    // Pauses the file's player and sets its time.
    void readyToPlayAt(int file, std::int64_t ms);

    // The play rate of both players (the one the film keeps to; see keepUpWith).
    void changeRate(float rate);
    float rate() const { return appliedRate_; }
    // While playing, brings the film to the lap time given (a film that follows another's
    // cursor): off by more than kKeepUpGap, it plays up to kKeepUpChange faster or slower, so
    // as to close the gap in about kKeepUpHorizon, and back at its rate once it is closed; off by
    // more than kKeepUpSeekGap, it seeks and plays on.
    void keepUpWith(double seconds);
    static constexpr double kKeepUpGap = 0.12;  // three frames at 25 fps
    static constexpr double kKeepUpHorizon = 2.0;
    static constexpr double kKeepUpChange = 0.25;
    static constexpr double kKeepUpSeekGap = 1.0;
    // The lap time of the picture the film shows, from its player's last time.
    std::optional<double> shownLapTime() const;
    void changeContrast(float value);
    void changeBrightness(float value);
    void changeHue(float value);
    void changeSaturation(float value);
    void changeGama(float value);
    // Contrast, brightness, saturation, gamma and rate 1, hue 0 on both players.
    void defaultVideoSettings();

    // State as the tests and the pane see it.
    bool didParsed() const { return didParsed_; }
    int activeFile() const { return activeFile_; }
    MVVideoPlayer* player(int file) const;
    MVVideoSurface* surface(int file) const;
    double positionToRemember() const { return positionToRemember_; }

    // For tests:
    // Replaces the lookup of every film (none: back to the default); returns the previous one.
    static VideoTimeLookup setVideoTimeLookup(VideoTimeLookup lookup);
    bool isShowingNoVideoMessage() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    void openFiles();
    bool openFile(int file, const std::filesystem::path& path);
    void mediaDidFinishParsing(int file, bool ok);
    void pictureShown(int file);
    void endLaunch();
    void timeChanged(int file, std::int64_t ms);
    void stateChanged(int file, MVVideoPlayer::State state);
    void showNoVideoMessage();
    // Shows or hides the message for what the file on screen has to show.
    void updateNoVideoMessage();
    void initVideoView(int file);
    void initPlayer(int file);
    void dropPlayer(int file);
    bool hasSecondMedia() const { return players_[1] != nullptr; }
    MVVideoPlayer* activeMediaPlayer() const { return players_[activeFile_].get(); }
    std::int64_t lengthOf(int file) const;
    void forEachPlayer(const std::function<void(MVVideoPlayer&)>& f);
    void layoutChildren();
    void seek(double seconds);
    void applyRate(float rate);
    void scrub(double delta);

    MVLapPtr lap_;
    QColor borderColor_;
    bool isReference_ = false;
    bool drivesCursor_ = false;
    platform::Observable<double> currentTime_{0.0};
    double positionToRemember_ = 0;
    bool didParsed_ = false;
    bool justLanched_ = false;
    int activeFile_ = 0;
    std::array<std::unique_ptr<MVVideoPlayer>, 2> players_;
    std::array<bool, 2> parsePending_{false, false};
    std::array<MVVideoSurface*, 2> surfaces_{nullptr, nullptr};
    MVTextField* noVideoLabel_ = nullptr;
    // A file is missing or cannot be read: the message stays.
    bool noVideo_ = false;
    float baseRate_ = 1;
    float appliedRate_ = 1;
    platform::Timer openTimer_;
};
