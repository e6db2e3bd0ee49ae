#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuziz.h"

#include "platform/Dispatch.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Category/ZVTZerevuzizCategory.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Internals/Validation/ZVTZerevuzizValidation.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTEventLog.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/TransmissionTarget/ZVTZerevuzizTransmissionTarget.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuzizArchivableClasses.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuzizConstants.h"

#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTUserIdContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSingleton.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

namespace {

ZVTSingleton<ZVTZerevuziz>& singleton() {
    static auto* holder = new ZVTSingleton<ZVTZerevuziz>();
    return *holder;
}

}  // namespace

ZVTZerevuziz::ZVTZerevuziz(ZVTSessionContext& context) : self_(this, [](ZVTZerevuziz*) {}) {
    ZVTZevOzozidUserDefaults::shared().migrateKeys(
        {{"ZVZevOzozidZerevuzizIsEnabled", ZVTUserDefaultsPrefixKey{"kZVZerevuzizIsEnabledKey"}},
         {"ZVZevOzozidPastSessions", std::string("pastSessionsKey")}},
        "Zerevuziz");
    zvtRegisterZerevuzizArchivableClasses();
    sessionTracker_ = std::make_shared<ZVTSessionTracker>(context);
    sessionTracker_->setDelegate(self_);
}

ZVTZerevuziz::~ZVTZerevuziz() {
    if (auto group = channelGroup()) {
        group->removeDelegate(sessionTracker_);
        group->removeDelegate(self_);
    }
    sessionTracker_->stop();
}

ZVTZerevuziz& ZVTZerevuziz::sharedInstance() {
    return singleton().shared();
}

void ZVTZerevuziz::resetSharedInstance() {
    sharedInstance().sessionTracker_->stop();
    singleton().reset();
}

// --- Class-level operations

void ZVTZerevuziz::trackEvent(const std::string& name) {
    trackEvent(name, std::nullopt);
}

void ZVTZerevuziz::trackEvent(const std::string& name,
                              const std::optional<StringProperties>& properties) {
    trackEvent(name, properties, ZVTFlagsNormal);
}

void ZVTZerevuziz::trackEvent(const std::string& name,
                              const std::optional<StringProperties>& properties, uint64_t flags) {
    sharedInstance().trackEvent(name, properties, nullptr, flags);
}

void ZVTZerevuziz::trackEventTyped(const std::string& name,
                                   const std::shared_ptr<ZVTEventProperties>& properties,
                                   uint64_t flags) {
    sharedInstance().trackEventTyped(name, properties, nullptr, flags);
}

void ZVTZerevuziz::trackPage(const std::optional<std::string>& name) {
    trackPage(name, std::nullopt);
}

void ZVTZerevuziz::trackPage(const std::optional<std::string>& name,
                             const std::optional<StringProperties>& properties) {
    sharedInstance().trackPageInstance(name, properties);
}

void ZVTZerevuziz::pauseShared() {
    sharedInstance().pause();
}

void ZVTZerevuziz::resumeShared() {
    sharedInstance().resume();
}

void ZVTZerevuziz::startSession() {
    sharedInstance().sessionTracker_->startSession();
}

void ZVTZerevuziz::enableManualSessionTracker() {
    sharedInstance().sessionTracker_->enableManualSessionTracker();
}

void ZVTZerevuziz::setAutoPageTrackingEnabled(bool enabled) {
    sharedInstance().setAutoPageTrackingEnabledInstance(enabled);
}

bool ZVTZerevuziz::isAutoPageTrackingEnabled() {
    return sharedInstance().autoPageTrackingEnabled();
}

uint64_t ZVTZerevuziz::transmissionInterval() {
    return sharedInstance().flushInterval();
}

void ZVTZerevuziz::setTransmissionIntervalShared(uint64_t seconds) {
    sharedInstance().setTransmissionInterval(seconds);
}

ZVTZerevuziz::TargetPtr ZVTZerevuziz::transmissionTargetForTokenShared(const std::string& token) {
    return sharedInstance().transmissionTargetForToken(token);
}

void ZVTZerevuziz::setDelegate(std::shared_ptr<ZVTZerevuzizDelegate> delegate) {
    sharedInstance().setDelegateInstance(std::move(delegate));
}

// --- Start, configuration and enabled state

std::optional<ZVTChannelUnitConfiguration> ZVTZerevuziz::channelUnitConfiguration() const {
    std::lock_guard lock(serviceMutex());
    return channelUnitConfiguration_;
}

