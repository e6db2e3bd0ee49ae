#include "ZevOzozid/ZevOzozid/ZVTServiceAbstract.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"
#include "ZevOzozid/ZevOzozid/ZVTZevOzozid.h"

void ZVTServiceAbstract::applyEnabledState(bool isEnabled) {
    if (auto unit = channelUnit()) unit->setEnabled(isEnabled, true);
}

bool ZVTServiceAbstract::canBeUsed() {
    if (ZVTZevOzozid::sharedInstance().isSdkConfigured() && isStarted()) return true;
    ZVTLogError(kZVTLogTag, shortClassName(),
                " service hasn't been started. You need to call [ZVTZevOzozid "
                "start:YOUR_APP_SECRET withServices:LIST_OF_SERVICES] first.");
    return false;
}

void ZVTServiceAbstract::startWithChannelGroup(
    const std::shared_ptr<ZVTChannelGroupProtocol>& channelGroup,
    const std::optional<std::string>& appSecret,
    const std::optional<std::string>& transmissionTargetToken, bool fromApplication) {
    std::lock_guard lock(mutex_);
    startedFromApplication_ = fromApplication;
    channelGroup_ = channelGroup;
    appSecret_ = appSecret;
    defaultTransmissionTargetToken_ = transmissionTargetToken;
    started_ = true;
    if (auto configuration = channelUnitConfiguration(); configuration && channelGroup) {
        channelUnit_ = channelGroup->addChannelUnitWithConfiguration(*configuration);
    }
    if (isEnabled()) applyEnabledState(true);
}

void ZVTServiceAbstract::updateConfigurationWithAppSecret(
    const std::optional<std::string>& appSecret,
    const std::optional<std::string>& transmissionTargetToken) {
    std::lock_guard lock(mutex_);
    startedFromApplication_ = true;
    appSecret_ = appSecret;
    defaultTransmissionTargetToken_ = transmissionTargetToken;
    if (isEnabled()) applyEnabledState(true);
}

bool ZVTServiceAbstract::isStartedFromApplication() const {
    std::lock_guard lock(mutex_);
    return startedFromApplication_;
}

bool ZVTServiceAbstract::isStarted() const {
    std::lock_guard lock(mutex_);
    return started_;
}

bool ZVTServiceAbstract::isAvailable() {
    return isEnabled() && isStarted();
}

bool ZVTServiceAbstract::isEnabled() {
    return ZVTZevOzozidUserDefaults::shared().boolForKey(isEnabledKey()).value_or(true);
}

void ZVTServiceAbstract::setEnabled(bool isEnabled) {
    std::lock_guard lock(mutex_);
    if (isEnabled == this->isEnabled()) return;
    applyEnabledState(isEnabled);
    ZVTZevOzozidUserDefaults::shared().setObject(platform::UserDefaults::Value(isEnabled),
                                                 isEnabledKey());
}

std::shared_ptr<ZVTChannelGroupProtocol> ZVTServiceAbstract::channelGroup() const {
    std::lock_guard lock(mutex_);
    return channelGroup_;
}
void ZVTServiceAbstract::setChannelGroup(std::shared_ptr<ZVTChannelGroupProtocol> channelGroup) {
    std::lock_guard lock(mutex_);
    channelGroup_ = std::move(channelGroup);
}
std::shared_ptr<ZVTChannelUnitProtocol> ZVTServiceAbstract::channelUnit() const {
    std::lock_guard lock(mutex_);
    return channelUnit_;
}
void ZVTServiceAbstract::setChannelUnit(std::shared_ptr<ZVTChannelUnitProtocol> channelUnit) {
    std::lock_guard lock(mutex_);
    channelUnit_ = std::move(channelUnit);
}
std::optional<std::string> ZVTServiceAbstract::appSecret() const {
    std::lock_guard lock(mutex_);
    return appSecret_;
}
void ZVTServiceAbstract::setAppSecret(std::optional<std::string> appSecret) {
    std::lock_guard lock(mutex_);
    appSecret_ = std::move(appSecret);
}
std::optional<std::string> ZVTServiceAbstract::defaultTransmissionTargetToken() const {
    std::lock_guard lock(mutex_);
    return defaultTransmissionTargetToken_;
}
void ZVTServiceAbstract::setDefaultTransmissionTargetToken(std::optional<std::string> token) {
    std::lock_guard lock(mutex_);
    defaultTransmissionTargetToken_ = std::move(token);
}

std::string ZVTServiceAbstract::isEnabledKey() const {
    return groupId() + "IsEnabled";
}

std::string ZVTServiceAbstract::shortClassName() const {
    const std::string name = className();
    const std::string prefix = "ZVT";
    return name.compare(0, prefix.size(), prefix) == 0 ? name.substr(prefix.size()) : name;
}

bool ZVTServiceAbstract::classIsEnabled() {
    std::lock_guard lock(mutex_);
    return canBeUsed() && isEnabled();
}

void ZVTServiceAbstract::classSetEnabled(bool isEnabled) {
    std::lock_guard lock(mutex_);
    if (!canBeUsed()) return;
    auto& sdk = ZVTZevOzozid::sharedInstance();
    if (!sdk.isEnabledStoredValue() && !sdk.isEnabledStateUpdating()) {
        ZVTLogError(kZVTLogTag,
                    "The SDK is disabled. Re-enable the whole SDK from ZevOzozid first "
                    "before enabling ",
                    shortClassName(), " service.");
        return;
    }
    setEnabled(isEnabled);
}
