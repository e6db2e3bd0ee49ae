#pragma once

#include "platform/NotificationCenter.h"
#include "platform/URLLoader.h"

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpCall.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClientProtocol.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVT_Reachability.h"

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The SDK's transport. Sends calls through the platform URL loader, retries recoverable failures
// (status 0, 408, 429, 500 and above) after randomised delays (half to all of each retry
// interval, or the server's "x-zv-retry-after-ms" capped at the longest interval), holds every
// call while the network is down or the client is paused, and answers each call's handler once.
// After the retries are used up the client pauses itself. Redirects are never followed: a 3xx
// answers its call (one ERROR line with the status and the Location) and pauses the client, so
// the caller keeps its logs. Any other non-2xx status (a 4xx) answers its call, then disables
// the client until it is enabled again and cancels its other calls (error code 2); the channel
// keeps the logs of all of them for the next run.
//
// Own it through std::shared_ptr (std::make_shared): answers and retry timers find the client
// through it. Every member is safe from any thread. Handlers run on the global queue (or on the
// caller's thread for an immediate refusal), never under the client's lock. Requests time out
// after 10 s without a connection and after 60 s in all.
class ZVTHttpClient : public ZVTHttpClientProtocol,
                      public std::enable_shared_from_this<ZVTHttpClient> {
  public:
    static constexpr std::chrono::milliseconds kConnectTimeout{10000};
    static constexpr std::chrono::milliseconds kRequestTimeout{60000};
    static const std::vector<std::chrono::milliseconds>& defaultRetryIntervals();

    // No connection limit; the monitor of the internet connection.
    ZVTHttpClient();
    explicit ZVTHttpClient(long maxHttpConnectionsPerHost);
    // Starts the monitor, whose first notice pauses or resumes the client to match the network.
    // A null monitor counts as a network that is always up.
    ZVTHttpClient(std::optional<long> maxHttpConnectionsPerHost,
                  std::shared_ptr<ZVT_Reachability> reachability);
    ~ZVTHttpClient() override;
    ZVTHttpClient(const ZVTHttpClient&) = delete;
    ZVTHttpClient& operator=(const ZVTHttpClient&) = delete;

    void sendAsync(const std::string& url, const std::string& method,
                   const std::map<std::string, std::string>& headers,
                   const std::optional<std::string>& data,
                   ZVTHttpRequestCompletionHandler completionHandler) override;
    // On a disabled client the handler is called at once with error code 3.
    void sendAsync(const std::string& url, const std::string& method,
                   const std::map<std::string, std::string>& headers,
                   const std::optional<std::string>& data,
                   const std::vector<std::chrono::milliseconds>& retryIntervals,
                   bool compressionEnabled,
                   ZVTHttpRequestCompletionHandler completionHandler) override;
    // Adds the call to the pending ones and sends it unless the client is paused.
    void sendCallAsync(const std::shared_ptr<ZVTHttpCall>& call);

    // Holds calls from now on and clears their retries; running requests go on.
    void pause() override;
    // When paused and enabled: sends every pending call that is not running, from retry 0.
    void resume() override;
    void setEnabled(bool isEnabled) override;
    // Enabling restarts the monitor and resumes. Disabling pauses and stops the monitor; with
    // deletion it also drops the running requests and answers every pending call with error
    // code 2. A client disabled without deletion keeps its calls for the next enable.
    void setEnabled(bool isEnabled, bool deleteDataOnDisabled);
    // Resumes when the client's own monitor reports the network, pauses otherwise. Main thread.
    void networkStateChanged();

    std::shared_ptr<ZVTHttpClientDelegate> delegate() const override;
    void setDelegate(const std::shared_ptr<ZVTHttpClientDelegate>& delegate) override;

    bool isEnabled() const;
    std::vector<std::shared_ptr<ZVTHttpCall>> pendingCalls() const;

    // For tests:
    bool isPaused() const;
    size_t pendingCallCount() const;
    // Replaces the gzip routine of calls made from now on (empty: the SDK's own).
    void setCompressor(ZVTCompressor compressor);
    // Where requests go instead of the platform URL loader (empty: the loader). It is called
    // under the client's lock, so it must answer (`done`, once) later, never inside the call.
    // Fuzzing uses it too.
    using Transport = std::function<void(platform::URLRequest request,
                                         std::function<void(platform::URLResult)> done)>;
    void setTransport(Transport transport);

  private:
    struct Alive;
    using Handlers = std::vector<std::function<void()>>;

    void requestCompleted(const std::shared_ptr<ZVTHttpCall>& call, uint64_t session,
                          platform::URLResult result);
    void answerLocked(const std::shared_ptr<ZVTHttpCall>& call, platform::URLResult& result,
                      Handlers& handlers, bool& fatal);
    void startLocked(const std::shared_ptr<ZVTHttpCall>& call);
    void launchLocked(const std::shared_ptr<ZVTHttpCall>& call);
    void connectionFinishedLocked(const std::string& host);
    void pauseLocked();
    void cancelAllLocked(Handlers& handlers);
    bool isPendingLocked(const std::shared_ptr<ZVTHttpCall>& call) const;
    void removeLocked(const std::shared_ptr<ZVTHttpCall>& call);
    bool networkReachable() const;

    mutable std::mutex mutex_;
    bool paused_ = false;
    bool enabled_ = true;
    std::weak_ptr<ZVTHttpClientDelegate> delegate_;
    // The URL session: requests of an earlier session are answered by nobody.
    uint64_t session_ = 1;
    std::shared_ptr<ZVT_Reachability> reachability_;
    std::vector<std::shared_ptr<ZVTHttpCall>> pendingCalls_;
    std::optional<long> maxConnectionsPerHost_;
    std::map<std::string, long> runningPerHost_;
    std::map<std::string, std::deque<std::shared_ptr<ZVTHttpCall>>> waitingPerHost_;
    ZVTCompressor compressor_;
    Transport transport_;
    std::shared_ptr<Alive> alive_;
    platform::ObserverToken networkObserver_;
};
