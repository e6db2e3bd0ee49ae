// The libvlc player's main-thread side: opening, playing, and the paused picture held from the
// still decoder. Every function here runs on the main thread.
#include "views/MVVlcPlayer.h"

#include "views/MVVideoPictureSize.h"
#include "views/MVVlcPlayerShared.h"

#include "platform/Clock.h"
#include "platform/Dispatch.h"

#include <vlc/vlc.h>

#include <algorithm>
#include <string>

namespace {

constexpr std::array<libvlc_event_e, 7> kPlayerEvents{
    libvlc_MediaPlayerTimeChanged,     libvlc_MediaPlayerBuffering, libvlc_MediaPlayerPlaying,
    libvlc_MediaPlayerPaused,          libvlc_MediaPlayerStopped,   libvlc_MediaPlayerEndReached,
    libvlc_MediaPlayerEncounteredError};

MVVideoPlayer::State engineState(libvlc_media_player_t* player) {
    return static_cast<MVVideoPlayer::State>(libvlc_media_player_get_state(player));
}

// The clockwise turn the engine shows a track with.
int rotationOf(libvlc_video_orient_t orientation) {
    switch (orientation) {
        case libvlc_video_orient_left_bottom:
            return 90;
        case libvlc_video_orient_bottom_right:
            return 180;
        case libvlc_video_orient_right_top:
            return 270;
        case libvlc_video_orient_left_top:  // mirrored ones: as wide as they are turned
        case libvlc_video_orient_right_bottom:
            return 90;
        default:
            return 0;
    }
}

// Each film's engine decodes with a few threads, not one per core, so that two films of large
// video fit in an ordinary laptop's memory.
void addMediaOptions(libvlc_media_t* media) {
    if (!media) return;
    const std::string threads = ":avcodec-threads=" + std::to_string(MVVlcPlayer::kEngineThreads);
    libvlc_media_add_option(media, threads.c_str());
}

}  // namespace

MVVlcPlayer::MVVlcPlayer() : shared_(std::make_shared<Shared>()) {
    shared_->owner = this;
    shared_->weakSelf = shared_;
}

MVVlcPlayer::~MVVlcPlayer() {
    shared_->owner = nullptr;
    release();
}

void MVVlcPlayer::release() {
    stillDecoder_.reset();  // waits for the decoder's thread
    Shared& s = *shared_;
    if (s.player) {
        libvlc_event_manager_t* em = libvlc_media_player_event_manager(s.player);
        for (libvlc_event_e type : kPlayerEvents) {
            libvlc_event_detach(em, type, &Shared::playerEvent, &s);
        }
        libvlc_media_player_stop(s.player);  // waits for the engine's threads on this player
        libvlc_media_player_release(s.player);
        s.player = nullptr;
    }
    if (s.media) {
        libvlc_event_detach(libvlc_media_event_manager(s.media), libvlc_MediaParsedChanged,
                            &Shared::mediaEvent, &s);
        libvlc_media_parse_stop(s.media);
        libvlc_media_release(s.media);
        s.media = nullptr;
    }
}

void MVVlcPlayer::setCallbacks(Callbacks callbacks) {
    callbacks_ = std::move(callbacks);
}

