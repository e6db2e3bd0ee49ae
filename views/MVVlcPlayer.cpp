#include "views/MVVlcPlayer.h"

#include "platform/Clock.h"
#include "platform/Dispatch.h"

#include <vlc/vlc.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::mutex& instanceMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<std::string>& instanceArguments() {
    static std::vector<std::string> arguments{"--no-video-title-show", "--no-stats",
                                              "--no-snapshot-preview", "--no-xlib"};
    return arguments;
}

bool& instanceStarted() {
    static bool started = false;
    return started;
}

// The process's engine instance; null when it cannot be started. Made once, never freed.
libvlc_instance_t* engine() {
    std::lock_guard lock(instanceMutex());
    static libvlc_instance_t* instance = [] {
        instanceStarted() = true;
        std::vector<const char*> argv;
        for (const std::string& a : instanceArguments()) argv.push_back(a.c_str());
        libvlc_instance_t* made = libvlc_new(static_cast<int>(argv.size()), argv.data());
        if (!made) std::fprintf(stderr, "video engine could not be started\n");
        return made;
    }();
    return instance;
}

constexpr std::array<libvlc_event_e, 7> kPlayerEvents{
    libvlc_MediaPlayerTimeChanged,     libvlc_MediaPlayerBuffering, libvlc_MediaPlayerPlaying,
    libvlc_MediaPlayerPaused,          libvlc_MediaPlayerStopped,   libvlc_MediaPlayerEndReached,
    libvlc_MediaPlayerEncounteredError};

// Larger pictures are scaled down to this width by the engine before they reach us.
constexpr unsigned kMaxFrameWidth = 1280;

}  // namespace

struct MVVlcPlayer::Shared {
    libvlc_media_t* media = nullptr;
    libvlc_media_player_t* player = nullptr;
    MVVlcPlayer* owner = nullptr;  // main thread only; null once the player is gone

    // Engine threads: pictures being decoded. The engine may prepare the next picture while the
    // last one waits for its time, so each gets a buffer of its own, in turn.
    static constexpr size_t kBuffers = 4;
    std::array<std::vector<unsigned char>, kBuffers> buffers;
    std::array<std::uint64_t, kBuffers> drawnInRun{};
    size_t nextBuffer = 0;
    unsigned width = 0;
    unsigned height = 0;
    // Shared with the main thread under the mutex: the last picture shown.
    mutable std::mutex mutex;
    QImage frame;
    QImage candidate;  // the last picture shown while a seek's picture is awaited
    std::atomic<bool> framePending{false};
    // A paused seek's run to its picture, between the engine's threads: asked for, its buffering
    // begun, its buffering ended (the next new picture is the seek's). While a picture is held,
    // or a run is under way, pictures shown by the engine do not replace it.
    enum Run : int { Idle = 0, Asked, Buffering, Buffered };
    std::atomic<int> run{Idle};
    std::atomic<std::uint64_t> runNumber{0};
    std::atomic<bool> holding{false};
    // The frame on screen may well be the one the seek asks for: a picture just like it counts.
    std::atomic<bool> sameWillDo{false};
    // The engine runs to the seek's picture (rather than resting).
    std::atomic<bool> running{false};
    // The engine has filled its buffers once since it was (re)started: before that its own
    // buffering would be taken for a seek's.
    std::atomic<bool> started{false};
    // The picture's own size from the media (decoders may hand over a few padding lines more).
    std::atomic<int> visibleWidth{0};
    std::atomic<int> visibleHeight{0};

    // Queues `task` to the main queue for the owner, if it is still there then.
    template <typename F>
    static void toOwner(Shared* self, F task) {
        std::weak_ptr<Shared> weak = self->weakSelf;
        platform::mainQueue().async([weak, task] {
            std::shared_ptr<Shared> shared = weak.lock();
            if (shared && shared->owner) task(*shared->owner);
        });
    }
    std::weak_ptr<Shared> weakSelf;

