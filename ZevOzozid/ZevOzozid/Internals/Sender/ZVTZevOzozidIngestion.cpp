#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTZevOzozidIngestion.h"

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpUtil.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

ZVTZevOzozidIngestion::ZVTZevOzozidIngestion(std::shared_ptr<ZVTHttpClientProtocol> httpClient,
                                             const std::string& baseUrl,
                                             const std::string& installId)
    : ZVTHttpIngestion(std::move(httpClient), baseUrl, "/logs",
                       {{"Content-Type", "application/json"}, {"Install-ID", installId}},
                       {{"api-version", "1.0.0"}}) {}

void ZVTZevOzozidIngestion::sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                                      ZVTSendAsyncCompletionHandler handler) {
    sendAsync(data, std::nullopt, std::move(handler));
}

void ZVTZevOzozidIngestion::sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                                      const std::optional<std::string>& eTag,
                                      ZVTSendAsyncCompletionHandler handler) {
    const std::string batchId = data ? data->batchId() : std::string();
    if (rejectInvalidContainer(data, handler)) return;
    if (!appSecret()) {
        // Answered, so the sender frees its slot; the logs stay stored.
        ZVTLogError(kZVTLogTag, "ZevOzozid ingestion is used without app secret.");
        if (handler) {
            handler(batchId, std::nullopt, std::string(),
                    ZVTError{kZVTErrorDomain, ZVTDisabledErrorCode, "The service is disabled."});
        }
        return;
    }
    ZVTHttpIngestion::sendAsync(
        data, eTag, batchId,
        [batchId, handler](const std::string&, const std::optional<platform::URLResponse>& r,
                           const std::string& body, const std::optional<ZVTError>& error) {
            if (handler) handler(batchId, r, body, error);
        });
}

bool ZVTZevOzozidIngestion::isReadyToSend() const {
    return appSecret().has_value();
}

std::optional<std::string> ZVTZevOzozidIngestion::appSecret() const {
    std::lock_guard lock(mutex_);
    return appSecret_;
}

void ZVTZevOzozidIngestion::setAppSecret(const std::optional<std::string>& appSecret) {
    std::lock_guard lock(mutex_);
    appSecret_ = appSecret;
}

std::optional<std::map<std::string, std::string>> ZVTZevOzozidIngestion::getHeadersWithData(
    const std::shared_ptr<ZVTLogContainer>& /*data*/, const std::optional<std::string>& /*eTag*/) {
    auto headers = httpHeaders();
    std::lock_guard lock(mutex_);
    if (appSecret_) headers["App-Secret"] = *appSecret_;
    return headers;
}

std::optional<std::string> ZVTZevOzozidIngestion::getPayloadWithData(
    const std::shared_ptr<ZVTLogContainer>& data) {
    return data ? data->serializeLog() : std::nullopt;
}

std::optional<std::string> ZVTZevOzozidIngestion::obfuscateResponsePayload(
    const std::optional<std::string>& payload) {
    return payload;
}

void ZVTZevOzozidIngestion::willSendHTTPRequestToURL(
    const std::string& url, const std::map<std::string, std::string>& headers) {
    if (ZVTLogger::currentLogLevel() > ZVTLogLevelVerbose) return;
    std::string text;
    for (const auto& [name, value] : headers) {
        if (!text.empty()) text += ", ";
        text += name + " = " + (name == "App-Secret" ? ZVTHttpUtil::hideSecret(value) : value);
    }
    ZVTLogVerbose(kZVTLogTag, "URL: ", url);
    ZVTLogVerbose(kZVTLogTag, "Headers: ", text);
}
