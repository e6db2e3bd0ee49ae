#pragma once

#include "platform/URLLoader.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTError.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Told before each request leaves, with the URL and the headers as sent.
class ZVTHttpClientDelegate {
  public:
    virtual ~ZVTHttpClientDelegate() = default;
    virtual void willSendHTTPRequestToURL(const std::string& /*url*/,
                                          const std::map<std::string, std::string>& /*headers*/) {}
};

// One call's outcome: the response when one arrived (its body is `data`), or the error.
using ZVTHttpRequestCompletionHandler =
    std::function<void(const std::optional<platform::URLResponse>& response,
                       const std::string& data, const std::optional<ZVTError>& error)>;

// The transport the ingestions hold. Every call's handler runs exactly once.
class ZVTHttpClientProtocol {
  public:
    virtual ~ZVTHttpClientProtocol() = default;
    // Retries after 10, 300 and 1200 s, compression on.
    virtual void sendAsync(const std::string& url, const std::string& method,
                           const std::map<std::string, std::string>& headers,
                           const std::optional<std::string>& data,
                           ZVTHttpRequestCompletionHandler completionHandler) = 0;
    virtual void sendAsync(const std::string& url, const std::string& method,
                           const std::map<std::string, std::string>& headers,
                           const std::optional<std::string>& data,
                           const std::vector<std::chrono::milliseconds>& retryIntervals,
                           bool compressionEnabled,
                           ZVTHttpRequestCompletionHandler completionHandler) = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    // The enabled flag only.
    virtual void setEnabled(bool isEnabled) = 0;
    // Held weakly.
    virtual std::shared_ptr<ZVTHttpClientDelegate> delegate() const = 0;
    virtual void setDelegate(const std::shared_ptr<ZVTHttpClientDelegate>& delegate) = 0;
};
