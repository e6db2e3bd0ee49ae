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
// for the frame at or before the time, by its presentation time on the file's clock (the one the
// engine plays by), and holds that picture on screen; a newer seek drops an older one still under
// way. Past the readable part of a file cut short the still is its last readable frame, and play
// resumes from there; a file of which no frame is readable at all (cut short before its first
// whole picture) has no picture: nothing shows, and hasNoReadablePicture() says so. Play resumes
// the engine from the held frame's time, and the held picture stays until the engine plays from
// there: once it has refilled its buffers after the seek, it first shows at once the frames it
// decoded before that time, then plays on at the film's pace, and the first picture at that pace
// takes over. A still that stays on screen a moment (kEngineFollowDelay) sends the paused engine
// to its time as well, hidden behind it: the engine then has the frames before it decoded when
// Play comes, and plays on from the still at once. Pause freezes the picture showing at once:
// nothing the engine shows after it replaces it. A seek while playing goes on playing from there. A
// file the still decoder cannot open is seeked by the engine itself.
//
// The engine's own MP4 reader seeks a file whose video starts after the file's time 0 (an edit
// list that begins with an empty edit, as cameras write video that starts after the sound) to the
// wrong place: it takes the seek time through the edit list's video part as if that part began at
// time 0, and lands up to the empty edit's length late. Such a file is played through the engine's
// FFmpeg reader, which seeks it to the right frame. The still decoder, which opens the file while
// the engine parses it, tells which files these are: the parse is reported once both are done.
//
// Both pictures, paused and playing, have the shape the video is shown with
// (MVVideoPictureSize): the frame's own width and height (the engine's decoders hand over a few
// padding lines, which are never part of it), turned upright for a stream shown rotated.
//
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
    bool isSeeking() const override { return seek_.stillTarget >= 0; }
    bool hasNoReadablePicture() const override { return withoutPicture_; }
    // Play resuming from a still whose engine has not said where it landed within this time
    // shows the engine's pictures again.
    static constexpr std::chrono::milliseconds kResumeLimit{1000};
    // A still on screen this long sends the paused engine to its time (a scrub's stills come
    // faster, and the engine does not decode them all beside the still decoder).
    static constexpr std::chrono::milliseconds kEngineFollowDelay{100};
    // An MP4 file whose first frame comes this late on the file's clock is one the engine's MP4
    // reader seeks wrongly.
    static constexpr std::int64_t kLateVideoStartMs = 80;
    // The engine's decoding threads for each film (its own default is one per core).
    static constexpr int kEngineThreads = 4;
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
    // Whether the paused engine has been sent to the still on screen (kEngineFollowDelay).
    bool engineFollowsStill() const { return seek_.engineAt >= 0; }

  private:
    void release();
    void readMediaFacts();
    void handleParsed(int status);
    // The still decoder has opened the file (or found it unreadable).
    void handleOpened(MVVideoStillDecoder::Facts facts);
    // A fresh media of the file, with the film's options and `option` (if any), takes the place of
    // the player's media; false when none could be made.
    bool replaceMedia(const char* option = nullptr);
    bool reparse();
    // `at`: when the engine reported it.
    void handleTime(std::int64_t ms, std::chrono::steady_clock::time_point at);
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
    // Sends the paused engine to the still's time `ms` once it has been on screen a moment.
    void followStill(std::int64_t ms);
    // Forgets every seek: waiting, under way, resuming, or held; the picture showing stays on
    // screen with `holdPicture` (else the engine's next picture replaces it).
    void resetSeekState(bool holdPicture = false);
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
    // The engine's parse ended before the still decoder opened the file: its status, reported
    // once the decoder has.
    std::optional<int> parseStatus_;
    bool decoderOpened_ = false;
    // An MP4 file whose video starts late: the engine reads it with its FFmpeg reader.
    bool lateMp4_ = false;
    // No frame of the file is readable (from the stills): the engine's pictures are not shown
    // either.
    bool withoutPicture_ = false;
    int parsesAsked_ = 0;
    bool muted_ = false;
    // What the caller asked for last: pause (or a seek of a stopped media) or play.
    bool wantPaused_ = false;
    bool playAsked_ = false;
    std::unique_ptr<MVVideoStillDecoder> stillDecoder_;
    // The still decoder cannot open the file: the engine seeks by itself.
    bool stillUnreadable_ = false;
    // The number of the last still asked for: older answers are dropped.
    std::uint64_t stillRequest_ = 0;
    // When the video's first frame is, on the file's clock (from the still decoder), and its
    // frames per second (from the media).
    std::int64_t videoStartMs_ = 0;
    double frameRate_ = 25;
    // Where the seeks stand, with the picture flags of Shared (holding, resuming); reset whole by
    // resetSeekState(). Times are ms of the file's clock, -1 for none.
    struct SeekState {
        std::int64_t stillTarget = -1;   // the still under way
        std::int64_t heldFrom = -1;      // the still on screen: play resumes from this time
        std::int64_t pendingSeek = -1;   // the time to play from once the engine has started
        std::int64_t resumeAnchor = -1;  // a resumed play's time, until the engine shows it
        bool playAfterStill = false;     // play was asked while a still was under way
        std::int64_t engineAt = -1;      // the paused engine was sent to this still's time
    };
    SeekState seek_;
    platform::Timer resumeLimitTimer_;
    platform::Timer followTimer_;
};
