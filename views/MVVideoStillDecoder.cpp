#include "views/MVVideoStillDecoder.h"

#include "views/MVVideoPictureSize.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <QTransform>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>

namespace {

constexpr AVRational kMilliseconds{1, 1000};
// A seek that lands after the time asked for is made again this much earlier, in turn.
constexpr std::array<std::int64_t, 3> kSeekBackoffMs{1000, 4000, 15000};
// Frames this close before the time asked for are all decoded; earlier ones only when others
// refer to them.
constexpr std::int64_t kFullDecodeMs = 250;
// The search for the end of the readable part of a file cut short stops this close to it and
// decodes on from there.
constexpr std::int64_t kReadableSearchMs = 2000;

struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

FramePtr newFrame() {
    return FramePtr(av_frame_alloc());
}

std::int64_t timestampOf(const AVFrame& frame) {
    return frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
}

// The clockwise turn the stream is shown with (its display matrix): 0, 90, 180 or 270.
int rotationOf(const AVStream& stream) {
    const auto* matrix = reinterpret_cast<const std::int32_t*>(
        av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix) return 0;
    const double counterclockwise = av_display_rotation_get(matrix);
    if (std::isnan(counterclockwise)) return 0;
    const long quarter = std::lround(-counterclockwise / 90.0);
    return int(((quarter % 4) + 4) % 4) * 90;
}

}  // namespace

// The open file and its decoder, with the last two frames decoded (in presentation order):
// `before` and `last`. Decoder thread only.
struct MVVideoStillDecoder::Stream {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* scaler = nullptr;
    AVPacket* packet = nullptr;
    int index = -1;
    AVRational timeBase{1, 1000};
    std::int64_t origin = 0;      // the timestamp of the file's time 0
    std::int64_t videoStart = 0;  // ms of the file's clock
    bool mp4 = false;
    int rotation = 0;
    FramePtr before;
    FramePtr last;
    std::deque<FramePtr> queued;     // decoded after `last`, not taken yet
    std::int64_t skipBeforeMs = -1;  // see receive()
    bool drained = false;            // the decoder gave its last frame: only a seek goes on
    std::atomic<bool>* stop = nullptr;

