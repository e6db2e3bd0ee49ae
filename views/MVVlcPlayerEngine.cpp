// The engine's side of the libvlc player: the process's engine instance and the callbacks the
// engine makes on its own threads (see MVVlcPlayerShared.h).
#include "views/MVVideoPictureSize.h"
#include "views/MVVlcPlayerShared.h"

#include <vlc/vlc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

}  // namespace

libvlc_instance_t* MVVlcEngineInstance() {
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

void MVVlcPlayer::setInstanceArguments(std::vector<std::string> arguments) {
    std::lock_guard lock(instanceMutex());
    if (!instanceStarted()) instanceArguments() = std::move(arguments);
}

bool MVVlcPlayer::isEngineAvailable() {
    return MVVlcEngineInstance() != nullptr;
}

// The engine offers its decoder's buffer size (a few padding lines more than the frame, turned
// for a rotated stream); asked for the shown size instead, it scales the whole frame to it.
unsigned MVVlcPlayer::Shared::setup(void** opaque, char* chroma, unsigned* width, unsigned* height,
                                    unsigned* pitches, unsigned* lines) {
    auto* self = static_cast<Shared*>(*opaque);
    std::memcpy(chroma, "RV32", 4);
    QSize shown(self->shownWidth.load(), self->shownHeight.load());
    if (shown.isEmpty()) {
        shown = MVVideoPictureSize::shown(QSize(int(*width), int(*height)), 0, kMaxFrameWidth);
    }
    *width = unsigned(shown.width());
    *height = unsigned(shown.height());
    self->width = *width;
    self->height = *height;
    pitches[0] = *width * 4;
    lines[0] = *height;
    for (auto& buffer : self->buffers) buffer.assign(static_cast<size_t>(pitches[0]) * lines[0], 0);
    return 1;
}

void* MVVlcPlayer::Shared::lock(void* opaque, void** planes) {
    auto* self = static_cast<Shared*>(opaque);
    const size_t index = self->nextBuffer;
    self->nextBuffer = (self->nextBuffer + 1) % kBuffers;
    planes[0] = self->buffers[index].data();
    return &self->buffers[index];
}

void MVVlcPlayer::Shared::display(void* opaque, void* picture) {
    auto* self = static_cast<Shared*>(opaque);
    const auto* buffer = static_cast<const std::vector<unsigned char>*>(picture);
    if (self->width == 0 || self->height == 0 || !buffer || buffer->empty()) return;
    // The engine shows its last picture again now and then (while paused, and once more when
    // slow to take a seek): the same bytes as the picture before are no new picture.
    const std::vector<unsigned char>* previous = std::exchange(self->lastDisplayed, buffer);
    if (self->noPicture.load()) return;
    if (self->resuming.load()) {
        const bool repeated = previous && previous != buffer && *previous == *buffer;
        if (repeated || !self->tookResume(std::chrono::steady_clock::now())) return;
    } else if (self->holding.load()) {
        return;
    }
    QImage copy(int(self->width), int(self->height), QImage::Format_RGB32);
    std::memcpy(copy.bits(), buffer->data(), std::min(buffer->size(), size_t(copy.sizeInBytes())));
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

// Once it has refilled its buffers after the resume's seek, the engine first shows at once the
// frames it decoded before the time it was sent to (one or two, and a picture of before the seek
// may come out then too), then plays on at the film's pace: the first picture that comes at that
// pace, half a frame or more after the one before it, is after the still.
bool MVVlcPlayer::Shared::tookResume(std::chrono::steady_clock::time_point now) {
    if (!landed.load()) return false;
    const std::int64_t at = now.time_since_epoch().count();
    const std::int64_t before = lastLandedPicture.exchange(at);
    const int seen = ++landedPictures;
    if (seen == 1) firstLandedPicture = at;
    const bool paced =
        seen > 1 && std::chrono::steady_clock::duration(at - before) >= pacedGap.load();
    if (!paced && seen < kLandedPicturesTaken) return false;
    bool expected = true;
    if (!resuming.compare_exchange_strong(expected, false)) return false;
    holding = false;
    return true;
}

void MVVlcPlayer::Shared::mediaEvent(const libvlc_event_t* event, void* opaque) {
    if (event->type != libvlc_MediaParsedChanged) return;
    const int status = event->u.media_parsed_changed.new_status;
    toOwner(static_cast<Shared*>(opaque),
            [status](MVVlcPlayer& owner) { owner.handleParsed(status); });
}

void MVVlcPlayer::Shared::playerEvent(const libvlc_event_t* event, void* opaque) {
    auto* self = static_cast<Shared*>(opaque);
    switch (event->type) {
        case libvlc_MediaPlayerTimeChanged: {
            const std::int64_t ms = event->u.media_player_time_changed.new_time;
            const auto at = std::chrono::steady_clock::now();
            toOwner(self, [ms, at](MVVlcPlayer& owner) { owner.handleTime(ms, at); });
            return;
        }
        case libvlc_MediaPlayerBuffering: {
            // Starting, the engine fills its buffers (0 to 100 %); it can seek from then on.
            const float cache = event->u.media_player_buffering.new_cache;
            if (self->resuming.load()) {
                if (cache < 100.0f) {
                    self->refilling = true;
                } else if (self->refilling.load()) {
                    self->landed = true;
                }
            }
            if (cache >= 100.0f && !self->started.exchange(true)) {
                return toOwner(self, [](MVVlcPlayer& o) { o.handleStarted(); });
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