void ZVTZerevuziz::startWithChannelGroup(
    const std::shared_ptr<ZVTChannelGroupProtocol>& channelGroup,
    const std::optional<std::string>& appSecret,
    const std::optional<std::string>& transmissionTargetToken, bool fromApplication) {
    std::lock_guard lock(serviceMutex());
    channelUnitConfiguration_ =
        ZVTChannelUnitConfiguration::defaultConfiguration(groupId(), flushInterval_);
    ZVTServiceAbstract::startWithChannelGroup(channelGroup, appSecret, transmissionTargetToken,
                                              fromApplication);
    if (transmissionTargetToken) {
        defaultTransmissionTarget_ = createTransmissionTargetForToken(*transmissionTargetToken);
    }
    if (channelGroup) {
        criticalChannelUnit_ = channelGroup->addChannelUnitWithConfiguration(
            ZVTChannelUnitConfiguration::defaultConfiguration(kCriticalGroupId));
    }
    ZVTLogVerbose(kZVTZerevuzizLogTag, "Started Zerevuziz service.");
}

void ZVTZerevuziz::updateConfigurationWithAppSecret(
    const std::optional<std::string>& appSecret,
    const std::optional<std::string>& transmissionTargetToken) {
    std::lock_guard lock(serviceMutex());
    ZVTServiceAbstract::updateConfigurationWithAppSecret(appSecret, transmissionTargetToken);
    if (transmissionTargetToken && !defaultTransmissionTarget_) {
        defaultTransmissionTarget_ = createTransmissionTargetForToken(*transmissionTargetToken);
    }
}

void ZVTZerevuziz::setEnabled(bool isEnabled) {
    std::lock_guard lock(serviceMutex());
    ZVTServiceAbstract::setEnabled(isEnabled);
    for (auto& [token, target] : transmissionTargets_) target->setEnabled(isEnabled);
    if (defaultTransmissionTarget_) defaultTransmissionTarget_->setEnabled(isEnabled);
}

void ZVTZerevuziz::applyEnabledState(bool isEnabled) {
    std::lock_guard lock(serviceMutex());
    ZVTServiceAbstract::applyEnabledState(isEnabled);
    // At start this runs before the critical unit exists; start applies it there.
    if (criticalChannelUnit_) criticalChannelUnit_->setEnabled(isEnabled, true);
    if (isStartedFromApplication()) {
        auto group = channelGroup();
        if (isEnabled) {
            resume();
            sessionTracker_->start();
            if (group) {
                group->addDelegate(sessionTracker_);
                group->addDelegate(self_);
            }
            if (autoPageTracking_) scheduleMissedPageViewReplay();
        } else {
            if (group) {
                group->removeDelegate(sessionTracker_);
                group->removeDelegate(self_);
            }
            sessionTracker_->stop();
            sessionTracker_->context().clearSessionHistoryAndKeepCurrentSession(false);
        }
    }
    ZVTLogInfo(kZVTZerevuzizLogTag, "Zerevuziz service has been ",
               isEnabled ? "enabled." : "disabled.");
}

void ZVTZerevuziz::scheduleMissedPageViewReplay() {
    platform::mainQueue().async([] {
        const auto name = ZVTZerevuzizCategory::missedPageViewName();
        if (name && !name->empty()) ZVTZerevuziz::trackPage(*name);
    });
}

// --- Events and page views

ZVTEventProperties::StringPairs ZVTZerevuziz::removeInvalidProperties(
    const std::optional<StringProperties>& properties) {
    ZVTEventProperties::StringPairs valid;
    if (!properties) return valid;
    for (const auto& [key, value] : *properties) {
        if (!value) {
            ZVTLogWarning(kZVTZerevuzizLogTag, "Event property contains an invalid value for key ",
                          key, ", dropping the property.");
            continue;
        }
        valid.emplace_back(key, *value);
    }
    return valid;
}

void ZVTZerevuziz::trackEvent(const std::string& name,
                              const std::optional<StringProperties>& properties,
                              const TargetPtr& target, uint64_t flags) {
    auto bag = std::make_shared<ZVTEventProperties>(removeInvalidProperties(properties));
    trackEventTyped(name, bag, target, flags);
}