void MVVlcPlayer::open(const std::filesystem::path& file, std::chrono::milliseconds limit) {
    stop();
    release();
    path_ = file;
    wantPaused_ = false;
    length_ = 0;
    videoSize_ = QSize();
    parsedReported_ = false;
    parsesAsked_ = 1;
    parseStatus_.reset();
    decoderOpened_ = false;
    lateMp4_ = false;
    withoutPicture_ = false;
    stillUnreadable_ = false;
    videoStartMs_ = 0;
    Shared& s = *shared_;
    s.shownWidth = 0;
    s.shownHeight = 0;
    s.noPicture = false;
    libvlc_instance_t* instance = MVVlcEngineInstance();
    if (instance) s.media = libvlc_media_new_path(instance, file.c_str());
    addMediaOptions(s.media);
    if (s.media) s.player = libvlc_media_player_new_from_media(s.media);
    if (!s.player) {
        Shared::toOwner(&s,
                        [](MVVlcPlayer& o) { o.handleParsed(libvlc_media_parsed_status_failed); });
        return;
    }
    std::weak_ptr<Shared> weak = shared_;
    stillDecoder_ = std::make_unique<MVVideoStillDecoder>(
        file, kMaxFrameWidth,
        [weak](MVVideoStillDecoder::Still still) {
            std::shared_ptr<Shared> shared = weak.lock();
            if (!shared) return;
            Shared::toOwner(shared.get(),
                            [still = std::move(still)](MVVlcPlayer& o) { o.handleStill(still); });
        },
        [weak](MVVideoStillDecoder::Facts facts) {
            std::shared_ptr<Shared> shared = weak.lock();
            if (!shared) return;
            Shared::toOwner(shared.get(), [facts](MVVlcPlayer& o) { o.handleOpened(facts); });
        });
    libvlc_video_set_callbacks(s.player, &Shared::lock, &Shared::unlock, &Shared::display, &s);
    libvlc_video_set_format_callbacks(s.player, &Shared::setup, &Shared::cleanup);
    libvlc_event_manager_t* em = libvlc_media_player_event_manager(s.player);
    for (libvlc_event_e type : kPlayerEvents) {
        libvlc_event_attach(em, type, &Shared::playerEvent, &s);
    }
    libvlc_event_attach(libvlc_media_event_manager(s.media), libvlc_MediaParsedChanged,
                        &Shared::mediaEvent, &s);
    const int timeout = limit.count() > 0 ? static_cast<int>(limit.count()) : -1;
    if (libvlc_media_parse_with_options(s.media, libvlc_media_parse_local, timeout) != 0) {
        Shared::toOwner(&s,
                        [](MVVlcPlayer& o) { o.handleParsed(libvlc_media_parsed_status_failed); });
    }
}

void MVVlcPlayer::readMediaFacts() {
    Shared& s = *shared_;
    length_ = std::max<std::int64_t>(0, libvlc_media_get_duration(s.media));
    libvlc_media_track_t** tracks = nullptr;
    const unsigned count = libvlc_media_tracks_get(s.media, &tracks);
    for (unsigned i = 0; i < count; ++i) {
        if (tracks[i]->i_type == libvlc_track_video && tracks[i]->video) {
            const libvlc_video_track_t& video = *tracks[i]->video;
            videoSize_ = QSize(int(video.i_width), int(video.i_height));
            const QSize shown = MVVideoPictureSize::shown(
                videoSize_, rotationOf(video.i_orientation), kMaxFrameWidth);
            s.shownWidth = shown.width();
            s.shownHeight = shown.height();
            if (video.i_frame_rate_num > 0 && video.i_frame_rate_den > 0) {
                frameRate_ = double(video.i_frame_rate_num) / video.i_frame_rate_den;
            }
            break;
        }
    }
    if (tracks) libvlc_media_tracks_release(tracks, count);
}

// The parse event goes with the media (a parse of the fresh one is reported as the old one's).
bool MVVlcPlayer::replaceMedia(const char* option) {
    Shared& s = *shared_;
    libvlc_instance_t* instance = MVVlcEngineInstance();
    if (!s.media || !s.player || !instance) return false;
    libvlc_media_t* fresh = libvlc_media_new_path(instance, path_.c_str());
    if (!fresh) return false;
    addMediaOptions(fresh);
    if (option) libvlc_media_add_option(fresh, option);
    libvlc_event_detach(libvlc_media_event_manager(s.media), libvlc_MediaParsedChanged,
                        &Shared::mediaEvent, &s);
    libvlc_media_player_set_media(s.player, fresh);
    libvlc_media_release(s.media);
    s.media = fresh;
    libvlc_event_attach(libvlc_media_event_manager(s.media), libvlc_MediaParsedChanged,
                        &Shared::mediaEvent, &s);
    return true;
}

// Slow, not failed (a large file, a busy disk, a network share): parsing goes on with no limit
// (0; the engine reads -1 as its own limit of a few seconds). The engine parses a media once, so a
// fresh media of the file takes the place of the old one.
bool MVVlcPlayer::reparse() {
    Shared& s = *shared_;
    if (!replaceMedia()) return false;
    ++parsesAsked_;
    return libvlc_media_parse_with_options(s.media, libvlc_media_parse_local, 0) == 0;
}

void MVVlcPlayer::handleOpened(MVVideoStillDecoder::Facts facts) {
    decoderOpened_ = true;
    stillUnreadable_ = facts.unreadable;
    videoStartMs_ = facts.videoStartMs;
    lateMp4_ = facts.mp4 && facts.videoStartMs > kLateVideoStartMs;
    if (const std::optional<int> status = std::exchange(parseStatus_, std::nullopt)) {
        handleParsed(*status);
    }
}

