#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClient.h"

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpUtil.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

#include <algorithm>
#include <cassert>

namespace {

// Scheme and authority of a URL: the "host" that connection limits count by.
std::string hostOf(const std::string& url) {
    const size_t scheme = url.find("://");
    const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    return url.substr(0, url.find_first_of("/?#", start));
}

ZVTError sdkError(long code, const char* text) {
    ZVTError error;
    error.code = code;
    error.localizedDescription = text;
    return error;
}

}  // namespace

// Lets the network observer reach the client only while it is alive.
struct ZVTHttpClient::Alive {
    std::mutex mutex;
    ZVTHttpClient* client = nullptr;
};

const std::vector<std::chrono::milliseconds>& ZVTHttpClient::defaultRetryIntervals() {
    static const std::vector<std::chrono::milliseconds> intervals{
        std::chrono::seconds(10), std::chrono::seconds(300), std::chrono::seconds(1200)};
    return intervals;
}

ZVTHttpClient::ZVTHttpClient()
    : ZVTHttpClient(std::nullopt, ZVT_Reachability::reachabilityForInternetConnection()) {}

ZVTHttpClient::ZVTHttpClient(long maxHttpConnectionsPerHost)
    : ZVTHttpClient(maxHttpConnectionsPerHost,
                    ZVT_Reachability::reachabilityForInternetConnection()) {}

ZVTHttpClient::ZVTHttpClient(std::optional<long> maxHttpConnectionsPerHost,
                             std::shared_ptr<ZVT_Reachability> reachability)
    : reachability_(std::move(reachability)), alive_(std::make_shared<Alive>()) {
    if (maxHttpConnectionsPerHost && *maxHttpConnectionsPerHost > 0) {
        maxConnectionsPerHost_ = maxHttpConnectionsPerHost;
    }
    alive_->client = this;
    // Only this client's own monitor: the common-schema delegate has a client and monitor of its
    // own, and each client pauses and resumes on its own monitor's word.
    networkObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
        kZVNetworkReachabilityChangedNotification, reachability_.get(),
        [alive = alive_](const platform::Notification&) {
            std::shared_ptr<ZVTHttpClient> self;
            {
                std::lock_guard lock(alive->mutex);
                if (alive->client) self = alive->client->weak_from_this().lock();
            }
            if (self) self->networkStateChanged();
        });
    if (reachability_) reachability_->startNotifier();
}

ZVTHttpClient::~ZVTHttpClient() {
    {
        std::lock_guard lock(alive_->mutex);
        alive_->client = nullptr;
    }
    networkObserver_.reset();
    if (reachability_) reachability_->stopNotifier();
    // Running requests finish on their own; their answers find no client and are dropped.
    std::lock_guard lock(mutex_);
    for (auto& call : pendingCalls_) call->resetRetry();
}

void ZVTHttpClient::sendAsync(const std::string& url, const std::string& method,
                              const std::map<std::string, std::string>& headers,
                              const std::optional<std::string>& data,
                              ZVTHttpRequestCompletionHandler completionHandler) {
    sendAsync(url, method, headers, data, defaultRetryIntervals(), true,
              std::move(completionHandler));
}

void ZVTHttpClient::sendAsync(const std::string& url, const std::string& method,
                              const std::map<std::string, std::string>& headers,
                              const std::optional<std::string>& data,
                              const std::vector<std::chrono::milliseconds>& retryIntervals,
                              bool compressionEnabled,
                              ZVTHttpRequestCompletionHandler completionHandler) {
    assert(!weak_from_this().expired() && "own ZVTHttpClient through std::shared_ptr");
    std::shared_ptr<ZVTHttpCall> call;
    {
        std::lock_guard lock(mutex_);
        if (enabled_) {
            call = std::make_shared<ZVTHttpCall>(url, method, headers, data, retryIntervals,
                                                 compressionEnabled, std::move(completionHandler),
                                                 compressor_);
            pendingCalls_.push_back(call);
        }
    }
    if (call) {
        sendCallAsync(call);
    } else if (completionHandler) {
        completionHandler(std::nullopt, std::string(),
                          sdkError(ZVTDisabledErrorCode, "The service is disabled."));
    }
}

void ZVTHttpClient::sendCallAsync(const std::shared_ptr<ZVTHttpCall>& call) {
    std::shared_ptr<ZVTHttpClientDelegate> delegate;
    {
        std::lock_guard lock(mutex_);
        if (!isPendingLocked(call)) pendingCalls_.push_back(call);
        if (paused_ || call->inProgress) return;
        delegate = delegate_.lock();
    }
    // Told outside the lock, so a delegate may use the client.
    if (delegate) delegate->willSendHTTPRequestToURL(call->url(), call->headers());
    std::lock_guard lock(mutex_);
    if (paused_ || call->inProgress || !isPendingLocked(call)) return;
    startLocked(call);
}