    // ---- Engine callbacks (engine threads) ----
    static unsigned setup(void** opaque, char* chroma, unsigned* width, unsigned* height,
                          unsigned* pitches, unsigned* lines) {
        auto* self = static_cast<Shared*>(*opaque);
        std::memcpy(chroma, "RV32", 4);
        if (*width > kMaxFrameWidth) {
            *height = std::max(1u, *height * kMaxFrameWidth / *width);
            *width = kMaxFrameWidth;
        }
        self->width = *width;
        self->height = *height;
        pitches[0] = *width * 4;
        lines[0] = *height;
        for (auto& buffer : self->buffers)
            buffer.assign(static_cast<size_t>(pitches[0]) * lines[0], 0);
        return 1;
    }
    static void cleanup(void*) {}
    static void* lock(void* opaque, void** planes) {
        auto* self = static_cast<Shared*>(opaque);
        const size_t index = self->nextBuffer;
        self->nextBuffer = (self->nextBuffer + 1) % kBuffers;
        // A picture is drawn into its buffer here and shown later, at its time: the seek's own
        // picture is one drawn after the seek's buffering ended.
        self->drawnInRun[index] = self->run.load() == Buffered ? self->runNumber.load() : 0;
        planes[0] = self->buffers[index].data();
        return &self->buffers[index];
    }
    static void unlock(void*, void*, void* const*) {}
    static void display(void* opaque, void* picture) {
        auto* self = static_cast<Shared*>(opaque);
        const auto* buffer = static_cast<const std::vector<unsigned char>*>(picture);
        if (self->width == 0 || self->height == 0) return;
        int w = int(self->width);
        int h = int(self->height);
        const int visibleW = self->visibleWidth.load();
        const int visibleH = self->visibleHeight.load();
        if (visibleW > 0 && visibleH > 0 && visibleW <= int(kMaxFrameWidth)) {
            w = std::min(w, visibleW);
            h = std::min(h, visibleH);
        }
        if (!buffer || buffer->empty()) return;
        const int run = self->run.load();
        const bool drawnForSeek =
            self->drawnInRun[size_t(buffer - self->buffers.data())] == self->runNumber.load();
        if (run == Asked || run == Buffering) return;  // drawn before the seek took effect
        if (run == Buffered && !drawnForSeek) return;
        if (run == Idle && self->holding.load()) return;
        QImage copy = QImage(buffer->data(), int(self->width), int(self->height),
                             int(self->width * 4), QImage::Format_RGB32)
                          .copy(0, 0, w, h);
        {
            std::lock_guard guard(self->mutex);
            if (run == Buffered) {
                // Pictures decoded before the seek may still come out after its buffering; a
                // paused engine settles on the seek's picture and shows it again now and then,
                // so the seek's picture is one shown twice in a row. An engine running to the
                // picture takes the first one.
                const bool again = copy == self->candidate;
                self->candidate = copy;
                if (!again && !self->running.load()) return;
                // The picture on screen before is not the seek's, unless it may well be.
                if (!self->sameWillDo.load() && copy == self->frame) return;
            }
            self->frame = std::move(copy);
        }
        if (run == Buffered) {
            int expected = Buffered;
            if (self->run.compare_exchange_strong(expected, Idle)) {
                self->holding = true;
                const std::uint64_t number = self->runNumber.load();
                toOwner(self, [number](MVVlcPlayer& owner) { owner.handleSeekPicture(number); });
            }
        }
        if (!self->framePending.exchange(true)) {
            toOwner(self, [](MVVlcPlayer& owner) {
                owner.shared_->framePending = false;
                owner.handlePicture();
            });
        }
    }
    static void mediaEvent(const libvlc_event_t* event, void* opaque) {
        if (event->type != libvlc_MediaParsedChanged) return;
        const int status = event->u.media_parsed_changed.new_status;
        toOwner(static_cast<Shared*>(opaque),
                [status](MVVlcPlayer& owner) { owner.handleParsed(status); });
    }
    static void playerEvent(const libvlc_event_t* event, void* opaque) {
        auto* self = static_cast<Shared*>(opaque);
        switch (event->type) {
            case libvlc_MediaPlayerTimeChanged: {
                const std::int64_t ms = event->u.media_player_time_changed.new_time;
                toOwner(self, [ms](MVVlcPlayer& owner) { owner.handleTime(ms); });
                return;
            }
            case libvlc_MediaPlayerBuffering: {
                // Each seek empties the engine's buffers and fills them again (0 to 100 %).
                const float cache = event->u.media_player_buffering.new_cache;
                if (cache >= 100.0f && !self->started.exchange(true)) {
                    return toOwner(self, [](MVVlcPlayer& o) { o.handleStarted(); });
                }
                int expected = cache <= 0.0f ? Asked : Buffering;
                if (cache <= 0.0f || cache >= 100.0f) {
                    self->run.compare_exchange_strong(expected,
                                                      cache <= 0.0f ? Buffering : Buffered);
                }
                return;
            }
            case libvlc_MediaPlayerPlaying:
                return toOwner(self, [](MVVlcPlayer& o) { o.handleState(Playing); });
            case libvlc_MediaPlayerPaused:
                return toOwner(self, [](MVVlcPlayer& o) { o.handleState(Paused); });
            case libvlc_MediaPlayerStopped:
                return toOwner(self, [](MVVlcPlayer& o) { o.handleState(Stopped); });
            case libvlc_MediaPlayerEndReached:
                return toOwner(self, [](MVVlcPlayer& o) { o.handleState(Ended); });
            case libvlc_MediaPlayerEncounteredError:
                return toOwner(self, [](MVVlcPlayer& o) { o.handleState(Error); });
            default:
                return;
        }
    }
};