void MVVlcPlayer::handleParsed(int status) {
    if (parsedReported_) return;
    if (status == libvlc_media_parsed_status_timeout && reparse()) return;
    // Reported once the still decoder has also opened the file (a file that cannot be played
    // is reported at once).
    if (!decoderOpened_ && stillDecoder_ && shared_->media) {
        parseStatus_ = status;
        return;
    }
    parsedReported_ = true;
    bool ok = false;
    if (shared_->media && status == libvlc_media_parsed_status_done) {
        readMediaFacts();
        ok = length_ > 0;
    }
    // Before the engine ever plays it (the facts above are the parsed media's).
    if (ok && lateMp4_) replaceMedia(":demux=avformat,any");
    if (callbacks_.parsed) callbacks_.parsed(ok);
}

void MVVlcPlayer::handleTime(std::int64_t ms, std::chrono::steady_clock::time_point at) {
    // At rest the engine's reports are not the picture's.
    if (wantPaused_) return;
    if (shared_->resuming.load()) return;
    lastTime_ = ms;
    // The time was the engine's when it reported it, before the report waited its turn here.
    lastReportAt_ =
        platform::Clock::steadyNow() - std::max(std::chrono::steady_clock::duration::zero(),
                                                std::chrono::steady_clock::now() - at);
    if (callbacks_.timeChanged) callbacks_.timeChanged(ms);
}

void MVVlcPlayer::handlePicture() {
    if (!shared_->resuming.load() && seek_.resumeAnchor >= 0) {
        // The engine's pictures took over from the still: the playing time runs on from the
        // still's, from when the engine showed its first picture from there.
        lastTime_ = seek_.resumeAnchor;
        const std::chrono::steady_clock::time_point landed{
            std::chrono::steady_clock::duration(shared_->firstLandedPicture.load())};
        lastReportAt_ = platform::Clock::steadyNow() -
                        std::clamp(std::chrono::steady_clock::now() - landed,
                                   std::chrono::steady_clock::duration::zero(),
                                   std::chrono::steady_clock::duration(kResumeLimit));
        resumeLimitTimer_.cancel();
        seek_ = SeekState{};
    }
    if (callbacks_.frameReady) callbacks_.frameReady();
}

// ---- Playing ----

std::int64_t MVVlcPlayer::engineTime(std::int64_t ms) const {
    std::int64_t engineMs = ms + 1;
    if (length_ > 0) engineMs = std::min(engineMs, std::max<std::int64_t>(0, length_ - 1));
    return engineMs;
}

void MVVlcPlayer::play() {
    if (!shared_->player) return;
    wantPaused_ = false;
    playAsked_ = true;
    // A still under way is shown first, and play resumes from it.
    if (seek_.stillTarget >= 0) {
        seek_.playAfterStill = true;
        return;
    }
    playFrom(seek_.heldFrom >= 0 ? seek_.heldFrom : seek_.pendingSeek);
}

void MVVlcPlayer::playFrom(std::int64_t from) {
    Shared& s = *shared_;
    seek_.playAfterStill = false;
    // Without a still to resume from, the engine's pictures show as they come.
    if (from < 0) s.holding = false;
    const State now = engineState(s.player);
    if ((now == Playing || now == Paused || now == Buffering) && s.started.load()) {
        seek_.pendingSeek = -1;
        if (from >= 0) return resumeFrom(from);
        // Also when playing: a pause asked for just now may not have been taken yet.
        libvlc_media_player_set_pause(s.player, 0);
        return;
    }
    seek_.pendingSeek = from;  // made once the engine has started
    if (now == Opening) return;
    if (now == Playing || now == Paused || now == Buffering) {
        libvlc_media_player_set_pause(s.player, 0);
        return;
    }
    if (now == Ended || now == Error) libvlc_media_player_stop(s.player);
    startEngine();
}