    ~Stream() {
        sws_freeContext(scaler);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    static int interrupted(void* opaque) { return static_cast<std::atomic<bool>*>(opaque)->load(); }

    bool open(const std::filesystem::path& file, std::atomic<bool>* stopFlag) {
        stop = stopFlag;
        format = avformat_alloc_context();
        if (!format) return false;
        format->interrupt_callback.callback = &Stream::interrupted;
        format->interrupt_callback.opaque = stop;
        if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0) return false;
        if (avformat_find_stream_info(format, nullptr) < 0) return false;
        const AVCodec* decoder = nullptr;
        index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        if (index < 0 || !decoder) return false;
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            if (int(i) != index) format->streams[i]->discard = AVDISCARD_ALL;
        }
        const AVStream& video = *format->streams[index];
        timeBase = video.time_base;
        mp4 = std::strstr(format->iformat->name, "mp4") != nullptr;
        // The engine's clock: timestamps as they are, but a transport stream's from its first.
        if ((format->iformat->flags & AVFMT_TS_DISCONT) && format->start_time != AV_NOPTS_VALUE) {
            origin = av_rescale_q(format->start_time, AV_TIME_BASE_Q, timeBase);
        }
        rotation = rotationOf(video);
        if (video.start_time != AV_NOPTS_VALUE) {
            videoStart = av_rescale_q(video.start_time - origin, timeBase, kMilliseconds);
        }
        codec = avcodec_alloc_context3(decoder);
        if (!codec || avcodec_parameters_to_context(codec, video.codecpar) < 0) return false;
        codec->thread_count = kThreads;
        codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        if (avcodec_open2(codec, decoder, nullptr) < 0) return false;
        packet = av_packet_alloc();
        return packet != nullptr;
    }

    std::int64_t msOf(const AVFrame& frame) const {
        return av_rescale_q(timestampOf(frame) - origin, timeBase, kMilliseconds);
    }
    // Exact: whether the frame's presentation time is at or before `ms`.
    bool atOrBefore(const AVFrame& frame, std::int64_t ms) const {
        return av_compare_ts(timestampOf(frame) - origin, timeBase, ms, kMilliseconds) <= 0;
    }

    void seek(std::int64_t ms) {
        const std::int64_t ts =
            av_rescale_q(std::max<std::int64_t>(0, ms), kMilliseconds, timeBase);
        av_seek_frame(format, index, origin + ts, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(codec);
        before.reset();
        last.reset();
        queued.clear();
        drained = false;
    }

    // The next frame in presentation order into `last` (the previous one into `before`); false
    // at the end of the stream or on a read error.
    bool decodeNext() {
        FramePtr frame;
        if (!queued.empty()) {
            frame = std::move(queued.front());
            queued.pop_front();
        } else if (!receive(frame)) {
            return false;
        }
        before = std::move(last);
        last = std::move(frame);
        return true;
    }
    bool atEnd() const { return drained && queued.empty(); }
    // Decodes up to `count` frames after `last` ahead, without taking them.
    void lookAhead(size_t count) {
        while (queued.size() < count) {
            FramePtr frame;
            if (!receive(frame)) return;
            queued.push_back(std::move(frame));
        }
    }

    bool receive(FramePtr& out) {
        FramePtr frame = newFrame();
        while (!drained) {
            const int received = avcodec_receive_frame(codec, frame.get());
            if (received == 0) {
                if (timestampOf(*frame) == AV_NOPTS_VALUE) continue;
                out = std::move(frame);
                return true;
            }
            if (received == AVERROR_EOF) {
                drained = true;
                break;
            }
            const int read = av_read_frame(format, packet);
            if (read < 0) {
                avcodec_send_packet(codec, nullptr);  // no more input: let out what it holds
                continue;
            }
            if (packet->stream_index == index) {
                // Frames no other frame refers to are not decoded well before the time asked
                // for: they cannot be its picture.
                const bool early =
                    packet->pts != AV_NOPTS_VALUE && skipBeforeMs > 0 &&
                    av_compare_ts(packet->pts - origin, timeBase, skipBeforeMs, kMilliseconds) < 0;
                codec->skip_frame = early ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
                avcodec_send_packet(codec, packet);
            }
            av_packet_unref(packet);
        }
        return false;
    }

    QImage picture(const AVFrame& frame, int maxWidth) {
        const QSize shown =
            MVVideoPictureSize::shown(QSize(frame.width, frame.height), rotation, maxWidth);
        if (shown.isEmpty()) return {};
        // Scaled while still lying as stored, then turned upright.
        const bool across = rotation == 90 || rotation == 270;
        const int w = across ? shown.height() : shown.width();
        const int h = across ? shown.width() : shown.height();
        scaler = sws_getCachedContext(scaler, frame.width, frame.height,
                                      static_cast<AVPixelFormat>(frame.format), w, h,
                                      AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!scaler) return {};
        QImage image(w, h, QImage::Format_RGB32);
        uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
        int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
        sws_scale(scaler, frame.data, frame.linesize, 0, frame.height, planes, strides);
        if (rotation == 0) return image;
        return image.transformed(QTransform().rotate(rotation));
    }
};

MVVideoStillDecoder::MVVideoStillDecoder(std::filesystem::path file, int maxWidth, Delivery deliver,
                                         Opened opened)
    : file_(std::move(file)),
      maxWidth_(maxWidth),
      deliver_(std::move(deliver)),
      opened_(std::move(opened)) {
    thread_ = std::thread([this] { run(); });
}

MVVideoStillDecoder::~MVVideoStillDecoder() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stop_ = true;  // interrupts an open or a read under way
    wake_.notify_all();
    thread_.join();
}

