#pragma once

#include <QImage>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The still picture of a video file at a time: the frame whose presentation time is the nearest
// at or before it (the first frame for a time before it, the last one past the end). It seeks to
// the key frame at or before the time and decodes forward in presentation order. The file stays
// open between requests, and a request a little ahead of the last picture decodes on from there
// without seeking, so scrubbing forward costs only the frames in between.
//
// Threads: request() may be called from any thread; the work runs on the decoder's own thread,
// which also makes the delivery. A request replaces one that has not been answered yet: the
// overtaken one is dropped, also in the middle of its decoding, and is never delivered.
// Destroying the decoder stops its thread (an open or a read under way is interrupted) and waits
// for it; no delivery is made after the destructor returns.
class MVVideoStillDecoder {
  public:
    struct Still {
        std::uint64_t request = 0;
        std::int64_t targetMs = 0;  // the time asked for
        std::int64_t ms = 0;  // the presentation time of the picture, ms from the file's start
        QImage picture;       // 32-bit RGB; null when the file cannot be decoded
        // The frames after it (up to kFollowing, fewer at the end): a player resuming from the
        // still may show one of those first. They come in a delivery of their own, after the
        // still's (followingOnly, with the same request and times and no picture).
        std::vector<QImage> following;
        bool followingOnly = false;
        bool ok() const { return !picture.isNull(); }
    };
    using Delivery = std::function<void(Still)>;

    // Pictures wider than `maxWidth` are scaled down to it.
    MVVideoStillDecoder(std::filesystem::path file, int maxWidth, Delivery deliver);
    ~MVVideoStillDecoder();
    MVVideoStillDecoder(const MVVideoStillDecoder&) = delete;
    MVVideoStillDecoder& operator=(const MVVideoStillDecoder&) = delete;

    void request(std::uint64_t number, std::int64_t ms);

    static constexpr size_t kFollowing = 4;
    // A request further than this ahead of the last decoded frame seeks rather than decoding on.
    static constexpr std::int64_t kDecodeOnLimitMs = 1000;

    struct Stream;

  private:
    void run();
    bool decode(Still& still);
    void follow(Still following);
    // Whether a request newer than `number` is waiting.
    bool overtaken(std::uint64_t number);

    const std::filesystem::path file_;
    const int maxWidth_;
    Delivery deliver_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool hasRequest_ = false;
    std::atomic<bool> stop_{false};
    std::uint64_t number_ = 0;
    std::int64_t ms_ = 0;
    std::unique_ptr<Stream> stream_;  // decoder thread only
    std::thread thread_;
};