MVVlcPlayer::MVVlcPlayer() : shared_(std::make_shared<Shared>()) {
    shared_->owner = this;
    shared_->weakSelf = shared_;
}

MVVlcPlayer::~MVVlcPlayer() {
    shared_->owner = nullptr;
    release();
}

void MVVlcPlayer::setInstanceArguments(std::vector<std::string> arguments) {
    std::lock_guard lock(instanceMutex());
    if (!instanceStarted()) instanceArguments() = std::move(arguments);
}

bool MVVlcPlayer::isEngineAvailable() {
    return engine() != nullptr;
}

void MVVlcPlayer::release() {
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
    frameInterval_ = 40;
    parsedReported_ = false;
    Shared& s = *shared_;
    libvlc_instance_t* instance = engine();
    if (instance) s.media = libvlc_media_new_path(instance, file.c_str());
    if (s.media) s.player = libvlc_media_player_new_from_media(s.media);
    if (!s.player) {
        Shared::toOwner(&s,
                        [](MVVlcPlayer& o) { o.handleParsed(libvlc_media_parsed_status_failed); });
        return;
    }
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
            if (video.i_frame_rate_num > 0 && video.i_frame_rate_den > 0) {
                frameInterval_ = std::max<std::int64_t>(
                    1, std::int64_t(1000) * video.i_frame_rate_den / video.i_frame_rate_num);
            }
            s.visibleWidth = videoSize_.width();
            s.visibleHeight = videoSize_.height();
            break;
        }
    }
    if (tracks) libvlc_media_tracks_release(tracks, count);
}

// Slow, not failed (a large file, a busy disk, a network share): parsing goes on without a limit.
// The engine parses a media once, so a fresh media of the file takes the place of the old one.
bool MVVlcPlayer::reparse() {
    Shared& s = *shared_;
    libvlc_instance_t* instance = engine();
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
    return libvlc_media_parse_with_options(s.media, libvlc_media_parse_local, -1) == 0;
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
    // At rest the engine reports only the seeks asked for, and their time is the one asked for.
    if (wantPaused_) return;
    lastTime_ = ms;
    lastReportAt_ = platform::Clock::steadyNow();
    if (callbacks_.timeChanged) callbacks_.timeChanged(ms);
}

void MVVlcPlayer::handlePicture() {
    handleStarted();
    if (callbacks_.frameReady) callbacks_.frameReady();
}

void MVVlcPlayer::handleSeekPicture(std::uint64_t run) {
    Shared& s = *shared_;
    if (seekTarget_ < 0 || run != s.runNumber.load()) return;  // of an earlier seek
    seekLimitTimer_.cancel();
    if (s.run.exchange(Shared::Idle) != Shared::Idle) {
        // No new picture within the time limit: the engine's own pictures show again.
        s.holding = false;
        shownEngineMs_ = -1;
    }
    seekTarget_ = -1;
    if (const std::int64_t next = std::exchange(nextSeek_, -1); next >= 0) {
        seekRunning(next, wantPaused_);
        if (seekTarget_ >= 0) return;
    }
    if (wantPaused_) {
        libvlc_media_player_set_pause(s.player, 1);
        // Pictures the engine decoded past the held one before it paused would come out at the
        // next paused seek: seeking the paused engine once more drains them, unseen.
        if (s.running.load() && restEngineMs_ >= 0) {
            libvlc_media_player_set_time(s.player, restEngineMs_);
        }
    } else {
        s.holding = false;  // play() came meanwhile: it plays on from the frame
        restEngineMs_ = -1;
        shownEngineMs_ = -1;
        libvlc_media_player_set_pause(s.player, 0);
    }
    applyMute();
}

