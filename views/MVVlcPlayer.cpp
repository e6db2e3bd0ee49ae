// The libvlc player's main-thread side: opening, playing, and the paused picture held from the
// still decoder. Every function here runs on the main thread.
#include "views/MVVlcPlayer.h"

#include "views/MVVlcPlayerShared.h"

#include "platform/Clock.h"
#include "platform/Dispatch.h"

#include <vlc/vlc.h>

#include <algorithm>

namespace {

constexpr std::array<libvlc_event_e, 7> kPlayerEvents{
    libvlc_MediaPlayerTimeChanged,     libvlc_MediaPlayerBuffering, libvlc_MediaPlayerPlaying,
    libvlc_MediaPlayerPaused,          libvlc_MediaPlayerStopped,   libvlc_MediaPlayerEndReached,
    libvlc_MediaPlayerEncounteredError};

MVVideoPlayer::State engineState(libvlc_media_player_t* player) {
    return static_cast<MVVideoPlayer::State>(libvlc_media_player_get_state(player));
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
    stillFailed_ = false;
    Shared& s = *shared_;
    libvlc_instance_t* instance = MVVlcEngineInstance();
    if (instance) s.media = libvlc_media_new_path(instance, file.c_str());
    if (s.media) s.player = libvlc_media_player_new_from_media(s.media);
    if (!s.player) {
        Shared::toOwner(&s,
                        [](MVVlcPlayer& o) { o.handleParsed(libvlc_media_parsed_status_failed); });
        return;
    }
    std::weak_ptr<Shared> weak = shared_;
    stillDecoder_ = std::make_unique<MVVideoStillDecoder>(
        file, kMaxFrameWidth, [weak](MVVideoStillDecoder::Still still) {
            std::shared_ptr<Shared> shared = weak.lock();
            if (!shared) return;
            Shared::toOwner(shared.get(),
                            [still = std::move(still)](MVVlcPlayer& o) { o.handleStill(still); });
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
            s.visibleWidth = videoSize_.width();
            s.visibleHeight = videoSize_.height();
            break;
        }
    }
    if (tracks) libvlc_media_tracks_release(tracks, count);
}

// Slow, not failed (a large file, a busy disk, a network share): parsing goes on with no limit
// (0; the engine reads -1 as its own limit of a few seconds). The engine parses a media once, so a
// fresh media of the file takes the place of the old one.
bool MVVlcPlayer::reparse() {
    Shared& s = *shared_;
    libvlc_instance_t* instance = MVVlcEngineInstance();
    if (!s.media || !s.player || !instance) return false;
    libvlc_media_t* fresh = libvlc_media_new_path(instance, path_.c_str());
    if (!fresh) return false;
    libvlc_event_detach(libvlc_media_event_manager(s.media), libvlc_MediaParsedChanged,
                        &Shared::mediaEvent, &s);
    libvlc_media_player_set_media(s.player, fresh);
    libvlc_media_release(s.media);
    s.media = fresh;
    libvlc_event_attach(libvlc_media_event_manager(s.media), libvlc_MediaParsedChanged,
                        &Shared::mediaEvent, &s);
    ++parsesAsked_;
    return libvlc_media_parse_with_options(s.media, libvlc_media_parse_local, 0) == 0;
}

void MVVlcPlayer::handleParsed(int status) {
    if (parsedReported_) return;
    if (status == libvlc_media_parsed_status_timeout && reparse()) return;
    parsedReported_ = true;
    bool ok = false;
    if (shared_->media && status == libvlc_media_parsed_status_done) {
        readMediaFacts();
        ok = length_ > 0;
    }
    if (callbacks_.parsed) callbacks_.parsed(ok);
}

void MVVlcPlayer::handleTime(std::int64_t ms) {
    // At rest the engine's reports are not the picture's; nor while it seeks to resume.
    if (wantPaused_ || shared_->resuming.load()) return;
    lastTime_ = ms;
    lastReportAt_ = platform::Clock::steadyNow();
    if (callbacks_.timeChanged) callbacks_.timeChanged(ms);
}

void MVVlcPlayer::handlePicture() {
    if (!shared_->resuming.load()) {
        resumeLimitTimer_.cancel();
        // The engine shows the still's frame: the playing time runs on from the still's.
        if (const std::int64_t from = std::exchange(resumeAnchor_, -1); from >= 0) {
            lastTime_ = from;
            lastReportAt_ = platform::Clock::steadyNow();
        }
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
    if (stillTarget_ >= 0) {
        playAfterStill_ = true;
        return;
    }
    playFrom(heldTarget_ >= 0 ? heldTarget_ : pendingSeek_);
}

void MVVlcPlayer::playFrom(std::int64_t from) {
    Shared& s = *shared_;
    playAfterStill_ = false;
    const State now = engineState(s.player);
    if ((now == Playing || now == Paused || now == Buffering) && s.started.load()) {
        pendingSeek_ = -1;
        if (from >= 0) return resumeFrom(from);
        // Also when playing: a pause asked for just now may not have been taken yet.
        libvlc_media_player_set_pause(s.player, 0);
        return;
    }
    pendingSeek_ = from;  // made once the engine has started
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
    // The engine plays from about now: its time runs on from the still's until it reports.
    lastTime_ = ms;
    lastReportAt_ = platform::Clock::steadyNow();
    // Without a still on screen there is nothing to wait for: the engine's pictures show.
    {
        std::lock_guard guard(s.mutex);
        s.resuming = s.holding.load() && !s.stillSignatures.empty();
    }
    libvlc_media_player_set_time(s.player, engineTime(ms));
    libvlc_media_player_set_pause(s.player, 0);
    resumeAnchor_ = ms;
    if (s.resuming.load()) {
        resumeLimitTimer_.start(kResumeLimit, false, platform::mainQueue(),
                                [this] { handleResumeLimit(); });
    }
}

void MVVlcPlayer::handleResumeLimit() {
    resumeAnchor_ = -1;
    shared_->resuming = false;
    shared_->holding = false;
}

void MVVlcPlayer::startEngine() {
    shared_->started = false;
    libvlc_media_player_play(shared_->player);
}

// A play or seek asked for before the engine ran is made once it has filled its buffers.
void MVVlcPlayer::handleStarted() {
    Shared& s = *shared_;
    if (!s.player) return;
    if (wantPaused_) {
        // A paused seek without a still (the still decoder cannot read the file) is the engine's.
        if (const std::int64_t at = std::exchange(pendingSeek_, -1); at >= 0) {
            libvlc_media_player_set_time(s.player, engineTime(at));
        }
        libvlc_media_player_set_pause(s.player, 1);
        return;
    }
    if (const std::int64_t from = std::exchange(pendingSeek_, -1); from >= 0) resumeFrom(from);
}

void MVVlcPlayer::pause() {
    Shared& s = *shared_;
    if (!s.player) return;
    wantPaused_ = true;
    playAsked_ = false;
    playAfterStill_ = false;
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

void MVVlcPlayer::resetSeekState() {
    ++stillRequest_;
    stillTarget_ = -1;
    heldTarget_ = -1;
    pendingSeek_ = -1;
    resumeAnchor_ = -1;
    playAfterStill_ = false;
    resumeLimitTimer_.cancel();
    shared_->resuming = false;
    shared_->holding = false;
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
    ++stillRequest_;
    stillTarget_ = -1;
    heldTarget_ = -1;
    {
        std::lock_guard guard(s.mutex);
        s.holding = false;
        s.stillSignatures.clear();
    }
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
    pendingSeek_ = -1;
    if (s.resuming.exchange(false)) resumeLimitTimer_.cancel();
    if (!stillDecoder_ || stillFailed_ || videoSize_.isEmpty()) {
        // No still to be had: the engine seeks, if it runs, and shows what it shows.
        s.holding = false;
        heldTarget_ = -1;
        if (s.started.load()) {
            libvlc_media_player_set_time(s.player, engineTime(ms));
        } else {
            pendingSeek_ = ms;  // once the engine has started
        }
        return;
    }
    stillTarget_ = ms;
    stillDecoder_->request(++stillRequest_, ms);
}

// Only the answer to the last request is taken: its picture is the frame at or before the time.
void MVVlcPlayer::handleStill(MVVideoStillDecoder::Still still) {
    Shared& s = *shared_;
    if (still.followingOnly) {
        if (still.request != stillRequest_ || heldTarget_ != still.targetMs) return;
        std::lock_guard guard(s.mutex);
        for (const QImage& next : still.following) {
            s.stillSignatures.push_back(Shared::signatureOf(next));
        }
        return;
    }
    if (still.request != stillRequest_ || stillTarget_ < 0) return;
    stillTarget_ = -1;
    if (!still.ok()) {
        stillFailed_ = true;
        requestStill(still.targetMs);
        if (playAfterStill_ && !wantPaused_) playFrom(still.targetMs);
        return;
    }
    heldTarget_ = still.targetMs;
    s.holding = true;
    {
        std::lock_guard guard(s.mutex);
        s.stillSignatures = {Shared::signatureOf(still.picture)};
        s.frame = std::move(still.picture);
    }
    if (callbacks_.frameReady) callbacks_.frameReady();
    if (playAfterStill_ && !wantPaused_) playFrom(heldTarget_);
}
