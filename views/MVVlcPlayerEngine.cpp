// The engine's side of the libvlc player: the process's engine instance and the callbacks the
// engine makes on its own threads (see MVVlcPlayerShared.h).
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

unsigned MVVlcPlayer::Shared::setup(void** opaque, char* chroma, unsigned* width, unsigned* height,
                                    unsigned* pitches, unsigned* lines) {
    auto* self = static_cast<Shared*>(*opaque);
    std::memcpy(chroma, "RV32", 4);
    if (*width > unsigned(kMaxFrameWidth)) {
        *height = std::max(1u, *height * unsigned(kMaxFrameWidth) / *width);
        *width = unsigned(kMaxFrameWidth);
    }
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
    const bool resuming = self->resuming.load();
    if (!resuming && self->holding.load()) return;
    int w = int(self->width);
    int h = int(self->height);
    const int visibleW = self->visibleWidth.load();
    const int visibleH = self->visibleHeight.load();
    if (visibleW > 0 && visibleH > 0 && visibleW <= kMaxFrameWidth) {
        w = std::min(w, visibleW);
        h = std::min(h, visibleH);
    }
    QImage copy = QImage(buffer->data(), int(self->width), int(self->height), int(self->width * 4),
                         QImage::Format_RGB32)
                      .copy(0, 0, w, h);
    {
        std::lock_guard guard(self->mutex);
        if (resuming) {
            // The engine lands on a frame near the time, often a few before it, and pictures
            // from before the seek may still come out: the still gives way to the first picture
            // of its own frame (or of one just after: the engine may drop a few as late).
            const std::vector<int> signature = signatureOf(copy);
            if (std::none_of(self->stillSignatures.begin(), self->stillSignatures.end(),
                             [&](const std::vector<int>& s) { return resembles(signature, s); })) {
                return;
            }
            bool expected = true;
            if (!self->resuming.compare_exchange_strong(expected, false)) return;
            self->holding = false;
        }
        self->frame = std::move(copy);
    }
    if (!self->framePending.exchange(true)) {
        toOwner(self, [](MVVlcPlayer& owner) {
            owner.shared_->framePending = false;
            owner.handlePicture();
        });
    }
}

std::vector<int> MVVlcPlayer::Shared::signatureOf(const QImage& picture) {
    std::vector<int> grey;
    if (picture.isNull()) return grey;
    grey.reserve(size_t(kSignatureColumns * kSignatureRows));
    for (int row = 0; row < kSignatureRows; ++row) {
        const int y = (2 * row + 1) * picture.height() / (2 * kSignatureRows);
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int column = 0; column < kSignatureColumns; ++column) {
            grey.push_back(
                qGray(line[(2 * column + 1) * picture.width() / (2 * kSignatureColumns)]));
        }
    }
    return grey;
}

bool MVVlcPlayer::Shared::resembles(const std::vector<int>& a, const std::vector<int>& b) {
    if (a.empty() || a.size() != b.size()) return false;
    int difference = 0;
    for (size_t i = 0; i < a.size(); ++i) difference += std::abs(a[i] - b[i]);
    return difference <= kSameGreyDifference * int(a.size());
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
            toOwner(self, [ms](MVVlcPlayer& owner) { owner.handleTime(ms); });
            return;
        }
        case libvlc_MediaPlayerBuffering: {
            // Starting, the engine fills its buffers (0 to 100 %); it can seek from then on.
            const float cache = event->u.media_player_buffering.new_cache;
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