// A paused engine does not always show the seek's picture (some streams with reordered frames
// leave it on its old one): it is run on from the seek, muted, and the first new picture it draws
// is taken (this one may be the frame after).
void MVVlcPlayer::runToSeekPicture(std::uint64_t run) {
    Shared& s = *shared_;
    if (seekTarget_ < 0 || run != s.runNumber.load()) return;
    const std::uint64_t again = s.runNumber.fetch_add(1) + 1;
    s.run = Shared::Buffered;
    s.running = true;
    libvlc_media_player_set_pause(s.player, 0);
    seekLimitTimer_.start(kSeekLimit, false, platform::mainQueue(),
                          [this, again] { handleSeekPicture(again); });
}

// A seek asked for before the engine ran is made once it has filled its buffers.
void MVVlcPlayer::handleStarted() {
    if (pendingSeek_ < 0 || !shared_->player || !shared_->started.load()) return;
    shownEngineMs_ = 0;  // a started engine shows its first frame
    seekRunning(std::exchange(pendingSeek_, -1), wantPaused_);
}

// A seeking engine shows the last frame whose own time lies before the time it is given: given the
// next millisecond, it shows the frame at or before `ms`.
void MVVlcPlayer::seekRunning(std::int64_t ms, bool paused) {
    Shared& s = *shared_;
    std::int64_t engineMs = ms + 1;
    if (length_ > 0) engineMs = std::min(engineMs, std::max<std::int64_t>(0, length_ - 1));
    lastTime_ = ms;
    lastReportAt_.reset();
    if (!paused || videoSize_.isEmpty()) {
        seekLimitTimer_.cancel();
        seekTarget_ = -1;
        nextSeek_ = -1;
        restEngineMs_ = -1;
        shownEngineMs_ = -1;
        s.run = Shared::Idle;
        s.holding = false;
        if (paused) libvlc_media_player_set_pause(s.player, 1);  // no picture to wait for
        libvlc_media_player_set_time(s.player, engineMs);
        applyMute();
        return;
    }
    if (seekTarget_ >= 0) {
        nextSeek_ = ms;  // after the one under way
        return;
    }
    if (s.holding.load() && engineMs == restEngineMs_) {  // that frame is on screen
        libvlc_media_player_set_pause(s.player, 1);
        return;
    }
    seekTarget_ = ms;
    restEngineMs_ = engineMs;
    s.sameWillDo = shownEngineMs_ >= 0 && engineMs >= shownEngineMs_ &&
                   engineMs - shownEngineMs_ < frameInterval_;
    shownEngineMs_ = engineMs;
    const std::uint64_t run = s.runNumber.fetch_add(1) + 1;
    s.run = Shared::Asked;
    libvlc_audio_set_mute(s.player, 1);
    // The engine rests while it seeks; one that does not show the picture is run to it.
    s.running = false;
    {
        std::lock_guard guard(s.mutex);
        s.candidate = QImage();
    }
    const bool wasPlaying = libvlc_media_player_is_playing(s.player) != 0;
    libvlc_media_player_set_pause(s.player, 1);
    if (!wasPlaying) return seekResting(run);
    // Pictures the engine decoded before it paused still come out after a seek made at once,
    // and a paused engine may settle on one of them: they are let out, unseen, first.
    const auto settle = std::max<std::chrono::milliseconds>(
        kPauseSettle, std::chrono::milliseconds(3 * frameInterval_));
    seekLimitTimer_.start(settle, false, platform::mainQueue(), [this, run] { seekResting(run); });
}

void MVVlcPlayer::seekResting(std::uint64_t run) {
    Shared& s = *shared_;
    if (seekTarget_ < 0 || run != s.runNumber.load()) return;
    libvlc_media_player_set_time(s.player, restEngineMs_);
    seekLimitTimer_.start(kPausedSeekLimit, false, platform::mainQueue(),
                          [this, run] { runToSeekPicture(run); });
}

void MVVlcPlayer::applyMute() {
    if (!shared_->player) return;
    libvlc_audio_set_mute(shared_->player, muted_ || seekTarget_ >= 0 ? 1 : 0);
}