void ZVTHttpClient::startLocked(const std::shared_ptr<ZVTHttpCall>& call) {
    call->inProgress = true;
    const std::string host = hostOf(call->url());
    if (maxConnectionsPerHost_ && runningPerHost_[host] >= *maxConnectionsPerHost_) {
        waitingPerHost_[host].push_back(call);  // started when a connection frees
        return;
    }
    launchLocked(call);
}

void ZVTHttpClient::launchLocked(const std::shared_ptr<ZVTHttpCall>& call) {
    ++runningPerHost_[hostOf(call->url())];
    platform::URLRequest request;
    request.url = call->url();
    request.method = call->method();
    request.headers = call->headers();
    request.body = call->data().value_or(std::string());
    request.connectTimeout = kConnectTimeout;
    request.timeout = kRequestTimeout;
    // A followed redirect would turn the upload into a body-less GET whose answer says nothing
    // about the logs.
    request.followRedirects = false;
    std::weak_ptr<ZVTHttpClient> weak = weak_from_this();
    const uint64_t session = session_;
    auto done = [weak, call, session](platform::URLResult result) {
        if (auto self = weak.lock()) self->requestCompleted(call, session, std::move(result));
    };
    if (transport_) {
        transport_(std::move(request), std::move(done));
        return;
    }
    // Never answers inline: the answer comes on the global queue.
    platform::URLLoader::shared().sendAsync(std::move(request), platform::globalQueue(),
                                            std::move(done));
}

void ZVTHttpClient::connectionFinishedLocked(const std::string& host) {
    auto running = runningPerHost_.find(host);
    if (running != runningPerHost_.end() && running->second > 0) --running->second;
    auto waiting = waitingPerHost_.find(host);
    while (waiting != waitingPerHost_.end() && !waiting->second.empty()) {
        auto next = waiting->second.front();
        waiting->second.pop_front();
        if (isPendingLocked(next)) {
            launchLocked(next);
            return;
        }
        next->inProgress = false;  // cancelled while it waited
    }
}

void ZVTHttpClient::requestCompleted(const std::shared_ptr<ZVTHttpCall>& call, uint64_t session,
                                     platform::URLResult result) {
    Handlers handlers;
    bool fatal = false;
    {
        std::lock_guard lock(mutex_);
        call->inProgress = false;
        if (session == session_) connectionFinishedLocked(hostOf(call->url()));
        if (session != session_ || !isPendingLocked(call)) {
            ZVTLogDebug(kZVTLogTag, "HTTP call was canceled; do not process further.");
            return;
        }
        answerLocked(call, result, handlers, fatal);
    }
    for (auto& handler : handlers) handler();
    if (!fatal) return;
    // The failed call was answered first; now the client disables itself for good.
    Handlers cancelled;
    {
        std::lock_guard lock(mutex_);
        pauseLocked();
        cancelAllLocked(cancelled);
    }
    if (reachability_) reachability_->stopNotifier();
    for (auto& handler : cancelled) handler();
}

void ZVTHttpClient::answerLocked(const std::shared_ptr<ZVTHttpCall>& call,
                                 platform::URLResult& result, Handlers& handlers, bool& fatal) {
    auto handler = call->completionHandler();
    if (result.error) {
        const ZVTError error = ZVTHttpUtil::errorFromURLError(*result.error, networkReachable());
        const bool noInternet = ZVTHttpUtil::isNoInternetConnectionError(error);
        if (noInternet || ZVTHttpUtil::isSSLConnectionError(error)) {
            call->resetRetry();  // waits for the next resume
            ZVTLogInfo(kZVTLogTag, "HTTP call failed with error: ",
                       noInternet ? "Internet connection is down."
                                  : "Could not establish secure connection.");
            return;
        }
        ZVTLogError(kZVTLogTag, "HTTP request error with code: ", error.code,
                    ", domain: ", error.domain, ", description: ", error.localizedDescription);
        removeLocked(call);
        if (handler) handlers.push_back([handler, error] { handler(std::nullopt, {}, error); });
        return;
    }
    const long status = result.response.status;
    auto response = std::make_shared<platform::URLResponse>(std::move(result.response));
    auto answer = [handler, response] {
        if (handler) handler(*response, response->body, std::nullopt);
    };
    if (ZVTHttpUtil::isRedirectStatusCode(status)) {
        // Not followed and not retried: the caller keeps its logs, and the client waits for the
        // next resume as after its retries ran out.
        ZVTLogError(kZVTLogTag, "HTTP call was redirected with status code: ", status, " to \"",
                    response->header("Location").value_or(std::string()),
                    "\"; nothing is deleted and the logs are kept for a later attempt.");
        pauseLocked();
        removeLocked(call);
        handlers.push_back(answer);
        return;
    }
    if (ZVTHttpUtil::isRecoverableError(status)) {
        if (call->hasReachedMaxRetries()) {
            pauseLocked();
            removeLocked(call);
            handlers.push_back(answer);
            return;
        }
        auto retryAfter =
            ZVTHttpUtil::retryAfterMilliseconds(response->header("x-zv-retry-after-ms"));
        std::weak_ptr<ZVTHttpClient> weakSelf = weak_from_this();
        std::weak_ptr<ZVTHttpCall> weakCall = call;
        call->startRetryTimerWithStatusCode(status, retryAfter, [weakSelf, weakCall] {
            auto self = weakSelf.lock();
            auto again = weakCall.lock();
            if (self && again) self->sendCallAsync(again);
        });
        return;
    }
    removeLocked(call);
    handlers.push_back(answer);
    if (!ZVTHttpUtil::isSuccessStatusCode(status)) {
        enabled_ = false;  // from now on every send is refused, before anything else can slip out
        fatal = true;
    }
}

