#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpIngestion.h"

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClient.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTURLComponents.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace {

struct ProviderSlot {
    std::mutex mutex;
    std::function<bool()> provider;
};

ProviderSlot& providerSlot() {
    static auto* slot = new ProviderSlot;  // never freed: read until the process ends
    return *slot;
}

bool networkRequestsAllowed() {
    std::function<bool()> provider;
    {
        std::lock_guard lock(providerSlot().mutex);
        provider = providerSlot().provider;
    }
    return provider ? provider() : true;
}

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// UTF-8 text with every invalid byte replaced, as a body may be anything.
std::string validUTF8(const std::string& bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        size_t n = lead < 0x80                      ? 1
                   : (lead >= 0xC2 && lead < 0xE0)  ? 2
                   : (lead >= 0xE0 && lead < 0xF0)  ? 3
                   : (lead >= 0xF0 && lead <= 0xF4) ? 4
                                                    : 0;
        bool ok = n > 0 && i + n <= bytes.size();
        for (size_t k = 1; ok && k < n; ++k) {
            ok = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
        }
        if (ok && n == 3) {
            const auto second = static_cast<unsigned char>(bytes[i + 1]);
            ok = !(lead == 0xE0 && second < 0xA0) && !(lead == 0xED && second >= 0xA0);
        } else if (ok && n == 4) {
            const auto second = static_cast<unsigned char>(bytes[i + 1]);
            ok = !(lead == 0xF0 && second < 0x90) && !(lead == 0xF4 && second >= 0x90);
        }
        if (ok) {
            out.append(bytes, i, n);
            i += n;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

}  // namespace

// The client's delegate: reaches the ingestion only while it is alive.
class ZVTHttpIngestion::DelegateProxy final : public ZVTHttpClientDelegate {
  public:
    explicit DelegateProxy(ZVTHttpIngestion* owner) : owner_(owner) {}
    void willSendHTTPRequestToURL(const std::string& url,
                                  const std::map<std::string, std::string>& headers) override {
        std::lock_guard lock(mutex_);
        if (owner_) owner_->willSendHTTPRequestToURL(url, headers);
    }
    void detach() {
        std::lock_guard lock(mutex_);
        owner_ = nullptr;
    }

  private:
    std::mutex mutex_;
    ZVTHttpIngestion* owner_;
};

const std::vector<std::chrono::milliseconds>& ZVTHttpIngestion::defaultRetryIntervals() {
    return ZVTHttpClient::defaultRetryIntervals();
}

ZVTHttpIngestion::ZVTHttpIngestion(std::shared_ptr<ZVTHttpClientProtocol> httpClient,
                                   std::string baseUrl, std::string apiPath,
                                   std::map<std::string, std::string> headers,
                                   ZVTQueryStrings queryStrings,
                                   std::vector<std::chrono::milliseconds> retryIntervals,
                                   int64_t maxNumberOfConnections)
    : httpClient_(std::move(httpClient)),
      baseURL_(std::move(baseUrl)),
      apiPath_(std::move(apiPath)),
      queryStrings_(std::move(queryStrings)),
      httpHeaders_(std::move(headers)),
      callsRetryIntervals_(std::move(retryIntervals)),
      maxNumberOfConnections_(maxNumberOfConnections),
      delegateProxy_(std::make_shared<DelegateProxy>(this)) {
    if (httpClient_) httpClient_->setDelegate(delegateProxy_);
    sendURL_ = buildURLWithBaseURL(baseURL_, apiPath_, queryStrings_);
}

ZVTHttpIngestion::~ZVTHttpIngestion() {
    delegateProxy_->detach();
}

std::string ZVTHttpIngestion::buildURLWithBaseURL(const std::string& baseURL,
                                                  const std::string& apiPath,
                                                  const ZVTQueryStrings& queryStrings) {
    std::string url = baseURL + apiPath;
    std::string query;
    for (const auto& [key, value] : queryStrings) {
        query += (query.empty() ? "" : "&") + key + "=" + value;
    }
    if (!query.empty()) url += "?" + ZVTURLComponents::percentEncodeQuery(query);
    return url;
}

void ZVTHttpIngestion::sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                                 ZVTSendAsyncCompletionHandler handler) {
    sendAsync(data, std::nullopt, std::move(handler));
}

void ZVTHttpIngestion::sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                                 const std::optional<std::string>& eTag,
                                 ZVTSendAsyncCompletionHandler handler) {
    sendAsync(data, eTag, ZVTUUID::random().UUIDString(), std::move(handler));
}

void ZVTHttpIngestion::sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                                 const std::optional<std::string>& eTag, const std::string& callId,
                                 CallCompletionHandler handler) {
    std::string url, method;
    std::optional<std::map<std::string, std::string>> headers;
    std::optional<std::string> payload;
    std::vector<std::chrono::milliseconds> intervals;
    bool enabled = false;
    {
        std::lock_guard lock(mutex_);
        enabled = isEnabled() && httpClient_;
        if (enabled) {
            url = sendURL_;
            headers = getHeadersWithData(data, eTag);
            payload = getPayloadWithData(data);
            method = getHttpMethod();
            intervals = callsRetryIntervals_;
        }
    }
    // The client is handed the request outside the lock: it may answer on this thread.
    if (!enabled) {
        ZVTLogWarning(kZVTLogTag, className(), " is disabled.");
        if (handler) {
            handler(callId, std::nullopt, std::string(),
                    ZVTError{kZVTErrorDomain, ZVTDisabledErrorCode, "The service is disabled."});
        }
        return;
    }
    std::weak_ptr<ZVTHttpIngestion> weak = weak_from_this();
    httpClient_->sendAsync(
        url, method, headers.value_or(std::map<std::string, std::string>{}), payload, intervals,
        true,
        [weak, callId, handler](const std::optional<platform::URLResponse>& response,
                                const std::string& body, const std::optional<ZVTError>& error) {
            if (auto self = weak.lock()) self->printResponse(response, body, error);
            if (handler) handler(callId, response, body, error);
        });
}