void MVVlcPlayer::resumeFrom(std::int64_t ms) {
    Shared& s = *shared_;
    // The engine plays from about now: its time runs on from the still's once it has landed.
    lastTime_ = ms;
    lastReportAt_ = platform::Clock::steadyNow();
    // Without a still on screen there is nothing to wait for: the engine's pictures show.
    s.refilling = false;
    // An engine that was sent there while paused has nothing to refill: it plays on at once.
    const bool there = seek_.engineAt == ms && engineState(s.player) == Paused;
    s.landed = there;
    s.landedPictures = 0;
    s.pacedGap = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double, std::milli>(std::max(4.0, 500.0 / frameRate_ / rate_)));
    s.resuming = s.holding.load();
    followTimer_.cancel();
    if (!there) libvlc_media_player_set_time(s.player, engineTime(ms));
    libvlc_media_player_set_pause(s.player, 0);
    if (!s.resuming.load()) return;
    seek_.resumeAnchor = ms;
    resumeLimitTimer_.start(kResumeLimit, false, platform::mainQueue(),
                            [this] { resetSeekState(); });
}

void MVVlcPlayer::followStill(std::int64_t ms) {
    followTimer_.start(kEngineFollowDelay, false, platform::mainQueue(), [this, ms] {
        Shared& s = *shared_;
        if (!wantPaused_ || seek_.heldFrom != ms || seek_.stillTarget >= 0 || !s.started.load() ||
            engineState(s.player) != Paused) {
            return;
        }
        libvlc_media_player_set_time(s.player, engineTime(ms));
        seek_.engineAt = ms;
    });
}

void MVVlcPlayer::startEngine() {
    seek_.engineAt = -1;
    followTimer_.cancel();
    shared_->started = false;
    libvlc_media_player_play(shared_->player);
}

// A play or seek asked for before the engine ran is made once it has filled its buffers.
void MVVlcPlayer::handleStarted() {
    Shared& s = *shared_;
    if (!s.player) return;
    if (wantPaused_) {
        // A paused seek without a still (the still decoder cannot read the file) is the engine's.
        if (const std::int64_t at = std::exchange(seek_.pendingSeek, -1); at >= 0) {
            libvlc_media_player_set_time(s.player, engineTime(at));
        }
        libvlc_media_player_set_pause(s.player, 1);
        return;
    }
    if (const std::int64_t from = std::exchange(seek_.pendingSeek, -1); from >= 0) resumeFrom(from);
}

void MVVlcPlayer::pause() {
    Shared& s = *shared_;
    if (!s.player) return;
    wantPaused_ = true;
    playAsked_ = false;
    seek_.playAfterStill = false;
    // The picture showing stays: the frames the engine shows until it takes the pause are not.
    s.holding = true;
    if (s.resuming.exchange(false)) resumeLimitTimer_.cancel();
    // A media still opening pauses once it runs (handleState).
    if (libvlc_media_player_can_pause(s.player)) libvlc_media_player_set_pause(s.player, 1);
}

void MVVlcPlayer::stop() {
    resetSeekState();
    playAsked_ = false;
    shared_->started = false;
    if (shared_->player) libvlc_media_player_stop(shared_->player);
}

void MVVlcPlayer::resetSeekState(bool holdPicture) {
    ++stillRequest_;
    seek_ = SeekState{};
    resumeLimitTimer_.cancel();
    followTimer_.cancel();
    shared_->resuming = false;
    shared_->holding = holdPicture;
}

void MVVlcPlayer::handleState(State state) {
    Shared& s = *shared_;
    if (state == Playing) {
        // The engine forgets a mute asked for before its sound output was made.
        applyMute();
        if (wantPaused_) {  // paused while it was opening
            libvlc_media_player_set_pause(s.player, 1);
            return;
        }
    }
    if (state == Paused && s.resuming.load()) return;  // the seek of a resume
    if (callbacks_.stateChanged) callbacks_.stateChanged(state);
}

// Playing as the caller sees it: asked to play and not paused, stopped or ended since, also while
// the engine is still opening, buffering, or taking the play in.
bool MVVlcPlayer::isPlaying() const {
    if (!shared_->player || wantPaused_ || !playAsked_) return false;
    const State now = engineState(shared_->player);
    return now != Ended && now != Error;
}

MVVideoPlayer::State MVVlcPlayer::state() const {
    if (!shared_->player) return NothingSpecial;
    const State now = engineState(shared_->player);
    if (wantPaused_ && (now == Opening || now == Buffering || now == Playing)) return Paused;
    return now;
}

// The engine reports its time a few times a second: in between, a playing engine's time runs on
// at its rate from the last report.
std::int64_t MVVlcPlayer::time() const {
    if (!lastReportAt_ || !isPlaying() || shared_->resuming.load()) return lastTime_;
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
        platform::Clock::steadyNow() - *lastReportAt_);
    const auto ms = lastTime_ + std::int64_t(double(since.count()) * rate_);
    return length_ > 0 ? std::min(ms, length_) : ms;
}

