#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTStartServiceLog.h"
#include "ZevOzozid/ZevOzozid/ZVTZevOzozid.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

int64_t priorityOf(const ZVTServiceClass& service) {
    auto* instance = service.sharedInstance ? service.sharedInstance() : nullptr;
    return instance ? instance->initializationPriority() : INT64_MIN;
}

std::string classNameOf(const ZVTServiceClass& service) {
    auto* instance = service.sharedInstance ? service.sharedInstance() : nullptr;
    return instance ? instance->className() : "(null)";
}

std::string trimmed(const std::string& text) {
    const char* blanks = " \t\n\r\f\v";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

std::vector<ZVTServiceClass> ZVTZevOzozid::sortServices(
    const std::vector<ZVTServiceClass>& services) {
    std::vector<ZVTServiceClass> sorted = services;
    if (sorted.size() <= 1) return sorted;
    // Equal priorities keep the order the host gave.
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const ZVTServiceClass& a, const ZVTServiceClass& b) {
                         return priorityOf(a) > priorityOf(b);
                     });
    return sorted;
}

void ZVTZevOzozid::startServices(const std::vector<ZVTServiceClass>& services,
                                 const std::optional<std::string>& appSecret,
                                 const std::optional<std::string>& transmissionTargetToken,
                                 bool fromApplication) {
    if (!sdkConfigured_) return;
    const auto sorted = sortServices(services);
    ZVTLogVerbose(
        logTag(), "Start services ",
        [&] {
            std::string names;
            for (const auto& service : sorted) {
                names += (names.empty() ? "" : ", ") + classNameOf(service);
            }
            return names;
        }(),
        " from ", fromApplication ? "an application" : "a library");
    std::vector<std::string> started;
    for (const auto& service : sorted) {
        if (startService(service, appSecret, transmissionTargetToken, fromApplication)) {
            started.push_back(service.sharedInstance()->serviceName());
        }
    }
    if (started.empty()) {
        ZVTLogDebug(logTag(), "No services have been started.");
    } else if (fromApplication) {
        sendStartServiceLog(started);
    }
}

bool ZVTZevOzozid::startService(const ZVTServiceClass& serviceClass,
                                const std::optional<std::string>& appSecret,
                                const std::optional<std::string>& transmissionTargetToken,
                                bool fromApplication) {
    std::lock_guard lock(mutex_);
    ZVTServiceCommon* service =
        serviceClass.sharedInstance ? serviceClass.sharedInstance() : nullptr;
    if (!service) {
        ZVTLogError(logTag(), "Cannot start service (null). Provided value is nil or invalid.");
        return false;
    }
    if (!sdkConfigured_ || (fromApplication && !configuredFromApplication_)) {
        ZVTLogError(logTag(),
                    "Zev Ozozid has not been configured so it couldn't start the service.");
        return false;
    }
    if (fromApplication && service->isAvailable() && service->isStartedFromApplication()) {
        return false;
    }
    if (service->isAppSecretRequired() && (!appSecret || appSecret->empty())) {
        ZVTLogError(logTag(), "Cannot start service ", service->className(),
                    ". Zev Ozozid was started without app secret, but the service requires it.");
        return false;
    }
    if (shouldDisable(service->serviceName())) {
        ZVTLogDebug(logTag(),
                    "Environment variable to disable service has been set; not starting service ",
                    service->className());
        return false;
    }
    if (!service->isAvailable()) {
        services_.push_back(service);
        service->startWithChannelGroup(channelGroup_, appSecret, transmissionTargetToken,
                                       fromApplication);
        if (service->classIsEnabled() && !isEnabledStoredValue()) {
            enabledStateUpdating_ = true;
            service->classSetEnabled(false);
            enabledStateUpdating_ = false;
        }
    } else if (fromApplication) {
        service->updateConfigurationWithAppSecret(appSecret, transmissionTargetToken);
    }
    return true;
}

bool ZVTZevOzozid::shouldDisable(const std::string& serviceName) {
    const char* value = std::getenv("RAZ_URUZAD_ODIZEVO");
    if (!value) return false;
    const std::string text = value;
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t end = text.find(',', begin);
        if (end == std::string::npos) end = text.size();
        const std::string part = trimmed(text.substr(begin, end - begin));
        if (part == serviceName || part == "All") return true;
        begin = end + 1;
    }
    return false;
}

void ZVTZevOzozid::sendStartServiceLog(const std::vector<std::string>& serviceNames) {
    std::lock_guard lock(mutex_);
    if (isEnabledStoredValue()) {
        auto log = std::make_shared<ZVTStartServiceLog>();
        log->setServices(serviceNames);
        log->setIsCSCollectorEnabled(defaultTransmissionTargetToken_.has_value());
        if (channelUnit_) channelUnit_->enqueueItem(log, ZVTFlagsNormal);
    } else {
        if (!startedServiceNames_) startedServiceNames_.emplace();
        startedServiceNames_->insert(startedServiceNames_->end(), serviceNames.begin(),
                                     serviceNames.end());
    }
}