bool ZVTHttpIngestion::isEnabled() const {
    std::lock_guard lock(mutex_);
    return enabled_ && networkRequestsAllowed();
}

void ZVTHttpIngestion::setEnabled(bool isEnabled, bool /*deleteDataOnDisabled*/) {
    std::lock_guard lock(mutex_);
    enabled_ = isEnabled;
}

std::string ZVTHttpIngestion::baseURL() const {
    std::lock_guard lock(mutex_);
    return baseURL_;
}

std::string ZVTHttpIngestion::sendURL() const {
    std::lock_guard lock(mutex_);
    return sendURL_;
}

std::map<std::string, std::string> ZVTHttpIngestion::httpHeaders() const {
    std::lock_guard lock(mutex_);
    return httpHeaders_;
}

void ZVTHttpIngestion::setBaseURL(const std::string& baseURL) {
    std::lock_guard lock(mutex_);
    baseURL_ = baseURL;
    auto fresh = ZVTURLComponents::parse(baseURL + apiPath_);
    if (!fresh) {
        ZVTLogInfo(kZVTLogTag, "Failed to update HTTP URL ", sendURL_, " with ", baseURL);
        return;
    }
    auto current = ZVTURLComponents::parse(sendURL_);
    if (!current) {
        // The old send URL never parsed: build the new one whole.
        sendURL_ = buildURLWithBaseURL(baseURL, apiPath_, queryStrings_);
        return;
    }
    current->scheme = fresh->scheme;
    current->user = fresh->user;
    current->password = fresh->password;
    current->host = fresh->host;
    current->port = fresh->port;
    current->path = fresh->path;
    if (auto text = current->string()) {
        sendURL_ = *text;
    } else {
        ZVTLogInfo(kZVTLogTag, "Failed to update HTTP URL ", sendURL_, " with ", baseURL);
    }
}

std::optional<std::string> ZVTHttpIngestion::eTagFromResponse(
    const platform::URLResponse& response) {
    for (const auto& [name, value] : response.headers) {
        if (lowercase(name) == "etag") return value;
    }
    return std::nullopt;
}

std::function<bool()> ZVTHttpIngestion::setNetworkRequestsAllowedProvider(
    std::function<bool()> provider) {
    std::lock_guard lock(providerSlot().mutex);
    return std::exchange(providerSlot().provider, std::move(provider));
}

std::optional<std::map<std::string, std::string>> ZVTHttpIngestion::getHeadersWithData(
    const std::shared_ptr<ZVTLogContainer>& /*data*/, const std::optional<std::string>& /*eTag*/) {
    return std::nullopt;
}

std::optional<std::string> ZVTHttpIngestion::getPayloadWithData(
    const std::shared_ptr<ZVTLogContainer>& /*data*/) {
    return std::nullopt;
}

std::optional<std::string> ZVTHttpIngestion::obfuscateResponsePayload(
    const std::optional<std::string>& /*payload*/) {
    return std::nullopt;
}

void ZVTHttpIngestion::willSendHTTPRequestToURL(
    const std::string& /*url*/, const std::map<std::string, std::string>& /*headers*/) {}

void ZVTHttpIngestion::printResponse(const std::optional<platform::URLResponse>& response,
                                     const std::string& body,
                                     const std::optional<ZVTError>& error) {
    if (error) {
        ZVTLogDebug(kZVTLogTag, "HTTP request error with code: ", error->code,
                    ", domain: ", error->domain, ", description: ", error->localizedDescription);
        return;
    }
    if (ZVTLogger::currentLogLevel() > ZVTLogLevelVerbose) return;
    const std::string contentType =
        response ? response->header("Content-Type").value_or(std::string()) : std::string();
    std::optional<std::string> payload;
    if (body.empty()) {
        payload = std::nullopt;
    } else if (startsWith(contentType, "application/json")) {
        payload = obfuscateResponsePayload(ZVTUtility::prettyPrintJson(validUTF8(body)));
    } else if (contentType.empty() || startsWith(contentType, "text/") ||
               startsWith(contentType, "application/")) {
        payload = obfuscateResponsePayload(validUTF8(body));
    } else {
        payload = "<binary>";
    }
    ZVTLogVerbose(kZVTLogTag,
                  "HTTP response received with status code: ", response ? response->status : 0,
                  ", payload:\n", payload.value_or("(null)"));
}

bool ZVTHttpIngestion::rejectInvalidContainer(const std::shared_ptr<ZVTLogContainer>& data,
                                              const ZVTSendAsyncCompletionHandler& handler) {
    if (data && data->isValid()) return false;
    const ZVTError error{kZVTErrorDomain, ZVTLogInvalidContainerErrorCode,
                         "Invalid log container."};
    ZVTLogError(kZVTLogTag, error.localizedDescription);
    if (handler)
        handler(data ? data->batchId() : std::string(), std::nullopt, std::string(), error);
    return true;
}