void ZVTHttpClient::pause() {
    std::lock_guard lock(mutex_);
    pauseLocked();
}

void ZVTHttpClient::pauseLocked() {
    if (paused_) return;
    ZVTLogInfo(kZVTLogTag, "Pause HTTP client.");
    paused_ = true;
    for (auto& call : pendingCalls_) call->resetRetry();
}

void ZVTHttpClient::resume() {
    std::vector<std::shared_ptr<ZVTHttpCall>> toSend;
    {
        std::lock_guard lock(mutex_);
        if (!paused_ || !enabled_) return;
        ZVTLogInfo(kZVTLogTag, "Resume HTTP client.");
        paused_ = false;
        for (auto& call : pendingCalls_) {
            if (!call->inProgress) toSend.push_back(call);
        }
    }
    for (auto& call : toSend) sendCallAsync(call);
}

void ZVTHttpClient::setEnabled(bool isEnabled) {
    std::lock_guard lock(mutex_);
    enabled_ = isEnabled;
}

void ZVTHttpClient::setEnabled(bool isEnabled, bool deleteDataOnDisabled) {
    Handlers cancelled;
    {
        std::lock_guard lock(mutex_);
        if (enabled_ == isEnabled) return;
        enabled_ = isEnabled;
        if (!isEnabled) {
            pauseLocked();
            if (deleteDataOnDisabled) cancelAllLocked(cancelled);
        }
    }
    if (isEnabled) {
        if (reachability_) reachability_->startNotifier();
        resume();
    } else if (reachability_) {
        reachability_->stopNotifier();
    }
    for (auto& handler : cancelled) handler();
}

void ZVTHttpClient::cancelAllLocked(Handlers& handlers) {
    ++session_;  // running requests are dropped; their answers are ignored
    runningPerHost_.clear();
    waitingPerHost_.clear();
    const ZVTError error = sdkError(ZVTCanceledErrorCode, "The operation was canceled.");
    for (auto& call : pendingCalls_) {
        call->resetRetry();
        call->inProgress = false;
        if (auto handler = call->completionHandler()) {
            handlers.push_back([handler, error] { handler(std::nullopt, {}, error); });
        }
    }
    pendingCalls_.clear();
}

void ZVTHttpClient::networkStateChanged() {
    if (networkReachable()) {
        ZVTLogInfo(kZVTLogTag, "Internet connection is up.");
        resume();
    } else {
        ZVTLogInfo(kZVTLogTag, "Internet connection is down.");
        pause();
    }
}

bool ZVTHttpClient::networkReachable() const {
    return !reachability_ || reachability_->currentReachabilityStatus() != ZVTNotReachable;
}

bool ZVTHttpClient::isPendingLocked(const std::shared_ptr<ZVTHttpCall>& call) const {
    return std::find(pendingCalls_.begin(), pendingCalls_.end(), call) != pendingCalls_.end();
}

void ZVTHttpClient::removeLocked(const std::shared_ptr<ZVTHttpCall>& call) {
    std::erase(pendingCalls_, call);
}

std::shared_ptr<ZVTHttpClientDelegate> ZVTHttpClient::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

void ZVTHttpClient::setDelegate(const std::shared_ptr<ZVTHttpClientDelegate>& delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = delegate;
}

bool ZVTHttpClient::isPaused() const {
    std::lock_guard lock(mutex_);
    return paused_;
}

bool ZVTHttpClient::isEnabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

size_t ZVTHttpClient::pendingCallCount() const {
    std::lock_guard lock(mutex_);
    return pendingCalls_.size();
}

std::vector<std::shared_ptr<ZVTHttpCall>> ZVTHttpClient::pendingCalls() const {
    std::lock_guard lock(mutex_);
    return pendingCalls_;
}

void ZVTHttpClient::setCompressor(ZVTCompressor compressor) {
    std::lock_guard lock(mutex_);
    compressor_ = std::move(compressor);
}

void ZVTHttpClient::setTransport(Transport transport) {
    std::lock_guard lock(mutex_);
    transport_ = std::move(transport);
}
