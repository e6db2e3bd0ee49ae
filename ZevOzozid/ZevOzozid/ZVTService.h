#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelProtocols.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// What the SDK entry and the channel group need of a telemetry service. The entry reaches a
// service through its class (ZVTServiceClass below), which answers the one shared instance; the
// class-level switches are served by that instance under its own lock.
class ZVTServiceCommon {
  public:
    virtual ~ZVTServiceCommon() = default;

    virtual void applyEnabledState(bool isEnabled) = 0;
    virtual bool canBeUsed() = 0;
    virtual void startWithChannelGroup(const std::shared_ptr<ZVTChannelGroupProtocol>& channelGroup,
                                       const std::optional<std::string>& appSecret,
                                       const std::optional<std::string>& transmissionTargetToken,
                                       bool fromApplication) = 0;
    virtual void updateConfigurationWithAppSecret(
        const std::optional<std::string>& appSecret,
        const std::optional<std::string>& transmissionTargetToken) = 0;
    virtual bool isAppSecretRequired() const = 0;
    virtual bool isStartedFromApplication() const = 0;
    virtual bool isAvailable() = 0;
    virtual bool isEnabled() = 0;
    virtual void setEnabled(bool isEnabled) = 0;
    virtual int64_t initializationPriority() const = 0;

    virtual std::shared_ptr<ZVTChannelGroupProtocol> channelGroup() const = 0;
    virtual void setChannelGroup(std::shared_ptr<ZVTChannelGroupProtocol> channelGroup) = 0;
    virtual std::shared_ptr<ZVTChannelUnitProtocol> channelUnit() const = 0;
    virtual void setChannelUnit(std::shared_ptr<ZVTChannelUnitProtocol> channelUnit) = 0;
    virtual std::optional<std::string> appSecret() const = 0;
    virtual void setAppSecret(std::optional<std::string> appSecret) = 0;
    virtual std::optional<std::string> defaultTransmissionTargetToken() const = 0;
    virtual void setDefaultTransmissionTargetToken(std::optional<std::string> token) = 0;

    // The configuration of the service's own unit; none for a service without one.
    virtual std::optional<ZVTChannelUnitConfiguration> channelUnitConfiguration() const {
        return std::nullopt;
    }

    // Class-level identity: the class name (messages), the service name (the "startService"
    // log, the environment switch), the group id and the log tag.
    virtual std::string className() const = 0;
    virtual std::string serviceName() const = 0;
    virtual std::string groupId() const = 0;
    virtual std::string logTag() const = 0;

    // The class-level switches, served by the shared instance under its lock.
    virtual bool classIsEnabled() = 0;
    virtual void classSetEnabled(bool isEnabled) = 0;
};

// A service class as the SDK entry is given it: the way to its shared instance. A class without
// one is refused at start.
struct ZVTServiceClass {
    ZVTServiceCommon* (*sharedInstance)() = nullptr;

    // The class of T, whose static sharedInstance() answers its one instance.
    template <typename T>
    static ZVTServiceClass of() {
        return ZVTServiceClass{[]() -> ZVTServiceCommon* { return &T::sharedInstance(); }};
    }
};