void MVVlcPlayer::handleState(State state) {
    // The engine forgets a mute asked for before its sound output was made.
    if (state == Playing) applyMute();
    // The run of a paused seek is not the caller's playing.
    if (seekTarget_ >= 0 && (state == Playing || state == Paused)) return;
    if (callbacks_.stateChanged) callbacks_.stateChanged(state);
}

void MVVlcPlayer::play() {
    Shared& s = *shared_;
    if (!s.player) return;
    wantPaused_ = false;
    if (seekTarget_ >= 0) return;  // running to its picture; it plays on from there
    const auto now = static_cast<State>(libvlc_media_player_get_state(s.player));
    if (s.holding.exchange(false) && restEngineMs_ >= 0) {
        // The engine ran a little past the held frame before it paused.
        libvlc_media_player_set_time(s.player, restEngineMs_);
    }
    restEngineMs_ = -1;
    shownEngineMs_ = -1;
    if (now == Opening) return;  // under way already
    if (now == Playing || now == Paused || now == Buffering) {
        // Also when playing: a pause asked for just now may not have been taken yet.
        libvlc_media_player_set_pause(s.player, 0);
        return;
    }
    if (now == Ended || now == Error) libvlc_media_player_stop(s.player);
    startEngine();
}

void MVVlcPlayer::startEngine() {
    shared_->started = false;
    libvlc_media_player_play(shared_->player);
}

void MVVlcPlayer::pause() {
    if (!shared_->player) return;
    wantPaused_ = true;
    // A seek under way pauses on its picture; a media still opening once it runs (handleState).
    if (seekTarget_ >= 0) return;
    if (libvlc_media_player_can_pause(shared_->player)) {
        libvlc_media_player_set_pause(shared_->player, 1);
    }
}

void MVVlcPlayer::stop() {
    seekLimitTimer_.cancel();
    seekTarget_ = -1;
    nextSeek_ = -1;
    pendingSeek_ = -1;
    restEngineMs_ = -1;
    shownEngineMs_ = -1;
    shared_->run = Shared::Idle;
    shared_->holding = false;
    shared_->started = false;
    if (shared_->player) libvlc_media_player_stop(shared_->player);
}

// Playing as the caller sees it: asked to play and not paused, ended or stopped since, also while
// the engine is still opening or buffering.
bool MVVlcPlayer::isPlaying() const {
    if (!shared_->player || wantPaused_) return false;
    const auto now = static_cast<State>(libvlc_media_player_get_state(shared_->player));
    return now == Opening || now == Buffering || now == Playing;
}

MVVideoPlayer::State MVVlcPlayer::state() const {
    if (!shared_->player) return NothingSpecial;
    if (seekTarget_ >= 0) return wantPaused_ ? Paused : Playing;
    return static_cast<State>(libvlc_media_player_get_state(shared_->player));
}

// The engine reports its time a few times a second: in between, a playing engine's time runs on
// at its rate from the last report.
std::int64_t MVVlcPlayer::time() const {
    if (!lastReportAt_ || seekTarget_ >= 0 || !isPlaying() || shared_->holding.load()) {
        return lastTime_;
    }
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
    if (!shared_->player) return;
    ms = std::max<std::int64_t>(0, ms);
    const auto engine = static_cast<State>(libvlc_media_player_get_state(shared_->player));
    const bool running = engine == Playing || engine == Paused || engine == Buffering;
    if (running && shared_->started.load()) {
        seekRunning(ms, wantPaused_ || engine == Paused);
        return;
    }
    // Not started, or stopped at the end: the engine seeks only a running media, once its
    // buffers are filled.
    pendingSeek_ = ms;
    lastTime_ = ms;
    lastReportAt_.reset();
    if (running || engine == Opening) return;  // applied when it has started
    wantPaused_ = true;
    if (engine == Ended || engine == Error || engine == Stopped) {
        libvlc_media_player_stop(shared_->player);
    }
    startEngine();
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

// ---- The maker ----

namespace {
MVVideoPlayer::Maker& currentMaker() {
    static MVVideoPlayer::Maker maker;
    return maker;
}
}  // namespace

std::unique_ptr<MVVideoPlayer> MVVideoPlayer::make() {
    if (const Maker& maker = currentMaker()) return maker();
    return std::make_unique<MVVlcPlayer>();
}

MVVideoPlayer::Maker MVVideoPlayer::setMaker(Maker maker) {
    return std::exchange(currentMaker(), std::move(maker));
}