std::int64_t MVVlcPlayer::length() const {
    return length_;
}

QSize MVVlcPlayer::videoSize() const {
    return videoSize_;
}

void MVVlcPlayer::setTime(std::int64_t ms) {
    Shared& s = *shared_;
    if (!s.player) return;
    ms = std::max<std::int64_t>(0, ms);
    if (length_ > 0) ms = std::min(ms, length_);
    lastTime_ = ms;
    lastReportAt_.reset();
    if (!isPlaying()) return requestStill(ms);
    // Playing on from there: no still is waited for, nor held.
    resetSeekState();
    playFrom(ms);
}

void MVVlcPlayer::setRate(float rate) {
    if (lastReportAt_) {
        lastTime_ = time();
        lastReportAt_ = platform::Clock::steadyNow();
    }
    rate_ = rate;
    if (shared_->player) libvlc_media_player_set_rate(shared_->player, rate);
}

void MVVlcPlayer::setMuted(bool muted) {
    muted_ = muted;
    applyMute();
}

void MVVlcPlayer::applyMute() {
    if (shared_->player) libvlc_audio_set_mute(shared_->player, muted_ ? 1 : 0);
}

void MVVlcPlayer::adjust(int option, float value) {
    if (!shared_->player) return;
    libvlc_video_set_adjust_int(shared_->player, libvlc_adjust_Enable, 1);
    libvlc_video_set_adjust_float(shared_->player, static_cast<unsigned>(option), value);
}

void MVVlcPlayer::setContrast(float v) {
    adjust(libvlc_adjust_Contrast, v);
}
void MVVlcPlayer::setBrightness(float v) {
    adjust(libvlc_adjust_Brightness, v);
}
void MVVlcPlayer::setHue(float v) {
    adjust(libvlc_adjust_Hue, v);
}
void MVVlcPlayer::setSaturation(float v) {
    adjust(libvlc_adjust_Saturation, v);
}
void MVVlcPlayer::setGamma(float v) {
    adjust(libvlc_adjust_Gamma, v);
}

QImage MVVlcPlayer::frame() const {
    std::lock_guard guard(shared_->mutex);
    return shared_->frame;
}

// ---- The paused picture ----

void MVVlcPlayer::requestStill(std::int64_t ms) {
    Shared& s = *shared_;
    const bool withStill = stillDecoder_ && !stillUnreadable_ && !videoSize_.isEmpty();
    // A newer seek takes the place of every one before; until its still comes the picture
    // showing stays (the paused engine shows its own again now and then).
    resetSeekState(withStill);
    if (!withStill) {
        // No still to be had: the engine seeks, if it runs, and shows what it shows.
        if (s.started.load()) {
            libvlc_media_player_set_time(s.player, engineTime(ms));
        } else {
            seek_.pendingSeek = ms;  // once the engine has started
        }
        return;
    }
    seek_.stillTarget = ms;
    stillDecoder_->request(stillRequest_, ms);
}

// Only the answer to the last request is taken: its picture is the frame at or before the time.
void MVVlcPlayer::handleStill(MVVideoStillDecoder::Still still) {
    Shared& s = *shared_;
    if (still.request != stillRequest_ || seek_.stillTarget < 0) return;
    seek_.stillTarget = -1;
    const bool playAfter = seek_.playAfterStill && !wantPaused_;
    if (still.unreadable) {
        stillUnreadable_ = true;
        requestStill(still.targetMs);
        if (playAfter) playFrom(still.targetMs);
        return;
    }
    // No frame to be had (none readable): nothing shows, and play goes on from there.
    seek_.heldFrom = still.targetMs;
    withoutPicture_ = !still.ok();
    s.noPicture = withoutPicture_;
    {
        std::lock_guard guard(s.mutex);
        // Past the last frame, play resumes from that frame (the engine has nothing after it).
        if (still.ok() && still.pastReadableEnd) seek_.heldFrom = still.ms;
        s.frame = std::move(still.picture);
    }
    if (playAfter) {
        if (callbacks_.frameReady) callbacks_.frameReady();
        return playFrom(seek_.heldFrom);
    }
    if (!withoutPicture_) followStill(seek_.heldFrom);
    if (callbacks_.frameReady) callbacks_.frameReady();
}
