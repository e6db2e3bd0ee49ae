#pragma once

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Internals/Session/ZVTSessionTracker.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTEventProperties.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuzizDelegate.h"

#include "ZevOzozid/ZevOzozid/ZVTServiceAbstract.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ZVTZerevuzizTransmissionTarget;

// The analytics service: custom events, page views and automatic sessions become logs on the
// "Zerevuziz" unit (critical events on "Zerevuziz_critical"); events for a transmission target
// also go to the common-schema collector. One shared instance, started by the SDK entry.
//
// Threads: every public member is safe from any thread. Building and routing an event, a page
// view, pause and resume hold the service lock (the base's recursive lock), which the
// transmission targets share for their enabled state and property bags; the token maps and the
// collector units are guarded by it too. Send results reach the delegate on the channel's thread;
// the missed page view replay runs on the main queue.
class ZVTZerevuziz : public ZVTServiceAbstract,
                     public ZVTSessionTrackerDelegate,
                     public ZVTChannelDelegate {
  public:
    // String properties in the caller's order; an absent value drops its entry with a warning.
    using StringProperties = std::vector<std::pair<std::string, std::optional<std::string>>>;
    using TargetPtr = std::shared_ptr<ZVTZerevuzizTransmissionTarget>;

    static constexpr uint64_t kDefaultFlushInterval = 6;
    static constexpr uint64_t kMinFlushInterval = 6;
    static constexpr uint64_t kMaxFlushInterval = 86400;
    static inline const std::string kCriticalGroupId = "Zerevuziz_critical";
    static inline const std::string kCSCollectorSuffix = "/one";

    // Runs the settings and archive migrations, makes the session tracker.
    explicit ZVTZerevuziz(ZVTSessionContext& context = ZVTSessionContext::sharedInstance());
    ~ZVTZerevuziz() override;

    static ZVTZerevuziz& sharedInstance();
    // Stops the shared instance's session tracker and forgets it; the next use makes a new one.
    static void resetSharedInstance();

    // --- Class-level operations on the shared instance
    // Part of the SDK's public surface: the program itself only starts the service, so pause,
    // resume, automatic page tracking, the transmission interval, targets and the enabled state
    // have no caller in it yet.
    static void trackEvent(const std::string& name);
    static void trackEvent(const std::string& name,
                           const std::optional<StringProperties>& properties);
    static void trackEvent(const std::string& name,
                           const std::optional<StringProperties>& properties, uint64_t flags);
    static void trackEventTyped(const std::string& name,
                                const std::shared_ptr<ZVTEventProperties>& properties,
                                uint64_t flags = 1);
    static void trackPage(const std::optional<std::string>& name);
    static void trackPage(const std::optional<std::string>& name,
                          const std::optional<StringProperties>& properties);
    static void pauseShared();
    static void resumeShared();
    static void startSession();
    static void enableManualSessionTracker();
    static void setAutoPageTrackingEnabled(bool enabled);
    static bool isAutoPageTrackingEnabled();
    static uint64_t transmissionInterval();
    static void setTransmissionIntervalShared(uint64_t seconds);
    static TargetPtr transmissionTargetForTokenShared(const std::string& token);
    static void setDelegate(std::shared_ptr<ZVTZerevuzizDelegate> delegate);
    static bool isEnabledShared() { return sharedInstance().classIsEnabled(); }
    static void setEnabledShared(bool enabled) { sharedInstance().classSetEnabled(enabled); }

    // --- Service identity
    std::string className() const override { return "ZVTZerevuziz"; }
    std::string serviceName() const override { return "Zerevuziz"; }
    std::string groupId() const override { return "Zerevuziz"; }
    std::string logTag() const override { return "ZevOzozidZerevuziz"; }
    bool isAppSecretRequired() const override { return false; }
    std::optional<ZVTChannelUnitConfiguration> channelUnitConfiguration() const override;

    // --- Instance operations
    void startWithChannelGroup(const std::shared_ptr<ZVTChannelGroupProtocol>& channelGroup,
                               const std::optional<std::string>& appSecret,
                               const std::optional<std::string>& transmissionTargetToken,
                               bool fromApplication) override;
    void updateConfigurationWithAppSecret(
        const std::optional<std::string>& appSecret,
        const std::optional<std::string>& transmissionTargetToken) override;
    void setEnabled(bool isEnabled) override;
    void applyEnabledState(bool isEnabled) override;

    void trackEvent(const std::string& name, const std::optional<StringProperties>& properties,
                    const TargetPtr& target, uint64_t flags);
    void trackEventTyped(const std::optional<std::string>& name,
                         const std::shared_ptr<ZVTEventProperties>& properties,
                         const TargetPtr& target, uint64_t flags);
    void trackPageInstance(const std::optional<std::string>& name,
                           const std::optional<StringProperties>& properties);
    void sendLog(const std::shared_ptr<ZVTLog>& log, uint64_t flags);
    void pause();
    void resume();
    void setTransmissionInterval(uint64_t seconds);
    uint64_t flushInterval() const;

    // One target per token, made on first request (the service lock guards the map).
    TargetPtr transmissionTargetForToken(const std::string& token);
    TargetPtr createTransmissionTargetForToken(const std::string& token);
    void pauseTransmissionTargetForToken(const std::string& token);
    void resumeTransmissionTargetForToken(const std::string& token);
    std::shared_ptr<ZVTChannelUnitProtocol> csCollectorChannelUnit();
    std::shared_ptr<ZVTChannelUnitProtocol> csCollectorCriticalChannelUnit();
    static ZVTEventProperties::StringPairs removeInvalidProperties(
        const std::optional<StringProperties>& properties);

    TargetPtr defaultTransmissionTarget() const;
    std::shared_ptr<ZVTChannelUnitProtocol> criticalChannelUnit() const;
    std::shared_ptr<ZVTSessionTracker> sessionTracker() const { return sessionTracker_; }
    void setAutoPageTrackingEnabledInstance(bool enabled) { autoPageTracking_ = enabled; }
    bool autoPageTrackingEnabled() const { return autoPageTracking_; }
    void setDelegateInstance(std::shared_ptr<ZVTZerevuzizDelegate> delegate);
    // Serialises the targets' enabled state and property bags with the service's events.
    std::recursive_mutex& lock() const { return serviceMutex(); }

    // --- Session tracker delegate
    void sessionTrackerProcessLog(ZVTSessionTracker& tracker,
                                  const std::shared_ptr<ZVTLog>& log) override;

    // --- Channel delegate
    void channelWillSendLog(ZVTChannelProtocol& channel, ZVTLog& log) override;
    void channelDidSucceedSendingLog(ZVTChannelProtocol& channel, ZVTLog& log) override;
    void channelDidFailSendingLog(ZVTChannelProtocol& channel, ZVTLog& log,
                                  const ZVTError& error) override;
    bool channelUnitShouldFilterLog(ZVTChannelUnitProtocol& unit, ZVTLog& log) override;

  private:
    std::shared_ptr<ZVTZerevuzizDelegate> currentDelegate() const;
    std::shared_ptr<ZVTChannelUnitProtocol> collectorUnit(
        std::shared_ptr<ZVTChannelUnitProtocol>& slot, const std::string& groupId);
    void scheduleMissedPageViewReplay();

    std::shared_ptr<ZVTZerevuziz> self_;  // non-owning handle for the weak delegate tables
    std::shared_ptr<ZVTSessionTracker> sessionTracker_;
    std::atomic<bool> autoPageTracking_{false};
    uint64_t flushInterval_ = kDefaultFlushInterval;
    std::optional<ZVTChannelUnitConfiguration> channelUnitConfiguration_;
    // Its own lock: the send callbacks come from the logs queue and must never wait for the
    // service lock.
    mutable std::mutex delegateMutex_;
    std::shared_ptr<ZVTZerevuzizDelegate> delegate_;
    std::map<std::string, TargetPtr> transmissionTargets_;
    TargetPtr defaultTransmissionTarget_;
    std::shared_ptr<ZVTChannelUnitProtocol> criticalChannelUnit_;
    std::shared_ptr<ZVTChannelUnitProtocol> csCollectorChannelUnit_;
    std::shared_ptr<ZVTChannelUnitProtocol> csCollectorCriticalChannelUnit_;
};
