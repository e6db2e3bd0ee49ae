#include "views/MVVlcPlayer.h"

#include "platform/Dispatch.h"

#include <vlc/vlc.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <atomic>
#include <cstdio>
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
    size_t nextBuffer = 0;
    unsigned width = 0;
    unsigned height = 0;
    // Shared with the main thread under the mutex: the last picture shown.
    mutable std::mutex mutex;
    QImage frame;
    std::atomic<bool> framePending{false};
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
        auto& buffer = self->buffers[self->nextBuffer];
        self->nextBuffer = (self->nextBuffer + 1) % kBuffers;
        planes[0] = buffer.data();
        return &buffer;
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
        QImage copy = QImage(buffer->data(), int(self->width), int(self->height),
                             int(self->width * 4), QImage::Format_RGB32)
                          .copy(0, 0, w, h);
        {
            std::lock_guard guard(self->mutex);
            self->frame = std::move(copy);
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
        for (libvlc_event_e type :
             {libvlc_MediaPlayerTimeChanged, libvlc_MediaPlayerPlaying, libvlc_MediaPlayerPaused,
              libvlc_MediaPlayerStopped, libvlc_MediaPlayerEndReached,
              libvlc_MediaPlayerEncounteredError}) {
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
    release();
    length_ = 0;
    videoSize_ = QSize();
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
    for (libvlc_event_e type : {libvlc_MediaPlayerTimeChanged, libvlc_MediaPlayerPlaying,
                                libvlc_MediaPlayerPaused, libvlc_MediaPlayerStopped,
                                libvlc_MediaPlayerEndReached, libvlc_MediaPlayerEncounteredError}) {
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
            videoSize_ = QSize(int(tracks[i]->video->i_width), int(tracks[i]->video->i_height));
            s.visibleWidth = videoSize_.width();
            s.visibleHeight = videoSize_.height();
            break;
        }
    }
    if (tracks) libvlc_media_tracks_release(tracks, count);
}

void MVVlcPlayer::handleParsed(int status) {
    if (parsedReported_) return;
    parsedReported_ = true;
    bool ok = false;
    if (shared_->media && status == libvlc_media_parsed_status_done) {
        readMediaFacts();
        ok = length_ > 0;
    }
    if (callbacks_.parsed) callbacks_.parsed(ok);
}

void MVVlcPlayer::handleTime(std::int64_t ms) {
    if (seekTarget_ >= 0 && !seekReached_ && std::llabs(ms - seekTarget_) <= kSeekWindow) {
        seekReached_ = true;
    }
    if (pauseOnPicture_) {
        // Reports of the run to the picture are not the caller's; a picture that never comes
        // (a broken stream) does not keep it running for long.
        if (seekReached_ && ms > seekTarget_ + kSeekWindow) pauseNow();
        return;
    }
    lastTime_ = ms;
    if (callbacks_.timeChanged) callbacks_.timeChanged(ms);
}

void MVVlcPlayer::handlePicture() {
    if (seekTarget_ >= 0 && seekReached_) {
        seekTarget_ = -1;
        if (pauseOnPicture_) pauseNow();
    }
    if (callbacks_.frameReady) callbacks_.frameReady();
}

void MVVlcPlayer::pauseNow() {
    pauseOnPicture_ = false;
    seekTarget_ = -1;
    if (shared_->player) libvlc_media_player_set_pause(shared_->player, 1);
}

void MVVlcPlayer::seekRunning(std::int64_t ms, bool thenPause) {
    libvlc_media_player_set_time(shared_->player, ms);
    lastTime_ = ms;
    seekTarget_ = ms;
    seekReached_ = false;
    if (!thenPause) return;
    if (videoSize_.isEmpty()) {
        libvlc_media_player_set_pause(shared_->player, 1);  // no picture to wait for
        seekTarget_ = -1;
        return;
    }
    // A paused engine does not reliably show the picture it seeked to: it runs on, unheard and
    // unreported, until that picture is shown, and pauses there.
    pauseOnPicture_ = true;
    libvlc_media_player_set_pause(shared_->player, 0);
}

void MVVlcPlayer::handleState(State state) {
    if (pauseOnPicture_ && (state == Playing || state == Paused)) return;
    if (state == Playing && pendingSeek_ >= 0 && shared_->player) {
        const std::int64_t ms = std::exchange(pendingSeek_, -1);
        seekRunning(ms, wantPaused_);
        if (pauseOnPicture_) return;
    }
    if (callbacks_.stateChanged) callbacks_.stateChanged(state);
}

void MVVlcPlayer::play() {
    if (!shared_->player) return;
    wantPaused_ = false;
    if (pauseOnPicture_) {
        pauseOnPicture_ = false;  // it is running already
        return;
    }
    const State now = state();
    if (now == Ended || now == Error) libvlc_media_player_stop(shared_->player);
    if (now == Paused) {
        libvlc_media_player_set_pause(shared_->player, 0);
    } else {
        libvlc_media_player_play(shared_->player);
    }
}

void MVVlcPlayer::pause() {
    if (!shared_->player) return;
    wantPaused_ = true;
    if (seekTarget_ >= 0 && !videoSize_.isEmpty()) {
        pauseOnPicture_ = true;  // once the picture seeked to is shown
        return;
    }
    if (libvlc_media_player_can_pause(shared_->player)) {
        libvlc_media_player_set_pause(shared_->player, 1);
    }
}

void MVVlcPlayer::stop() {
    pauseOnPicture_ = false;
    seekTarget_ = -1;
    pendingSeek_ = -1;
    if (shared_->player) libvlc_media_player_stop(shared_->player);
}

bool MVVlcPlayer::isPlaying() const {
    return !pauseOnPicture_ && shared_->player &&
           libvlc_media_player_is_playing(shared_->player) != 0;
}

MVVideoPlayer::State MVVlcPlayer::state() const {
    if (!shared_->player) return NothingSpecial;
    if (pauseOnPicture_) return Paused;
    return static_cast<State>(libvlc_media_player_get_state(shared_->player));
}

std::int64_t MVVlcPlayer::time() const {
    return lastTime_;
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
    if (engine == Playing || engine == Paused || engine == Buffering) {
        seekRunning(ms, wantPaused_ || engine == Paused);
        return;
    }
    // Not started, or stopped at the end: the engine seeks only a running media.
    pendingSeek_ = ms;
    if (engine == Opening) return;  // applied when it starts playing
    wantPaused_ = true;
    if (engine == Ended || engine == Error || engine == Stopped) {
        libvlc_media_player_stop(shared_->player);
    }
    libvlc_media_player_play(shared_->player);
}

void MVVlcPlayer::setRate(float rate) {
    if (shared_->player) libvlc_media_player_set_rate(shared_->player, rate);
}

void MVVlcPlayer::setMuted(bool muted) {
    if (shared_->player) libvlc_audio_set_mute(shared_->player, muted ? 1 : 0);
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
