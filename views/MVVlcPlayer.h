#pragma once

#include "views/MVVideoPlayer.h"

#include <memory>
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
class MVVlcPlayer final : public MVVideoPlayer {
  public:
    MVVlcPlayer();
    ~MVVlcPlayer() override;
    MVVlcPlayer(const MVVlcPlayer&) = delete;
    MVVlcPlayer& operator=(const MVVlcPlayer&) = delete;

    // Arguments of the process's engine instance; only calls made before the first player is
    // opened have an effect.
    static void setInstanceArguments(std::vector<std::string> arguments);
    // Whether the engine could be started (false when its plug-ins are missing).
    static bool isEngineAvailable();

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
    // Whether a seek made while paused is still running on to its time.
    bool isSeeking() const { return seekTarget_ >= 0 || pauseOnPicture_; }

    struct Shared;

  private:
    void release();
    void readMediaFacts();
    void handleParsed(int status);
    void handleTime(std::int64_t ms);
    void handlePicture();
    void pauseNow();
    // Seeks a started media; with thenPause it comes to rest on the picture of that time.
    void seekRunning(std::int64_t ms, bool thenPause);
    void handleState(State state);
    void adjust(int option, float value);

    std::shared_ptr<Shared> shared_;
    Callbacks callbacks_;
    std::int64_t length_ = 0;
    QSize videoSize_;
    std::int64_t lastTime_ = 0;
    bool parsedReported_ = false;
    // A seek asked for while the engine cannot seek (not started yet, or stopped at the end):
    // applied when it plays again, then paused unless play() was asked for meanwhile.
    std::int64_t pendingSeek_ = -1;
    // What the caller asked for last: pause (or a seek of a stopped media) or play.
    bool wantPaused_ = false;
    // The last seek, until a picture of it has been shown (-1: none under way), and whether a
    // time report has confirmed it. Reports within the window of the target count.
    static constexpr std::int64_t kSeekWindow = 1000;
    std::int64_t seekTarget_ = -1;
    bool seekReached_ = false;
    // A pause asked for while a seek is under way: taken once its picture is shown.
    bool pauseOnPicture_ = false;
};
