#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClientProtocol.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTIngestionProtocol.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Query keys and values in the order they are written into the send URL.
using ZVTQueryStrings = std::vector<std::pair<std::string, std::string>>;

// The generic ingestion: turns one batch into one request to `baseURL` + `apiPath` + query,
// with headers and body from the subclass, and hands the answer back with the call's id. The
// HTTP client retries, compresses and pauses. Own it through std::shared_ptr.
//
// Thread safety: every member is safe from any thread. Sends, switches and base-URL changes
// hold the ingestion's own lock; no handler runs under it. Handlers run on the client's answer
// thread, or on the caller's thread when a send is refused at once.
class ZVTHttpIngestion : public ZVTIngestionProtocol,
                         public std::enable_shared_from_this<ZVTHttpIngestion> {
  public:
    using CallCompletionHandler = ZVTSendAsyncCompletionHandler;  // first argument: the call id

    static constexpr int64_t kDefaultMaxNumberOfConnections = 4;
    static const std::vector<std::chrono::milliseconds>& defaultRetryIntervals();

    // Makes itself the client's delegate and builds the send URL.
    ZVTHttpIngestion(
        std::shared_ptr<ZVTHttpClientProtocol> httpClient, std::string baseUrl, std::string apiPath,
        std::map<std::string, std::string> headers, ZVTQueryStrings queryStrings,
        std::vector<std::chrono::milliseconds> retryIntervals = defaultRetryIntervals(),
        int64_t maxNumberOfConnections = kDefaultMaxNumberOfConnections);
    ~ZVTHttpIngestion() override;
    ZVTHttpIngestion(const ZVTHttpIngestion&) = delete;
    ZVTHttpIngestion& operator=(const ZVTHttpIngestion&) = delete;

    // The answer names a fresh call id (a random UUID).
    void sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                   ZVTSendAsyncCompletionHandler handler) override;
    void sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                   const std::optional<std::string>& eTag,
                   ZVTSendAsyncCompletionHandler handler) override;
    // Disabled: the handler is called at once with error code 3 "The service is disabled.".
    void sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                   const std::optional<std::string>& eTag, const std::string& callId,
                   CallCompletionHandler handler);

    bool isReadyToSend() const override { return true; }
    // The enabled flag and the SDK's permission for network requests.
    bool isEnabled() const override;
    // Sets the enabled flag; nothing is deleted here.
    void setEnabled(bool isEnabled, bool deleteDataOnDisabled) override;

    std::string baseURL() const;
    // Takes scheme, user, password, host, port and path from `baseURL` + the API path and keeps
    // the query; a URL that does not parse leaves the send URL as it was (one info line).
    void setBaseURL(const std::string& baseURL);
    std::string sendURL() const;
    std::map<std::string, std::string> httpHeaders() const;
    const std::vector<std::chrono::milliseconds>& callsRetryIntervals() const {
        return callsRetryIntervals_;
    }
    int64_t maxNumberOfConnections() const { return maxNumberOfConnections_; }
    std::shared_ptr<ZVTHttpClientProtocol> httpClient() const { return httpClient_; }

    // The value of the first response header named "etag" in any case.
    static std::optional<std::string> eTagFromResponse(const platform::URLResponse& response);
    // base + path, then "?" and the percent-encoded "k=v&k=v" query when there is one.
    static std::string buildURLWithBaseURL(const std::string& baseURL, const std::string& apiPath,
                                           const ZVTQueryStrings& queryStrings);

    // Where the SDK's permission for network requests is read (true when none is set). The SDK
    // entry sets it at start-up; tests set their own. Answers the provider it replaced.
    static std::function<bool()> setNetworkRequestsAllowedProvider(std::function<bool()> provider);

    // Template operations of the request; the base gives none.
    virtual std::optional<std::map<std::string, std::string>> getHeadersWithData(
        const std::shared_ptr<ZVTLogContainer>& data, const std::optional<std::string>& eTag);
    virtual std::optional<std::string> getPayloadWithData(
        const std::shared_ptr<ZVTLogContainer>& data);
    virtual std::optional<std::string> obfuscateResponsePayload(
        const std::optional<std::string>& payload);
    virtual std::string getHttpMethod() const { return "POST"; }
    virtual std::string className() const { return "ZVTHttpIngestion"; }

    // Told by the client before each request; the base does nothing.
    virtual void willSendHTTPRequestToURL(const std::string& url,
                                          const std::map<std::string, std::string>& headers);
    // The answer as log lines: an error at debug level; a response only at the verbose level,
    // its body shown as pretty JSON, as text, or as "<binary>" by its content type.
    void printResponse(const std::optional<platform::URLResponse>& response,
                       const std::string& body, const std::optional<ZVTError>& error);

  protected:
    // An absent or invalid container: logs the error, answers the handler with code 1 and
    // returns true; the caller sends nothing.
    static bool rejectInvalidContainer(const std::shared_ptr<ZVTLogContainer>& data,
                                       const ZVTSendAsyncCompletionHandler& handler);
    mutable std::recursive_mutex mutex_;

  private:
    class DelegateProxy;

    std::shared_ptr<ZVTHttpClientProtocol> httpClient_;
    std::string baseURL_;
    std::string apiPath_;
    ZVTQueryStrings queryStrings_;
    std::string sendURL_;
    std::map<std::string, std::string> httpHeaders_;
    std::vector<std::chrono::milliseconds> callsRetryIntervals_;
    int64_t maxNumberOfConnections_;
    bool enabled_ = true;
    std::shared_ptr<DelegateProxy> delegateProxy_;
};
