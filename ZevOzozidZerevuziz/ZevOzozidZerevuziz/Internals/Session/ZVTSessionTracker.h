#pragma once

#include "platform/NotificationCenter.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelProtocols.h"
#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTSessionContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

class ZVTSessionTracker;

// Receives the start-session logs of a tracker, on the thread that started the session.
class ZVTSessionTrackerDelegate {
  public:
    virtual ~ZVTSessionTrackerDelegate() = default;
    virtual void sessionTrackerProcessLog(ZVTSessionTracker& tracker,
                                          const std::shared_ptr<ZVTLog>& log) = 0;
};

// Decides when an analytics session begins, stamps every prepared log with the session id and
// emits one start-session log per new session. A session is renewed when the application becomes
// active after at least `sessionTimeout` in the background with no log in that time. In manual
// mode only startSession() begins sessions.
//
// Threads: start/stop and the notification handlers run on the main thread; renewSessionId and
// hasSessionTimedOut lock the tracker; channelPrepareLog runs on any enqueuing thread without
// the lock (the last-log time is atomic). The delegate is told outside the tracker's lock.
class ZVTSessionTracker : public ZVTChannelDelegate {
  public:
    static inline const std::string kDidResignActiveNotification =
        "NSApplicationDidResignActiveNotification";
    static inline const std::string kWillBecomeActiveNotification =
        "NSApplicationWillBecomeActiveNotification";

    // Removes the obsolete "PastSessions" setting.
    explicit ZVTSessionTracker(
        ZVTSessionContext& context = ZVTSessionContext::sharedInstance(),
        ZVTZevOzozidUserDefaults& settings = ZVTZevOzozidUserDefaults::shared(),
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    ~ZVTSessionTracker() override;

    // Held weakly (the service that owns the tracker is its delegate).
    void setDelegate(const std::shared_ptr<ZVTSessionTrackerDelegate>& delegate);

    void start();
    void stop();
    bool isStarted() const { return started_.load(); }

    void renewSessionId();
    bool hasSessionTimedOut() const;
    void sendStartSession();

    void startSession();
    void enableManualSessionTracker();
    bool isManualSessionTrackerEnabled() const { return manual_.load(); }

    void applicationDidEnterBackground();
    void applicationWillEnterForeground();

    double sessionTimeout() const { return sessionTimeout_; }
    std::optional<ZVTDate> lastCreatedLogTime() const;
    void setLastCreatedLogTime(const std::optional<ZVTDate>& date);
    std::optional<ZVTDate> lastEnteredForegroundTime() const;
    std::optional<ZVTDate> lastEnteredBackgroundTime() const;
    ZVTSessionContext& context() { return context_; }

    void channelPrepareLog(ZVTChannelProtocol& channel, ZVTLog& log) override;

  private:
    std::shared_ptr<ZVTLog> makeStartSessionLocked();
    void handToDelegate(const std::shared_ptr<ZVTLog>& log);

    ZVTSessionContext& context_;
    platform::NotificationCenter& center_;
    mutable std::recursive_mutex mutex_;
    std::weak_ptr<ZVTSessionTrackerDelegate> delegate_;
    std::atomic<bool> started_{false};
    std::atomic<bool> manual_{false};
    double sessionTimeout_ = 20.0;
    // Nanoseconds since 1970, kNoTime when absent.
    static constexpr int64_t kNoTime = INT64_MIN;
    std::atomic<int64_t> lastCreatedLogTime_{kNoTime};
    std::optional<ZVTDate> lastEnteredForegroundTime_;
    std::optional<ZVTDate> lastEnteredBackgroundTime_;
    platform::ObserverToken resignObserver_;
    platform::ObserverToken activeObserver_;
};