void ZVTZerevuziz::trackEventTyped(const std::optional<std::string>& name,
                                   const std::shared_ptr<ZVTEventProperties>& properties,
                                   const TargetPtr& givenTarget, uint64_t flags) {
    std::lock_guard lock(serviceMutex());
    if (!canBeUsed() || !isEnabled()) return;
    const TargetPtr target = givenTarget ? givenTarget : defaultTransmissionTarget_;
    uint64_t persistence = flags & 0xFF;
    if (persistence != ZVTFlagsNormal && persistence != ZVTFlagsCritical) {
        ZVTLogWarning(kZVTZerevuzizLogTag, "Invalid flags (", persistence,
                      ") received, using normal as a default.");
        persistence = ZVTFlagsNormal;
    }
    auto log = std::make_shared<ZVTEventLog>();
    std::shared_ptr<ZVTEventProperties> bag = properties;
    if (target) {
        if (!target->isEnabled()) {
            ZVTLogError(kZVTZerevuzizLogTag, "This transmission target is disabled.");
            return;
        }
        log->addTransmissionTargetToken(target->transmissionTargetToken());
        log->setTag(target);
        if (target == defaultTransmissionTarget_) {
            log->setUserId(ZVTUserIdContext::sharedInstance().userId());
        }
    } else if (bag) {
        bag = ZVTZerevuzizValidation::validateZevOzozidEventProperties(*bag);
    }
    log->setName(name);
    log->setEventId(ZVTUUID::random().UUIDString());
    log->setTypedProperties(bag && !bag->isEmpty() ? bag : nullptr);
    sendLog(log, persistence);
}

void ZVTZerevuziz::trackPageInstance(const std::optional<std::string>& name,
                                     const std::optional<StringProperties>& properties) {
    std::lock_guard lock(serviceMutex());
    if (!canBeUsed() || !isEnabled()) return;
    auto log = std::make_shared<ZVTPageLog>();
    log->setName(name);
    if (properties && !properties->empty()) {
        const auto valid = removeInvalidProperties(properties);
        log->setProperties(ZVTPropertyMap(valid.begin(), valid.end()));
    }
    sendLog(log, ZVTFlagsNormal);
}

void ZVTZerevuziz::sendLog(const std::shared_ptr<ZVTLog>& log, uint64_t flags) {
    auto unit = (flags & ZVTFlagsCritical) ? criticalChannelUnit() : channelUnit();
    if (unit) unit->enqueueItem(log, flags);
}

void ZVTZerevuziz::sessionTrackerProcessLog(ZVTSessionTracker& /*tracker*/,
                                            const std::shared_ptr<ZVTLog>& log) {
    sendLog(log, ZVTFlagsNormal);
}

// --- Sending

void ZVTZerevuziz::pause() {
    std::lock_guard lock(serviceMutex());
    if (!canBeUsed()) return;
    if (auto unit = channelUnit()) unit->pauseWithIdentifyingObject(this);
    if (criticalChannelUnit_) criticalChannelUnit_->pauseWithIdentifyingObject(this);
}

void ZVTZerevuziz::resume() {
    std::lock_guard lock(serviceMutex());
    if (!canBeUsed()) return;
    if (auto unit = channelUnit()) unit->resumeWithIdentifyingObject(this);
    if (criticalChannelUnit_) criticalChannelUnit_->resumeWithIdentifyingObject(this);
}

void ZVTZerevuziz::setTransmissionInterval(uint64_t seconds) {
    std::lock_guard lock(serviceMutex());
    if (isStarted()) {
        ZVTLogError(kZVTZerevuzizLogTag,
                    "The transmission interval should be set before the ZVTZerevuziz service is "
                    "started.");
    } else if (seconds >= kMinFlushInterval && seconds <= kMaxFlushInterval) {
        flushInterval_ = seconds;
        ZVTLogDebug(kZVTZerevuzizLogTag, "Transmission interval set to ", seconds, " second(s)");
    } else {
        ZVTLogError(kZVTZerevuzizLogTag,
                    "The transmission interval is not valid, it should be "
                    "between ",
                    kMinFlushInterval, " second(s) and ", kMaxFlushInterval, " second(s) (1 day).");
    }
}

uint64_t ZVTZerevuziz::flushInterval() const {
    std::lock_guard lock(serviceMutex());
    return flushInterval_;
}

// --- Transmission targets

ZVTZerevuziz::TargetPtr ZVTZerevuziz::transmissionTargetForToken(const std::string& token) {
    std::lock_guard lock(serviceMutex());
    auto it = transmissionTargets_.find(token);
    if (it != transmissionTargets_.end()) {
        ZVTLogDebug(kZVTZerevuzizLogTag, "Returning transmission target found with id ",
                    ZVTUtility::targetKeyFromTargetToken(token).value_or(""), ".");
        return it->second;
    }
    auto target = createTransmissionTargetForToken(token);
    transmissionTargets_[token] = target;
    return target;
}