void MVVideoStillDecoder::request(std::uint64_t number, std::int64_t ms) {
    {
        std::lock_guard lock(mutex_);
        number_ = number;
        ms_ = ms;
        hasRequest_ = true;
    }
    wake_.notify_all();
}

bool MVVideoStillDecoder::overtaken(std::uint64_t number) {
    std::lock_guard lock(mutex_);
    return stopping_ || (hasRequest_ && number_ != number);
}

void MVVideoStillDecoder::run() {
    stream_ = std::make_unique<Stream>();
    const bool failed = !stream_->open(file_, &stop_);
    if (failed) stream_.reset();
    if (stop_.load()) return;
    if (opened_) {
        Facts facts;
        facts.unreadable = failed;
        if (stream_) {
            facts.videoStartMs = stream_->videoStart;
            facts.mp4 = stream_->mp4;
        }
        opened_(facts);
    }
    for (;;) {
        Still still;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || hasRequest_; });
            if (stopping_) return;
            still.request = number_;
            still.targetMs = ms_;
            hasRequest_ = false;
        }
        still.unreadable = failed;
        if (stream_) still.videoStartMs = stream_->videoStart;
        if (stream_ && !decode(still)) continue;
        if (overtaken(still.request)) continue;
        deliver_(std::move(still));
    }
}

// Answered by the frames already decoded, by decoding on from them, or by a seek; false when a
// newer request overtook this one.
bool MVVideoStillDecoder::decode(Still& still) {
    Stream& s = *stream_;
    const std::int64_t target = still.targetMs;
    const AVFrame* chosen = nullptr;
    auto answered = [&]() -> bool {
        if (s.last && s.atEnd() && s.atOrBefore(*s.last, target)) {
            chosen = s.last.get();
        } else if (s.before && s.last && s.atOrBefore(*s.before, target) &&
                   !s.atOrBefore(*s.last, target)) {
            chosen = s.before.get();
        }
        return chosen != nullptr;
    };
    const bool near = s.last && !s.atEnd() && s.atOrBefore(*s.last, target) &&
                      target - s.msOf(*s.last) <= kDecodeOnLimitMs;
    if (!answered() && !near) s.seek(target);
    s.skipBeforeMs = target - kFullDecodeMs;
    size_t backoff = 0;
    while (!answered()) {
        if (overtaken(still.request)) return false;
        if (!s.decodeNext()) {
            if (s.last) {
                chosen = s.last.get();  // the end: its last frame
                break;
            }
            // Nothing readable from the seek on: the file is cut short before the time.
            return target > 0 ? lastReadableFrame(still) : true;
        }
        if (!s.before && !s.atOrBefore(*s.last, target)) {
            // The seek landed after the time: again from further back, else the first frame.
            if (backoff < kSeekBackoffMs.size() && target > 0) {
                s.seek(target - kSeekBackoffMs[backoff++]);
            } else {
                chosen = s.last.get();
            }
        }
    }
    if (chosen) {
        still.ms = s.msOf(*chosen);
        still.picture = s.picture(*chosen, maxWidth_);
        still.pastReadableEnd = chosen == s.last.get() && s.atEnd();
    }
    return true;
}

bool MVVideoStillDecoder::lastReadableFrame(Still& still) {
    Stream& s = *stream_;
    s.skipBeforeMs = -1;
    // Halving the span between a time known to read (lo) and one known not to (hi).
    std::int64_t lo = 0;
    std::int64_t hi = still.targetMs;
    while (hi - lo > kReadableSearchMs) {
        if (overtaken(still.request)) return false;
        const std::int64_t middle = lo + (hi - lo) / 2;
        s.seek(middle);
        if (s.decodeNext()) {
            lo = middle;
        } else {
            hi = middle;
        }
    }
    s.seek(lo);
    while (s.decodeNext()) {
        if (overtaken(still.request)) return false;
    }
    if (!s.last) return true;  // nothing readable at all
    still.pastReadableEnd = true;
    still.ms = s.msOf(*s.last);
    still.picture = s.picture(*s.last, maxWidth_);
    return true;
}
