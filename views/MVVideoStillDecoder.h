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
// at or before it (the first frame for a time before it, the last one past the end). Times are on
// the file's clock, the one the engine plays by and the session's video times are on: from the
// file's time 0, so a video stream that starts after it (sound first, or frames reordered without
// an edit list) shows its first frame at its own time, not at 0 (a transport stream counts from
// its first timestamp). A file cut short that kept its index (an interrupted copy, a camera whose
// battery died) answers a time past the cut with its last readable frame. It seeks to the key
// frame at or before the time and decodes forward in presentation order. The file stays open
// between requests, and a request a little ahead of the last picture decodes on from there without
// seeking, so scrubbing forward costs only the frames in between. The picture is upright (a stream
// shown rotated, as phones write portrait video, is turned as it is shown) and sized by
// MVVideoPictureSize.
//
// The file is opened at once, on the decoder's thread, and what it holds is told (`Opened`) before
// any picture is delivered.
//
// Threads: request() may be called from any thread; the work runs on the decoder's own thread,
// which also makes the deliveries. A request replaces one that has not been answered yet: the
// overtaken one is dropped, also in the middle of its decoding, and is never delivered.
// Destroying the decoder stops its thread (an open or a read under way is interrupted) and waits
// for it; no delivery is made after the destructor returns.
class MVVideoStillDecoder {
  public:
    struct Still {
        std::uint64_t request = 0;
        std::int64_t targetMs = 0;  // the time asked for
        std::int64_t ms = 0;        // the presentation time of the picture, ms of the file's clock
        QImage picture;             // 32-bit RGB; null when no frame could be decoded
        // The file cannot be opened or has no video the decoder reads: no request will ever
        // have a picture.
        bool unreadable = false;
        // The time lies past the last frame the file gives (its end, or the end of the readable
        // part of a file cut short): the picture is that frame.
        bool pastReadableEnd = false;
        // The video's first frame, ms of the file's clock (later than 0 for a video that starts
        // after the file's time 0).
        std::int64_t videoStartMs = 0;
        bool ok() const { return !picture.isNull(); }
    };
    using Delivery = std::function<void(Still)>;
    // What the file holds, once it is open.
    struct Facts {
        bool unreadable = false;        // as Still::unreadable
        std::int64_t videoStartMs = 0;  // as Still::videoStartMs
        bool mp4 = false;               // an MP4 or QuickTime file
    };
    using Opened = std::function<void(Facts)>;

    // Pictures wider than `maxWidth` are scaled down to it.
    MVVideoStillDecoder(std::filesystem::path file, int maxWidth, Delivery deliver,
                        Opened opened = {});
    ~MVVideoStillDecoder();
    MVVideoStillDecoder(const MVVideoStillDecoder&) = delete;
    MVVideoStillDecoder& operator=(const MVVideoStillDecoder&) = delete;

    void request(std::uint64_t number, std::int64_t ms);

    // A request further than this ahead of the last decoded frame seeks rather than decoding on.
    static constexpr std::int64_t kDecodeOnLimitMs = 1000;
    // The decoder's threads: enough to keep a paused seek quick, few enough that each film's
    // decoder holds only a few pictures beside the engine's own.
    static constexpr int kThreads = 4;

    struct Stream;

  private:
    void run();
    bool decode(Still& still);
    // The last readable frame before `target`, which lies past the readable part of the file;
    // false when a newer request overtook this one.
    bool lastReadableFrame(Still& still);
    // Whether a request newer than `number` is waiting.
    bool overtaken(std::uint64_t number);

    const std::filesystem::path file_;
    const int maxWidth_;
    Delivery deliver_;
    Opened opened_;
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
