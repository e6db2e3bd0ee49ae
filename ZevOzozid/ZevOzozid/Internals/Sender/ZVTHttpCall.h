#pragma once

#include "platform/Dispatch.h"

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClientProtocol.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// A gzip routine: the compressed bytes, or nullopt when it failed.
using ZVTCompressor =
    std::function<std::optional<std::vector<uint8_t>>(const std::vector<uint8_t>& data)>;

// One HTTP request with its retry state. The retry fields (count and timer) are guarded by the
// call's own lock; `inProgress` belongs to the client that sends the call and is read and written
// only under that client's lock. The completion handler is called by the client, once.
class ZVTHttpCall {
  public:
    // Bodies of this many bytes or more are gzipped when compression is enabled.
    static constexpr size_t kMinCompressedBodySize = 1400;

    // Copies the headers; gzips a body of kMinCompressedBodySize bytes or more when compression
    // is enabled (with "Content-Encoding" "gzip"; when gzip fails or yields nothing the plain
    // body goes without that header); adds "Content-Type" "application/json" to a body that has
    // no content type. An empty `compressor` means the SDK's gzip routine.
    ZVTHttpCall(std::string url, std::string method, std::map<std::string, std::string> headers,
                std::optional<std::string> data,
                std::vector<std::chrono::milliseconds> retryIntervals, bool compressionEnabled,
                ZVTHttpRequestCompletionHandler completionHandler,
                const ZVTCompressor& compressor = {});
    ~ZVTHttpCall();
    ZVTHttpCall(const ZVTHttpCall&) = delete;
    ZVTHttpCall& operator=(const ZVTHttpCall&) = delete;

    const std::string& url() const { return url_; }
    const std::string& method() const { return method_; }
    const std::map<std::string, std::string>& headers() const { return headers_; }
    const std::optional<std::string>& data() const { return data_; }
    const std::vector<std::chrono::milliseconds>& retryIntervals() const { return retryIntervals_; }
    const ZVTHttpRequestCompletionHandler& completionHandler() const { return completionHandler_; }

    // Guarded by the sending client's lock.
    bool inProgress = false;

    int32_t retryCount() const;
    // True once as many retries were scheduled as there are intervals.
    bool hasReachedMaxRetries() const;
    // Cancels a pending retry timer and sets the retry count back to 0.
    void resetRetry();
    // Arms the retry timer: `event` runs on the global queue after the server's retry-after
    // milliseconds when given (capped at the longest retry interval), else after
    // delayForRetryCount(retryCount); then counts the retry. Logs one warning line.
    void startRetryTimerWithStatusCode(long statusCode, std::optional<uint64_t> retryAfter,
                                       std::function<void()> event);
    // Half the interval at `index` plus a random part of up to another half, in milliseconds
    // (0 past the last interval).
    uint64_t delayForRetryCount(size_t index) const;

    // For tests:
    bool hasRetryTimer() const;

  private:
    std::string url_;
    std::string method_;
    std::map<std::string, std::string> headers_;
    std::optional<std::string> data_;
    std::vector<std::chrono::milliseconds> retryIntervals_;
    ZVTHttpRequestCompletionHandler completionHandler_;

    mutable std::mutex mutex_;
    int32_t retryCount_ = 0;
    std::unique_ptr<platform::Timer> timerSource_;
};
