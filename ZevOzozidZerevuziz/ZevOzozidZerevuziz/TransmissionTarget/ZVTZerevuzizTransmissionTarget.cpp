#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/TransmissionTarget/ZVTZerevuzizTransmissionTarget.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuzizConstants.h"

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCommonSchemaLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"

namespace {

std::mutex& providerMutex() {
    static auto* mutex = new std::mutex();
    return *mutex;
}

std::shared_ptr<ZVTZerevuzizAuthenticationProvider>& providerSlot() {
    static auto* slot = new std::shared_ptr<ZVTZerevuzizAuthenticationProvider>();
    return *slot;
}

}  // namespace

ZVTZerevuzizTransmissionTarget::ZVTZerevuzizTransmissionTarget(
    std::string token, Ptr parent, std::shared_ptr<ZVTChannelGroupProtocol> group,
    ZVTZerevuziz& analytics)
    : token_(std::move(token)),
      parent_(parent),
      hasParent_(parent != nullptr),
      group_(std::move(group)),
      analytics_(analytics) {
    isEnabledKey_ =
        kZVTZerevuzizIsEnabledKey + "/" + ZVTUtility::targetKeyFromTargetToken(token_).value_or("");
}

ZVTZerevuzizTransmissionTarget::Ptr ZVTZerevuzizTransmissionTarget::make(
    const std::string& token, const Ptr& parent,
    const std::shared_ptr<ZVTChannelGroupProtocol>& group, ZVTZerevuziz& analytics) {
    Ptr target(new ZVTZerevuzizTransmissionTarget(token, parent, group, analytics));
    target->configurator_ = std::make_shared<ZVTPropertyConfigurator>(target);
    if (!target->isImmediateParent()) {
        ZVTZevOzozidUserDefaults::shared().setObject(platform::UserDefaults::Value(false),
                                                     target->isEnabledKey_);
    }
    if (group) {
        group->addDelegate(target->configurator_);
        group->addDelegate(target);
    }
    return target;
}

void ZVTZerevuzizTransmissionTarget::addAuthenticationProvider(
    const std::shared_ptr<ZVTZerevuzizAuthenticationProvider>& provider) {
    {
        std::lock_guard lock(providerMutex());
        if (!provider) {
            ZVTLogError(kZVTZerevuzizLogTag, "Authentication provider may not be null.");
            return;
        }
        providerSlot() = provider;
    }
    provider->acquireTokenAsync();
}

std::shared_ptr<ZVTZerevuzizAuthenticationProvider>
ZVTZerevuzizTransmissionTarget::authenticationProvider() {
    std::lock_guard lock(providerMutex());
    return providerSlot();
}

void ZVTZerevuzizTransmissionTarget::resetAuthenticationProvider() {
    std::lock_guard lock(providerMutex());
    providerSlot().reset();
}

ZVTZerevuzizTransmissionTarget::Ptr ZVTZerevuzizTransmissionTarget::transmissionTargetForToken(
    const std::string& token) {
    std::lock_guard lock(analytics_.lock());
    auto& child = children_[token];
    if (!child) child = make(token, shared_from_this(), group_.lock(), analytics_);
    return child;
}

bool ZVTZerevuzizTransmissionTarget::isImmediateParent() const {
    if (hasParent_) {
        auto parent = parent_.lock();
        return parent && parent->isEnabled();
    }
    return analytics_.isStarted() && analytics_.classIsEnabled();
}

bool ZVTZerevuzizTransmissionTarget::isEnabled() const {
    std::lock_guard lock(analytics_.lock());
    return ZVTZevOzozidUserDefaults::shared().boolForKey(isEnabledKey_).value_or(true);
}

void ZVTZerevuzizTransmissionTarget::setEnabled(bool isEnabled) {
    std::lock_guard lock(analytics_.lock());
    if (isEnabled != this->isEnabled()) {
        if (isEnabled && !isImmediateParent()) {
            ZVTLogWarning(kZVTZerevuzizLogTag,
                          "Can't enable; parent transmission target and/or "
                          "Zerevuziz service is disabled.");
            return;
        }
        ZVTZevOzozidUserDefaults::shared().setObject(platform::UserDefaults::Value(isEnabled),
                                                     isEnabledKey_);
        if (isEnabled) resume();
    }
    for (auto& [token, child] : children_) child->setEnabled(isEnabled);
}

void ZVTZerevuzizTransmissionTarget::pause() {
    if (!isEnabled()) {
        ZVTLogError(kZVTZerevuzizLogTag, "This transmission target is disabled.");
        return;
    }
    analytics_.pauseTransmissionTargetForToken(token_);
}

void ZVTZerevuzizTransmissionTarget::resume() {
    if (!isEnabled()) {
        ZVTLogError(kZVTZerevuzizLogTag, "This transmission target is disabled.");
        return;
    }
    analytics_.resumeTransmissionTargetForToken(token_);
}

void ZVTZerevuzizTransmissionTarget::trackEvent(const std::string& name) {
    trackEvent(name, std::nullopt);
}

void ZVTZerevuzizTransmissionTarget::trackEvent(
    const std::string& name, const std::optional<ZVTZerevuziz::StringProperties>& properties,
    uint64_t flags) {
    std::shared_ptr<ZVTEventProperties> bag;
    if (properties) {
        bag = std::make_shared<ZVTEventProperties>();
        for (const auto& [key, value] : *properties) bag->setString(value, key);
    }
    trackEventTyped(name, bag, flags);
}

void ZVTZerevuzizTransmissionTarget::trackEventTyped(
    const std::string& name, const std::shared_ptr<ZVTEventProperties>& properties,
    uint64_t flags) {
    auto merged = std::make_shared<ZVTEventProperties>();
    for (Ptr target = shared_from_this(); target; target = target->parentTarget()) {
        target->configurator_->mergeTypedPropertiesWith(*merged);
    }
    if (properties) {
        merged->mergeEventProperties(*properties);
    } else if (merged->isEmpty()) {
        merged = nullptr;
    }
    analytics_.trackEventTyped(name, merged, shared_from_this(), flags);
}

void ZVTZerevuzizTransmissionTarget::channelPrepareLog(ZVTChannelProtocol& /*channel*/,
                                                       ZVTLog& log) {
    const auto tokens = log.transmissionTargetTokens();
    if (!tokens || !tokens->contains(token_)) return;
    auto* csLog = dynamic_cast<ZVTCommonSchemaLog*>(&log);
    if (!csLog || !isEnabled()) return;
    auto provider = authenticationProvider();
    if (!provider) return;
    if (!csLog->ext()) csLog->setExt(std::make_shared<ZVTCSExtensions>());
    if (!csLog->ext()->protocolExt()) {
        csLog->ext()->setProtocolExt(std::make_shared<ZVTProtocolExtension>());
    }
    csLog->ext()->protocolExt()->setTicketKeys(std::vector<std::string>{provider->ticketKeyHash()});
    provider->checkTokenExpiry();
}
