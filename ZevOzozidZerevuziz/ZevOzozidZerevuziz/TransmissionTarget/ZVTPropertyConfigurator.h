#pragma once

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTEventProperties.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelProtocols.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

class ZVTZerevuzizTransmissionTarget;

// Common fields and default event properties of one transmission target's common-schema logs.
// App version, name and locale and the user id are inherited down the target tree (the nearest
// target that sets one wins); the device id is written only by the target that tracked the event.
//
// Threads: the event-property bag is changed under the analytics service lock; the text fields
// under the configurator's own lock. channelPrepareLog runs on the enqueuing thread.
class ZVTPropertyConfigurator : public ZVTChannelDelegate {
  public:
    explicit ZVTPropertyConfigurator(const std::shared_ptr<ZVTZerevuzizTransmissionTarget>& target);

    void setAppVersion(const std::optional<std::string>& value);
    void setAppName(const std::optional<std::string>& value);
    void setAppLocale(const std::optional<std::string>& value);
    // Kept only when the common-schema collector accepts it, in its prefixed form ("c:id").
    void setUserId(const std::optional<std::string>& value);
    std::optional<std::string> appVersion() const;
    std::optional<std::string> appName() const;
    std::optional<std::string> appLocale() const;
    std::optional<std::string> userId() const;
    std::optional<std::string> deviceId() const;

    // Kept as part of the SDK's public surface; nothing in the program sets event properties yet.
    void setEventPropertyString(const std::optional<std::string>& value,
                                const std::optional<std::string>& key);
    void setEventPropertyDouble(double value, const std::optional<std::string>& key);
    void setEventPropertyInt64(int64_t value, const std::optional<std::string>& key);
    void setEventPropertyBool(bool value, const std::optional<std::string>& key);
    void setEventPropertyDate(const std::optional<ZVTDate>& value,
                              const std::optional<std::string>& key);
    void removeEventPropertyForKey(const std::optional<std::string>& key);
    // Adds each own property whose name `bag` does not hold yet.
    void mergeTypedPropertiesWith(ZVTEventProperties& bag);
    const std::shared_ptr<ZVTEventProperties>& eventProperties() const { return eventProperties_; }

    // Collects "u:" and the hardware UUID as this target's device id.
    void collectDeviceId();
    // "u:" and the SHA-256 of the machine id with the application identifier in UUID form; a
    // random UUID kept in the settings when the machine id cannot be read.
    static std::string getDeviceIdentifier();

    void channelPrepareLog(ZVTChannelProtocol& channel, ZVTLog& log) override;

  private:
    std::recursive_mutex& serviceLock() const;

    std::weak_ptr<ZVTZerevuzizTransmissionTarget> transmissionTarget_;
    mutable std::mutex mutex_;
    std::optional<std::string> appVersion_;
    std::optional<std::string> appName_;
    std::optional<std::string> appLocale_;
    std::optional<std::string> userId_;
    std::optional<std::string> deviceId_;
    std::shared_ptr<ZVTEventProperties> eventProperties_ = std::make_shared<ZVTEventProperties>();
};
