#pragma once

#include "views/MVVlcPlayer.h"

#include "platform/Dispatch.h"

#include <QImage>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

struct libvlc_event_t;
struct libvlc_instance_t;
struct libvlc_media_t;
struct libvlc_media_player_t;

// The process's engine instance, made on the first call with the arguments of
// MVVlcPlayer::setInstanceArguments; null when it cannot be started. Safe from any thread.
libvlc_instance_t* MVVlcEngineInstance();

// What the engine's threads and the player's main thread share. The engine calls the static
// functions below on threads of its own (MVVlcPlayerEngine.cpp): they store the picture, move
// the atomics and queue the rest to the main queue for the owner; they never call the engine.
struct MVVlcPlayer::Shared {
    libvlc_media_t* media = nullptr;
    libvlc_media_player_t* player = nullptr;
    MVVlcPlayer* owner = nullptr;  // main thread only; null once the player is gone
    std::weak_ptr<Shared> weakSelf;

    // Engine threads: pictures being decoded. The engine may prepare the next picture while the
    // last one waits for its time, so each gets a buffer of its own, in turn.
    static constexpr size_t kBuffers = 4;
    std::array<std::vector<unsigned char>, kBuffers> buffers;
    size_t nextBuffer = 0;
    const std::vector<unsigned char>* lastDisplayed = nullptr;  // the buffer shown last
    unsigned width = 0;
    unsigned height = 0;
    // Under the mutex, with the main thread: the picture on screen.
    mutable std::mutex mutex;
    QImage frame;
    std::atomic<bool> framePending{false};
    // A still picture, or the picture showing at a pause, is on screen: the engine's pictures do
    // not replace it.
    std::atomic<bool> holding{false};
    // Play resuming from a still: the still stays until the engine has refilled its buffers
    // after the resume's seek (refilling, then landed: a fill from below full to full) and its
    // first picture at the film's pace comes (tookResume).
    std::atomic<bool> resuming{false};
    std::atomic<bool> refilling{false};
    std::atomic<bool> landed{false};
    // The pictures shown since it landed, and when the last of them came (steady clock ticks).
    std::atomic<int> landedPictures{0};
    // Half a frame of the film at its rate: pictures that come less than this after another come
    // at once, not at the film's pace.
    std::atomic<std::chrono::steady_clock::duration> pacedGap{std::chrono::milliseconds(20)};
    std::atomic<std::int64_t> lastLandedPicture{0};
    // When the first of them came: the engine's clock runs from the resume's time from then.
    std::atomic<std::int64_t> firstLandedPicture{0};
    static constexpr int kLandedPicturesTaken = 6;
    // Engine thread: whether the picture shown now ends the resume (MVVlcPlayerEngine.cpp).
    bool tookResume(std::chrono::steady_clock::time_point now);
    // The file has no readable picture: the engine's are not shown.
    std::atomic<bool> noPicture{false};
    // The engine has filled its buffers once since it was (re)started: it seeks only then.
    std::atomic<bool> started{false};
    // The size the pictures are shown at (MVVideoPictureSize), from the media; 0 while unknown.
    std::atomic<int> shownWidth{0};
    std::atomic<int> shownHeight{0};

    // Queues `task` to the main queue for the owner, if it is still there then.
    template <typename F>
    static void toOwner(Shared* self, F task) {
        std::weak_ptr<Shared> weak = self->weakSelf;
        platform::mainQueue().async([weak, task] {
            std::shared_ptr<Shared> shared = weak.lock();
            if (shared && shared->owner) task(*shared->owner);
        });
    }

    // ---- Engine callbacks (engine threads) ----
    static unsigned setup(void** opaque, char* chroma, unsigned* width, unsigned* height,
                          unsigned* pitches, unsigned* lines);
    static void cleanup(void*) {}
    static void* lock(void* opaque, void** planes);
    static void unlock(void*, void*, void* const*) {}
    static void display(void* opaque, void* picture);
    static void mediaEvent(const libvlc_event_t* event, void* opaque);
    static void playerEvent(const libvlc_event_t* event, void* opaque);
};
