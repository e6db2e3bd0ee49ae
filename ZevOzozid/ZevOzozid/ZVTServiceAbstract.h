#pragma once

#include "ZevOzozid/ZevOzozid/ZVTService.h"

#include <atomic>
#include <mutex>
#include <string>

// The base of every telemetry service: a persisted enabled state (the settings key "<groupId>
// IsEnabled"), the link to the SDK's channel group and the unit the service obtains from it, and
// the checks every public entry point of a service makes first.
//
// Subclasses supply groupId, className, serviceName, logTag, a static sharedInstance() and, when
// they send logs, channelUnitConfiguration. Overrides of applyEnabledState and
// startWithChannelGroup call the base's version first.
//
// Threads: the class-level switches (classIsEnabled, classSetEnabled) hold the service's
// recursive lock, which subclasses share through serviceMutex(); the fields are read and written
// under it too, so every member is safe from any thread. The base never takes the SDK entry's
// lock while holding its own.
class ZVTServiceAbstract : public ZVTServiceCommon {
  public:
    ZVTServiceAbstract() = default;
    ZVTServiceAbstract(const ZVTServiceAbstract&) = delete;
    ZVTServiceAbstract& operator=(const ZVTServiceAbstract&) = delete;

    void applyEnabledState(bool isEnabled) override;
    bool canBeUsed() override;
    void startWithChannelGroup(const std::shared_ptr<ZVTChannelGroupProtocol>& channelGroup,
                               const std::optional<std::string>& appSecret,
                               const std::optional<std::string>& transmissionTargetToken,
                               bool fromApplication) override;
    void updateConfigurationWithAppSecret(
        const std::optional<std::string>& appSecret,
        const std::optional<std::string>& transmissionTargetToken) override;
    bool isAppSecretRequired() const override { return true; }
    bool isStartedFromApplication() const override;
    bool isStarted() const;
    bool isAvailable() override;
    // The stored value; enabled when nothing is stored.
    bool isEnabled() override;
    // Applies and stores a changed value; the same value does nothing.
    void setEnabled(bool isEnabled) override;
    int64_t initializationPriority() const override { return 500; }

    std::shared_ptr<ZVTChannelGroupProtocol> channelGroup() const override;
    void setChannelGroup(std::shared_ptr<ZVTChannelGroupProtocol> channelGroup) override;
    std::shared_ptr<ZVTChannelUnitProtocol> channelUnit() const override;
    void setChannelUnit(std::shared_ptr<ZVTChannelUnitProtocol> channelUnit) override;
    std::optional<std::string> appSecret() const override;
    void setAppSecret(std::optional<std::string> appSecret) override;
    std::optional<std::string> defaultTransmissionTargetToken() const override;
    void setDefaultTransmissionTargetToken(std::optional<std::string> token) override;

    // The settings key of the enabled state: the group id followed by "IsEnabled".
    std::string isEnabledKey() const;

    // False (with an error line) before the service is started or the SDK configured, else the
    // stored value.
    bool classIsEnabled() override;
    // Refused before start, and while the whole SDK is disabled unless the SDK itself is
    // changing its services' states.
    void classSetEnabled(bool isEnabled) override;

  protected:
    std::recursive_mutex& serviceMutex() const { return mutex_; }
    // The class name less the SDK's class prefix ("ZVTZerevuziz" gives "Zerevuziz").
    std::string shortClassName() const;

  private:
    mutable std::recursive_mutex mutex_;
    bool startedFromApplication_ = false;
    bool started_ = false;
    std::shared_ptr<ZVTChannelGroupProtocol> channelGroup_;
    std::shared_ptr<ZVTChannelUnitProtocol> channelUnit_;
    std::optional<std::string> appSecret_;
    std::optional<std::string> defaultTransmissionTargetToken_;
};
