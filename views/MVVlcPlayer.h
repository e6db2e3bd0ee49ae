#pragma once

#include "views/MVVideoPlayer.h"
#include "views/MVVideoStillDecoder.h"

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
// Playing is the engine's. A paused picture is not: the engine gives no time for the picture it
// shows, and streams with reordered frames leave it a few frames early. A seek while paused (or
// before playing began) asks the film's still decoder (MVVideoStillDecoder, FFmpeg's libraries)
// for the frame at or before the time, by its presentation time, and holds that picture on
// screen; a newer seek drops an older one still under way. Play resumes the engine from the held
// frame's time, and the held picture stays until the engine shows that frame itself (or one just
// after, when it dropped a few as late).
// A seek while playing goes on playing from there. A file the still decoder cannot read is
// seeked by the engine itself.
//
// Threads: the public operations are main thread only (MVVlcPlayer.cpp). The engine reports on
// threads of its own (MVVlcPlayerEngine.cpp): those callbacks only store what they were told and
// queue the rest to the main queue; the engine is never called from them. The still decoder
// works on its own thread and hands its picture to the main queue. Destroying the player stops
// the engine's work and the decoder's first (this blocks until their threads leave), and reports
// still queued for a destroyed player are dropped.
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
    bool isSeeking() const override { return stillTarget_ >= 0; }
    // Play resuming from a still whose engine shows no picture from there within this time shows
    // the engine's pictures again.
    static constexpr std::chrono::milliseconds kResumeLimit{1000};
    // Larger pictures are scaled down to this width before they reach the player.
    static constexpr int kMaxFrameWidth = 1280;

    struct Shared;

    // For tests:
    // Arguments of the process's engine instance; only calls made before the first player is
    // opened have an effect.
    static void setInstanceArguments(std::vector<std::string> arguments);
    // Whether the engine could be started (false when its plug-ins are missing).
    static bool isEngineAvailable();
    // How many parses of the file were asked for since it was opened.
    int parsesAsked() const { return parsesAsked_; }

  private:
    void release();
    void readMediaFacts();
    void handleParsed(int status);
    bool reparse();
    void handleTime(std::int64_t ms);
    void handlePicture();
    // The engine has filled its buffers for the first time since it was started.
    void handleStarted();
    void startEngine();
    // Plays the engine from `from` (-1: from where it is), starting it if need be.
    void playFrom(std::int64_t from);
    void handleState(State state);
    // The engine's time for a file time: given the next millisecond, it shows the frame at or
    // before `ms`.
    std::int64_t engineTime(std::int64_t ms) const;
    // A paused seek: the still decoder's picture, or the engine's own seek without one.
    void requestStill(std::int64_t ms);
    void handleStill(MVVideoStillDecoder::Still still);
    // Plays the engine on from `ms`, the still held until its first picture from there.
    void resumeFrom(std::int64_t ms);
    void handleResumeLimit();
    // Forgets every seek: waiting, under way, resuming, or held.
    void resetSeekState();
    void adjust(int option, float value);
    void applyMute();

    std::shared_ptr<Shared> shared_;
    std::filesystem::path path_;
    Callbacks callbacks_;
    std::int64_t length_ = 0;
    QSize videoSize_;
    std::int64_t lastTime_ = 0;
    // When the engine last reported its time while playing, and the rate it plays at.
    std::optional<platform::TimePoint> lastReportAt_;
    float rate_ = 1;
    bool parsedReported_ = false;
    int parsesAsked_ = 0;
    bool muted_ = false;
    // What the caller asked for last: pause (or a seek of a stopped media) or play.
    bool wantPaused_ = false;
    bool playAsked_ = false;
    // Play was asked for while a still was under way: it resumes from that still once shown.
    bool playAfterStill_ = false;
    // The still's time a resumed play runs on from, once the engine shows its frame (-1: none).
    std::int64_t resumeAnchor_ = -1;
    std::unique_ptr<MVVideoStillDecoder> stillDecoder_;
    bool stillFailed_ = false;
    // The number of the last still asked for (older answers are dropped), the time of the one
    // under way (-1: none), and the time of the still on screen (-1: none).
    std::uint64_t stillRequest_ = 0;
    std::int64_t stillTarget_ = -1;
    std::int64_t heldTarget_ = -1;
    // The time to play from once the engine has started (-1: where it is).
    std::int64_t pendingSeek_ = -1;
    platform::Timer resumeLimitTimer_;
};
