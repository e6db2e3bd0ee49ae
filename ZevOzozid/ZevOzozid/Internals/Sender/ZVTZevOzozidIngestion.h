#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpIngestion.h"

#include <optional>
#include <string>

// The ingestion of the SDK's own log endpoint: POST base URL + "/logs?api-version=1.0.0" with
// the batch as JSON and the headers "Content-Type", "Install-ID" and "App-Secret". Own it
// through std::shared_ptr; every member is safe from any thread.
class ZVTZevOzozidIngestion : public ZVTHttpIngestion {
  public:
    ZVTZevOzozidIngestion(std::shared_ptr<ZVTHttpClientProtocol> httpClient,
                          const std::string& baseUrl, const std::string& installId);

    // Answers with the container's batch id. An invalid container is answered at once with
    // error code 1; without an app secret, at once with error code 3 (and an error line), so
    // the batch's logs stay stored for a later send.
    void sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                   ZVTSendAsyncCompletionHandler handler) override;
    void sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                   const std::optional<std::string>& eTag,
                   ZVTSendAsyncCompletionHandler handler) override;
    using ZVTHttpIngestion::sendAsync;

    // False while there is no app secret.
    bool isReadyToSend() const override;
    std::optional<std::string> appSecret() const;
    void setAppSecret(const std::optional<std::string>& appSecret);

    std::optional<std::map<std::string, std::string>> getHeadersWithData(
        const std::shared_ptr<ZVTLogContainer>& data,
        const std::optional<std::string>& eTag) override;
    std::optional<std::string> getPayloadWithData(
        const std::shared_ptr<ZVTLogContainer>& data) override;
    std::optional<std::string> obfuscateResponsePayload(
        const std::optional<std::string>& payload) override;
    std::string className() const override { return "ZVTZevOzozidIngestion"; }
    // At the verbose level: the URL and the headers, the app secret masked.
    void willSendHTTPRequestToURL(const std::string& url,
                                  const std::map<std::string, std::string>& headers) override;

  private:
    std::optional<std::string> appSecret_;
};
