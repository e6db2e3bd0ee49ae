#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpIngestion.h"

#include <cstddef>
#include <optional>
#include <string>

// The ingestion of the common-schema collector: POST base URL + "/CSCollector/1.0" with one
// compact JSON object per log and line, the headers "apikey" (the batch's target tokens, each
// once, sorted), "Upload-Time" (milliseconds since 1970), "Tickets" (the tickets of the logs'
// ticket keys, when any) and the fixed "Content-Type" and "Client-Version". Retries after 10,
// 300 and 1200 s; two connections. Own it through std::shared_ptr; every member is safe from
// any thread.
class ZVTCSCollectorIngestion : public ZVTHttpIngestion {
  public:
    static constexpr const char* kApiPath = "/CSCollector/1.0";
    // A masked text longer than this is cut there for the log, with a note of what was left out.
    static constexpr size_t kMaxMaskedLength = 64 * 1024;

    ZVTCSCollectorIngestion(std::shared_ptr<ZVTHttpClientProtocol> httpClient,
                            const std::string& baseUrl);

    // Answers with the container's batch id. A missing or invalid container is answered at once
    // with error code 1 "Invalid log container." (and an error line); nothing is sent.
    void sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                   ZVTSendAsyncCompletionHandler handler) override;
    // The entity tag is not used.
    void sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                   const std::optional<std::string>& eTag,
                   ZVTSendAsyncCompletionHandler handler) override;
    using ZVTHttpIngestion::sendAsync;

    std::optional<std::map<std::string, std::string>> getHeadersWithData(
        const std::shared_ptr<ZVTLogContainer>& data,
        const std::optional<std::string>& eTag) override;
    // Each log's compact JSON and "\n"; a log whose JSON cannot be made is left out (one error
    // line).
    std::optional<std::string> getPayloadWithData(
        const std::shared_ptr<ZVTLogContainer>& data) override;
    // Each "token" : "value" pair (any case, any blanks around the colon) becomes
    // "token" : "***".
    std::optional<std::string> obfuscateResponsePayload(
        const std::optional<std::string>& payload) override;
    std::string className() const override { return "ZVTCSCollectorIngestion"; }
    // At the verbose level only: the URL and the headers, tokens and tickets masked.
    void willSendHTTPRequestToURL(const std::string& url,
                                  const std::map<std::string, std::string>& headers) override;

    // Each comma-separated token masked but for its last 8 characters.
    static std::string obfuscateTargetTokens(const std::string& tokens);
    // Every quoted value after a colon becomes "***" ({"key":"***"}).
    static std::string obfuscateTickets(const std::string& tickets);
};
