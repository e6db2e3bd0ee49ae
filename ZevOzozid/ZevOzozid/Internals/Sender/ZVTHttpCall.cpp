#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpCall.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTCompression.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

#include <algorithm>
#include <random>

namespace {

uint64_t randomBelow(uint64_t bound) {
    if (bound == 0) return 0;
    thread_local std::mt19937_64 engine{std::random_device{}()};
    return std::uniform_int_distribution<uint64_t>(0, bound - 1)(engine);
}

}  // namespace

ZVTHttpCall::ZVTHttpCall(std::string url, std::string method,
                         std::map<std::string, std::string> headers,
                         std::optional<std::string> data,
                         std::vector<std::chrono::milliseconds> retryIntervals,
                         bool compressionEnabled, ZVTHttpRequestCompletionHandler completionHandler,
                         const ZVTCompressor& compressor)
    : url_(std::move(url)),
      method_(std::move(method)),
      headers_(std::move(headers)),
      retryIntervals_(std::move(retryIntervals)),
      completionHandler_(std::move(completionHandler)) {
    if (compressionEnabled && data && data->size() >= kMinCompressedBodySize) {
        const std::vector<uint8_t> plain(data->begin(), data->end());
        auto packed = compressor ? compressor(plain) : ZVTCompression::compressData(plain);
        // A gzip that fails or yields nothing leaves the plain body, sent as such.
        if (packed && !packed->empty()) {
            data = std::string(packed->begin(), packed->end());
            headers_["Content-Encoding"] = "gzip";
        }
    }
    if (data && !headers_.count("Content-Type")) headers_["Content-Type"] = "application/json";
    data_ = std::move(data);
}

ZVTHttpCall::~ZVTHttpCall() = default;

int32_t ZVTHttpCall::retryCount() const {
    std::lock_guard lock(mutex_);
    return retryCount_;
}

bool ZVTHttpCall::hasReachedMaxRetries() const {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(retryCount_) >= retryIntervals_.size();
}

void ZVTHttpCall::resetRetry() {
    std::lock_guard lock(mutex_);
    if (timerSource_) timerSource_->cancel();
    timerSource_.reset();
    retryCount_ = 0;
}

bool ZVTHttpCall::hasRetryTimer() const {
    std::lock_guard lock(mutex_);
    return timerSource_ && timerSource_->isActive();
}

uint64_t ZVTHttpCall::delayForRetryCount(size_t index) const {
    if (index >= retryIntervals_.size()) return 0;
    const auto interval = retryIntervals_[index].count();
    const uint64_t half = interval > 0 ? static_cast<uint64_t>(interval) / 2 : 0;
    return half + randomBelow(half);
}

void ZVTHttpCall::startRetryTimerWithStatusCode(long statusCode, std::optional<uint64_t> retryAfter,
                                                std::function<void()> event) {
    std::lock_guard lock(mutex_);
    uint64_t delay = 0;
    if (retryAfter) {
        // The server may ask for a shorter wait, never for a longer one than ours.
        std::chrono::milliseconds longest{0};
        for (auto interval : retryIntervals_) longest = std::max(longest, interval);
        delay = std::min<uint64_t>(*retryAfter, static_cast<uint64_t>(longest.count()));
    } else {
        delay = delayForRetryCount(static_cast<size_t>(retryCount_));
    }
    ZVTLogWarning(kZVTLogTag, "Call attempt #", retryCount_,
                  " failed with status code: ", statusCode, ", it will be retried in ", delay,
                  " ms.");
    ++retryCount_;
    // Replacing the timer cancels the one before; only one retry is ever armed.
    timerSource_ = std::make_unique<platform::Timer>();
    timerSource_->start(std::chrono::milliseconds(delay), false, platform::globalQueue(),
                        std::move(event));
}
