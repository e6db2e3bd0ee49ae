#pragma once

#include "views/MVVideoPlayer.h"

#include "platform/Clock.h"
#include "platform/Dispatch.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// The video player over libvlc 3. One engine instance serves the whole process; it is made on the
// first use with the arguments given to setInstanceArguments (tests start it without audio
// output). Pictures come through the engine's memory callbacks as 32-bit RGB into a QImage, so
// they show on any Qt platform, offscreen included.
//
// Main thread only. The engine reports on threads of its own: those callbacks only store what
// they were told and queue the rest to the main queue; the engine is never called from them.
// Destroying the player stops the engine's work on it first (this blocks until its threads
// leave), and reports still queued for a destroyed player are dropped.
//
// Seeking. The engine seeks exactly (from the key frame before, decoding up to the time), but
// the time reports are too coarse to tell which picture is on screen, and pictures decoded
// before a seek may still come out after it. So a seek made while paused (or asked for before
// the engine ran) is judged from the pictures themselves: a playing engine is paused and its
// last pictures let out first; the seek is made at rest, and the picture taken is one drawn
// after the seek's buffering ended that the resting engine shows twice in a row (it shows its
// picture again every few tens of ms), other than the one before unless that may well be the
// frame asked for. An engine that shows no such picture is run on, muted, to its next new
// picture. The picture is held on screen and the engine paused; play resumes from the held
// frame. A seek while playing goes on playing from there.
class MVVlcPlayer final : public MVVideoPlayer {
  public:
    MVVlcPlayer();
    ~MVVlcPlayer() override;
    MVVlcPlayer(const MVVlcPlayer&) = delete;
    MVVlcPlayer& operator=(const MVVlcPlayer&) = delete;

    void setCallbacks(Callbacks callbacks) override;
    void open(const std::filesystem::path& file, std::chrono::milliseconds limit) override;
    std::int64_t length() const override;
    QSize videoSize() const override;

    void play() override;
    void pause() override;
    void stop() override;
    bool isPlaying() const override;
    State state() const override;
    std::int64_t time() const override;
    void setTime(std::int64_t ms) override;
    void setRate(float rate) override;
    void setMuted(bool muted) override;
    void setContrast(float value) override;
    void setBrightness(float value) override;
    void setHue(float value) override;
    void setSaturation(float value) override;
    void setGamma(float value) override;

    QImage frame() const override;
    bool isSeeking() const override { return seekTarget_ >= 0 || pendingSeek_ >= 0; }
    // A seek's picture that has not come within this time is given up: the engine pauses where
    // it is.
    static constexpr std::chrono::milliseconds kSeekLimit{2000};
    // A paused engine that has not shown the seek's picture by then is run to it.
    static constexpr std::chrono::milliseconds kPausedSeekLimit{300};
    // A seek asked for while the engine plays is made this long (or three frames) after it paused.
    static constexpr std::chrono::milliseconds kPauseSettle{100};

    struct Shared;

    // For tests:
    // Arguments of the process's engine instance; only calls made before the first player is
    // opened have an effect.
    static void setInstanceArguments(std::vector<std::string> arguments);
    // Whether the engine could be started (false when its plug-ins are missing).
    static bool isEngineAvailable();

  private:
    void release();
    void readMediaFacts();
    void handleParsed(int status);
    bool reparse();
    void handleTime(std::int64_t ms);
    void handlePicture();
    // The picture of the running paused seek is held (or its time limit passed).
    void handleSeekPicture(std::uint64_t run);
    void runToSeekPicture(std::uint64_t run);
    // The engine rests: the seek is made.
    void seekResting(std::uint64_t run);
    // The engine has filled its buffers for the first time since it was started.
    void handleStarted();
    void startEngine();
    // Seeks a started media; paused, it comes to rest on the picture of that time.
    void seekRunning(std::int64_t ms, bool paused);
    void handleState(State state);
    void adjust(int option, float value);
    void applyMute();

    std::shared_ptr<Shared> shared_;
    std::filesystem::path path_;
    Callbacks callbacks_;
    std::int64_t length_ = 0;
    QSize videoSize_;
    // One frame's time (ms), from the video track's rate.
    std::int64_t frameInterval_ = 40;
    std::int64_t lastTime_ = 0;
    // When the engine last reported its time while playing, and the rate it plays at.
    std::optional<platform::TimePoint> lastReportAt_;
    float rate_ = 1;
    bool parsedReported_ = false;
    bool muted_ = false;
    // A seek asked for while the engine cannot seek (not started yet, or stopped at the end):
    // applied once it runs, paused unless play() was asked for meanwhile.
    std::int64_t pendingSeek_ = -1;
    // What the caller asked for last: pause (or a seek of a stopped media) or play.
    bool wantPaused_ = false;
    // The paused seek running to its picture (-1: none), a later one waiting for it to end (-1:
    // none), and the engine time of the frame held at rest (-1: no frame held).
    std::int64_t seekTarget_ = -1;
    std::int64_t nextSeek_ = -1;
    std::int64_t restEngineMs_ = -1;
    // The engine time of the last seek's picture, when known (-1: not known).
    std::int64_t shownEngineMs_ = -1;
    platform::Timer seekLimitTimer_;
};