ZVTZerevuziz::TargetPtr ZVTZerevuziz::createTransmissionTargetForToken(const std::string& token) {
    std::lock_guard lock(serviceMutex());
    auto target = ZVTZerevuzizTransmissionTarget::make(token, nullptr, channelGroup(), *this);
    ZVTLogDebug(kZVTZerevuzizLogTag, "Created transmission target with target key ",
                ZVTUtility::targetKeyFromTargetToken(token).value_or(""), ".");
    return target;
}

void ZVTZerevuziz::pauseTransmissionTargetForToken(const std::string& token) {
    if (auto unit = csCollectorChannelUnit()) unit->pauseSendingLogsWithToken(token);
    if (auto unit = csCollectorCriticalChannelUnit()) unit->pauseSendingLogsWithToken(token);
}

void ZVTZerevuziz::resumeTransmissionTargetForToken(const std::string& token) {
    if (auto unit = csCollectorChannelUnit()) unit->resumeSendingLogsWithToken(token);
    if (auto unit = csCollectorCriticalChannelUnit()) unit->resumeSendingLogsWithToken(token);
}

std::shared_ptr<ZVTChannelUnitProtocol> ZVTZerevuziz::collectorUnit(
    std::shared_ptr<ZVTChannelUnitProtocol>& slot, const std::string& groupId) {
    std::lock_guard lock(serviceMutex());
    if (!slot) {
        if (auto group = channelGroup()) slot = group->channelUnitForGroupId(groupId);
    }
    return slot;
}

std::shared_ptr<ZVTChannelUnitProtocol> ZVTZerevuziz::csCollectorChannelUnit() {
    return collectorUnit(csCollectorChannelUnit_, groupId() + kCSCollectorSuffix);
}

std::shared_ptr<ZVTChannelUnitProtocol> ZVTZerevuziz::csCollectorCriticalChannelUnit() {
    return collectorUnit(csCollectorCriticalChannelUnit_, kCriticalGroupId + kCSCollectorSuffix);
}

ZVTZerevuziz::TargetPtr ZVTZerevuziz::defaultTransmissionTarget() const {
    std::lock_guard lock(serviceMutex());
    return defaultTransmissionTarget_;
}

std::shared_ptr<ZVTChannelUnitProtocol> ZVTZerevuziz::criticalChannelUnit() const {
    std::lock_guard lock(serviceMutex());
    return criticalChannelUnit_;
}

// --- Delegate and channel callbacks

void ZVTZerevuziz::setDelegateInstance(std::shared_ptr<ZVTZerevuzizDelegate> delegate) {
    std::lock_guard lock(delegateMutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<ZVTZerevuzizDelegate> ZVTZerevuziz::currentDelegate() const {
    std::lock_guard lock(delegateMutex_);
    return delegate_;
}

void ZVTZerevuziz::channelWillSendLog(ZVTChannelProtocol& /*channel*/, ZVTLog& log) {
    auto delegate = currentDelegate();
    if (!delegate) return;
    if (auto* event = dynamic_cast<ZVTEventLog*>(&log)) {
        delegate->analyticsWillSendEventLog(*this, *event);
    } else if (auto* page = dynamic_cast<ZVTPageLog*>(&log)) {
        delegate->analyticsWillSendPageLog(*this, *page);
    }
}

void ZVTZerevuziz::channelDidSucceedSendingLog(ZVTChannelProtocol& /*channel*/, ZVTLog& log) {
    auto delegate = currentDelegate();
    if (!delegate) return;
    if (auto* event = dynamic_cast<ZVTEventLog*>(&log)) {
        delegate->analyticsDidSucceedSendingEventLog(*this, *event);
    } else if (auto* page = dynamic_cast<ZVTPageLog*>(&log)) {
        delegate->analyticsDidSucceedSendingPageLog(*this, *page);
    }
}

void ZVTZerevuziz::channelDidFailSendingLog(ZVTChannelProtocol& /*channel*/, ZVTLog& log,
                                            const ZVTError& error) {
    auto delegate = currentDelegate();
    if (!delegate) return;
    if (auto* event = dynamic_cast<ZVTEventLog*>(&log)) {
        delegate->analyticsDidFailSendingEventLog(*this, *event, error);
    } else if (auto* page = dynamic_cast<ZVTPageLog*>(&log)) {
        delegate->analyticsDidFailSendingPageLog(*this, *page, error);
    }
}

bool ZVTZerevuziz::channelUnitShouldFilterLog(ZVTChannelUnitProtocol& /*unit*/, ZVTLog& log) {
    if (!dynamic_cast<ZVTEventLog*>(&log) && !dynamic_cast<ZVTPageLog*>(&log)) return false;
    return !ZVTZerevuzizValidation::validateLog(static_cast<ZVTLogWithNameAndProperties&>(log));
}
