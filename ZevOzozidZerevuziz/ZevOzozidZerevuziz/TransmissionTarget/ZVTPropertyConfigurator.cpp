#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/TransmissionTarget/ZVTPropertyConfigurator.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/TransmissionTarget/ZVTZerevuzizTransmissionTarget.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuzizConstants.h"

#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTUserIdContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCommonSchemaLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace {

// The machine id's text, trimmed; none when it cannot be read or is empty.
std::optional<std::string> readMachineId() {
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        std::ifstream in(path);
        std::string text;
        if (in && std::getline(in, text)) {
            while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
                text.pop_back();
            }
            if (!text.empty()) return text;
        }
    }
    return std::nullopt;
}

// The first 32 hex digits of a digest in the canonical upper-case UUID form.
std::string uuidFromDigest(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i < 32 && i < hex.size(); ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) out += '-';
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(hex[i])));
    }
    return out;
}

const std::string kDeviceIdentifierKey = "DeviceIdentifier";

}  // namespace

ZVTPropertyConfigurator::ZVTPropertyConfigurator(
    const std::shared_ptr<ZVTZerevuzizTransmissionTarget>& target)
    : transmissionTarget_(target) {}

std::recursive_mutex& ZVTPropertyConfigurator::serviceLock() const {
    static std::recursive_mutex orphan;
    auto target = transmissionTarget_.lock();
    return target ? target->analytics().lock() : orphan;
}

#define ZVT_CONFIGURATOR_TEXT(getter, setter, member)                               \
    void ZVTPropertyConfigurator::setter(const std::optional<std::string>& value) { \
        std::lock_guard lock(mutex_);                                               \
        member = value;                                                             \
    }                                                                               \
    std::optional<std::string> ZVTPropertyConfigurator::getter() const {            \
        std::lock_guard lock(mutex_);                                               \
        return member;                                                              \
    }
ZVT_CONFIGURATOR_TEXT(appVersion, setAppVersion, appVersion_)
ZVT_CONFIGURATOR_TEXT(appName, setAppName, appName_)
ZVT_CONFIGURATOR_TEXT(appLocale, setAppLocale, appLocale_)
#undef ZVT_CONFIGURATOR_TEXT

void ZVTPropertyConfigurator::setUserId(const std::optional<std::string>& value) {
    if (!ZVTUserIdContext::isUserIdValidForCSCollector(value)) return;
    std::lock_guard lock(mutex_);
    userId_ = ZVTUserIdContext::prefixedUserIdFromUserId(value);
}

std::optional<std::string> ZVTPropertyConfigurator::userId() const {
    std::lock_guard lock(mutex_);
    return userId_;
}

std::optional<std::string> ZVTPropertyConfigurator::deviceId() const {
    std::lock_guard lock(mutex_);
    return deviceId_;
}

void ZVTPropertyConfigurator::setEventPropertyString(const std::optional<std::string>& value,
                                                     const std::optional<std::string>& key) {
    std::lock_guard lock(serviceLock());
    eventProperties_->setString(value, key);
}

void ZVTPropertyConfigurator::setEventPropertyDouble(double value,
                                                     const std::optional<std::string>& key) {
    std::lock_guard lock(serviceLock());
    eventProperties_->setDouble(value, key);
}

void ZVTPropertyConfigurator::setEventPropertyInt64(int64_t value,
                                                    const std::optional<std::string>& key) {
    std::lock_guard lock(serviceLock());
    eventProperties_->setInt64(value, key);
}

void ZVTPropertyConfigurator::setEventPropertyBool(bool value,
                                                   const std::optional<std::string>& key) {
    std::lock_guard lock(serviceLock());
    eventProperties_->setBool(value, key);
}

void ZVTPropertyConfigurator::setEventPropertyDate(const std::optional<ZVTDate>& value,
                                                   const std::optional<std::string>& key) {
    std::lock_guard lock(serviceLock());
    eventProperties_->setDate(value, key);
}

void ZVTPropertyConfigurator::removeEventPropertyForKey(const std::optional<std::string>& key) {
    std::lock_guard lock(serviceLock());
    if (!key) {
        ZVTLogError(kZVTZerevuzizLogTag, "Event property key to remove cannot be nil.");
        return;
    }
    eventProperties_->removePropertyForKey(*key);
}

void ZVTPropertyConfigurator::mergeTypedPropertiesWith(ZVTEventProperties& bag) {
    std::lock_guard lock(serviceLock());
    for (const auto& property : eventProperties_->properties()) {
        if (property->name() && !bag.hasKey(*property->name())) bag.setProperty(property);
    }
}

void ZVTPropertyConfigurator::collectDeviceId() {
    const std::string id = getDeviceIdentifier();
    std::lock_guard lock(mutex_);
    deviceId_ = id;
}

std::string ZVTPropertyConfigurator::getDeviceIdentifier() {
    if (auto machineId = readMachineId()) {
        const auto app = ZVTApplicationInfo::currentOrFallback().identifier;
        return "u:" + uuidFromDigest(ZVTUtility::sha256(*machineId + app));
    }
    auto& settings = ZVTZevOzozidUserDefaults::shared();
    auto stored = settings.stringForKey(kDeviceIdentifierKey);
    if (!stored || !ZVTUUID::fromString(*stored)) {
        stored = ZVTUUID::random().UUIDString();
        settings.setObject(platform::UserDefaults::Value(*stored), kDeviceIdentifierKey);
    }
    return "u:" + *stored;
}

void ZVTPropertyConfigurator::channelPrepareLog(ZVTChannelProtocol& /*channel*/, ZVTLog& log) {
    auto target = transmissionTarget_.lock();
    auto* csLog = dynamic_cast<ZVTCommonSchemaLog*>(&log);
    if (!target || !csLog || !target->isEnabled()) return;
    if (csLog->tag().get() != static_cast<void*>(target.get())) return;
    std::optional<std::string> version, name, locale, userId;
    for (auto t = target; t; t = t->parentTarget()) {
        const auto& c = *t->propertyConfigurator();
        if (!version) version = c.appVersion();
        if (!name) name = c.appName();
        if (!locale) locale = c.appLocale();
        if (!userId) userId = c.userId();
    }
    if (!csLog->ext()) csLog->setExt(std::make_shared<ZVTCSExtensions>());
    auto& ext = *csLog->ext();
    if (version || name || locale) {
        if (!ext.appExt()) ext.setAppExt(std::make_shared<ZVTAppExtension>());
        if (version) ext.appExt()->setVer(version);
        if (name) ext.appExt()->setName(name);
        if (locale) ext.appExt()->setLocale(locale);
    }
    if (userId) {
        if (!ext.userExt()) ext.setUserExt(std::make_shared<ZVTUserExtension>());
        ext.userExt()->setLocalId(userId);
    }
    if (!ext.deviceExt()) ext.setDeviceExt(std::make_shared<ZVTDeviceExtension>());
    ext.deviceExt()->setLocalId(deviceId());
}
