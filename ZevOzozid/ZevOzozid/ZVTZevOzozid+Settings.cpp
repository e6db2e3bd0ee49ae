#include "platform/Folders.h"

#include "ZevOzozid/ZevOzozid/Internals/Context/Device/ZVTDeviceTracker.h"
#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTSessionContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTUserIdContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"
#include "ZevOzozid/ZevOzozid/ZVTZevOzozid.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {
const std::string kInstallIdKey = "InstallId";
const std::string kEnabledKey = "ZevOzozidIsEnabled";
const std::string kNetworkRequestsAllowedKey = "NetworkRequestsAllowed";
}  // namespace

// --- Enabled state

void ZVTZevOzozid::setEnabled(bool isEnabled) {
    sharedInstance().setEnabledInstance(isEnabled);
}

bool ZVTZevOzozid::isEnabled() {
    auto& sdk = sharedInstance();
    std::lock_guard lock(sdk.mutex_);
    return sdk.canBeUsed() && sdk.isEnabledStoredValue();
}

bool ZVTZevOzozid::isEnabledStoredValue() const {
    return ZVTZevOzozidUserDefaults::shared().boolForKey(kEnabledKey).value_or(true);
}

void ZVTZevOzozid::setEnabledInstance(bool isEnabled) {
    std::lock_guard lock(mutex_);
    if (!canBeUsed()) return;
    enabledStateUpdating_ = true;
    if (isEnabled != isEnabledStoredValue()) {
        ZVTZevOzozidUserDefaults::shared().setObject(platform::UserDefaults::Value(isEnabled),
                                                     kEnabledKey);
        applyPipelineEnabledState(isEnabled);
    }
    for (auto* service : services_) service->classSetEnabled(isEnabled);
    enabledStateUpdating_ = false;
    ZVTLogInfo(logTag(), "Zev Ozozid SDK ", isEnabled ? "enabled" : "disabled", ".");
}

void ZVTZevOzozid::applyPipelineEnabledState(bool isEnabled) {
    if (!isEnabled) {
        ZVTDeviceTracker::sharedInstance().clearDevices();
        ZVTSessionContext::sharedInstance().clearSessionHistoryAndKeepCurrentSession(false);
        ZVTUserIdContext::sharedInstance().clearUserIdHistory();
    }
    std::lock_guard lock(mutex_);
    if (channelGroup_) channelGroup_->setEnabled(isEnabled, true);
    if (isEnabled && startedServiceNames_) {
        auto names = std::move(*startedServiceNames_);
        startedServiceNames_.reset();
        sendStartServiceLog(names);
    }
}

// --- Network requests

void ZVTZevOzozid::setNetworkRequestsAllowed(bool isAllowed) {
    sharedInstance().setNetworkRequestsAllowedInstance(isAllowed);
}

bool ZVTZevOzozid::isNetworkRequestsAllowed() {
    auto& sdk = sharedInstance();
    std::lock_guard lock(sdk.mutex_);
    return sdk.isNetworkRequestsAllowedStoredValue();
}

bool ZVTZevOzozid::isNetworkRequestsAllowedStoredValue() const {
    return ZVTZevOzozidUserDefaults::shared().boolForKey(kNetworkRequestsAllowedKey).value_or(true);
}

void ZVTZevOzozid::setNetworkRequestsAllowedInstance(bool isAllowed) {
    std::lock_guard lock(mutex_);
    ZVTLogInfo(logTag(), "Zev Ozozid SDK network requests are ",
               isAllowed ? "allowed" : "forbidden", ".");
    ZVTZevOzozidUserDefaults::shared().setObject(platform::UserDefaults::Value(isAllowed),
                                                 kNetworkRequestsAllowedKey);
    if (!canBeUsed() || !channelGroup_) return;
    if (isAllowed) {
        channelGroup_->resumeWithIdentifyingObject(channelGroup_.get());
    } else {
        channelGroup_->pauseWithIdentifyingObject(channelGroup_.get());
    }
}

// --- Log URL

void ZVTZevOzozid::setLogUrl(const std::string& logUrl) {
    sharedInstance().setLogUrlInstance(logUrl);
}

std::optional<std::string> ZVTZevOzozid::logUrl() {
    auto& sdk = sharedInstance();
    std::lock_guard lock(sdk.mutex_);
    return sdk.logUrl_;
}

void ZVTZevOzozid::setLogUrlInstance(const std::string& logUrl) {
    std::lock_guard lock(mutex_);
    logUrl_ = logUrl;
    if (!channelGroup_) return;
    if (appSecret_) {
        ZVTLogInfo(logTag(), "The log url of Zev Ozozid endpoint was changed to ", logUrl);
        channelGroup_->setLogUrl(logUrl);
    } else {
        ZVTLogInfo(logTag(), "The log url of CS Collector endpoint was changed to ", logUrl);
        setCSCollectorLogUrl(logUrl);
    }
}

// --- Storage size

void ZVTZevOzozid::setMaxStorageSize(int64_t sizeInBytes,
                                     std::function<void(bool)> completionHandler) {
    sharedInstance().setMaxStorageSizeInstance(sizeInBytes, std::move(completionHandler));
}

void ZVTZevOzozid::setMaxStorageSizeInstance(int64_t sizeInBytes,
                                             std::function<void(bool)> handler) {
    if (sizeInBytes < kMinimumStorageSizeInBytes) {
        if (handler) handler(false);
        ZVTLogWarning(logTag(), "Cannot set storage size to ", sizeInBytes,
                      " bytes, minimum value is ", kMinimumStorageSizeInBytes, " bytes");
        return;
    }
    bool refused = false;
    {
        std::lock_guard lock(mutex_);
        if (setMaxStorageSizeHasBeenCalled_) {
            ZVTLogWarning(logTag(),
                          "setMaxStorageSize:completionHandler: may only be called once per app "
                          "launch");
            refused = true;
        } else {
            setMaxStorageSizeHasBeenCalled_ = true;
            if (configuredFromApplication_) {
                ZVTLogWarning(logTag(),
                              "Unable to set storage size after the application has configured "
                              "Zev Ozozid");
                refused = true;
            } else {
                requestedMaxStorageSizeInBytes_ = sizeInBytes;
                maxStorageSizeCompletionHandler_ = handler;
                if (channelGroup_) channelGroup_->setMaxStorageSize(sizeInBytes, handler);
            }
        }
    }
    if (refused && handler) handler(false);
}

// --- User id, device facts, identity

void ZVTZevOzozid::setUserId(const std::optional<std::string>& userId) {
    sharedInstance().setUserIdInstance(userId);
}

std::optional<std::string> ZVTZevOzozid::userId() {
    return ZVTUserIdContext::sharedInstance().userId();
}

void ZVTZevOzozid::setUserIdInstance(const std::optional<std::string>& userId) {
    if (!configuredFromApplication_) {
        ZVTLogError(logTag(),
                    "ZevOzozid must be configured from application, libraries cannot call "
                    "setUserId.");
        return;
    }
    const auto secret = appSecret();
    const auto token = defaultTransmissionTargetToken();
    if (!secret && !token) {
        ZVTLogError(logTag(),
                    "ZevOzozid must be configured with a secret from application to call "
                    "setUserId.");
        return;
    }
    if (userId) {
        if (secret && !ZVTUserIdContext::isUserIdValidForZevOzozid(userId)) return;
        if (token && !ZVTUserIdContext::isUserIdValidForCSCollector(userId)) return;
    }
    ZVTUserIdContext::sharedInstance().setUserId(userId);
}

void ZVTZevOzozid::setCountryCode(const std::optional<std::string>& countryCode) {
    ZVTDeviceTracker::sharedInstance().setCountryCode(countryCode);
}

std::optional<std::string> ZVTZevOzozid::countryCode() {
    return ZVTDeviceTracker::sharedInstance().countryCode();
}

void ZVTZevOzozid::setWrapperSdk(std::shared_ptr<ZVTWrapperSdk> wrapperSdk) {
    ZVTDeviceTracker::sharedInstance().setWrapperSdk(std::move(wrapperSdk));
}

std::shared_ptr<ZVTWrapperSdk> ZVTZevOzozid::wrapperSdk() {
    return ZVTDeviceTracker::sharedInstance().wrapperSdk();
}

ZVTUUID ZVTZevOzozid::installId() {
    return sharedInstance().installIdInstance();
}

ZVTUUID ZVTZevOzozid::installIdInstance() {
    std::lock_guard lock(mutex_);
    if (installId_) return *installId_;
    auto& settings = ZVTZevOzozidUserDefaults::shared();
    if (auto text = settings.stringForKey(kInstallIdKey)) installId_ = ZVTUUID::fromString(*text);
    if (!installId_) {
        installId_ = ZVTUUID::random();
        settings.setObject(platform::UserDefaults::Value(installId_->UUIDString()), kInstallIdKey);
        // Written before it is used: logs leave with this id, and a run killed before the store's
        // delayed write would start the next one as another install.
        settings.store().writeNow();
    }
    return *installId_;
}

// --- Logging, version, environment

unsigned ZVTZevOzozid::logLevel() {
    return ZVTLogger::currentLogLevel();
}

void ZVTZevOzozid::setLogLevel(unsigned logLevel) {
    ZVTLogger::setCurrentLogLevel(logLevel);
    flushDelegateForwarderTraceBuffer();
}

ZVTLogHandler ZVTZevOzozid::logHandler() {
    return ZVTLogger::logHandler();
}

void ZVTZevOzozid::setLogHandler(ZVTLogHandler handler) {
    ZVTLogger::setLogHandler(std::move(handler));
}

bool ZVTZevOzozid::isAppDelegateForwarderEnabled() {
    return appDelegateForwarderEnabled();
}

std::string ZVTZevOzozid::sdkVersion() {
    return ZVTUtility::sdkVersion();
}

bool ZVTZevOzozid::isRunningInZevOzozidTestCloud() {
    const char* value = std::getenv("DURIDID_AD_UZU_DIVEVA");
    return value && std::string(value) == "1";
}

std::optional<bool> ZVTZevOzozid::tracedFromStatus(const std::string& statusText) {
    std::istringstream lines(statusText);
    std::string line;
    const std::string key = "TracerPid:";
    while (std::getline(lines, line)) {
        if (line.compare(0, key.size(), key) != 0) continue;
        const char* digits = line.c_str() + key.size();
        char* end = nullptr;
        const long pid = std::strtol(digits, &end, 10);
        if (end == digits) return std::nullopt;
        return pid != 0;
    }
    return std::nullopt;
}

bool ZVTZevOzozid::isDebuggerAttached() {
    static const bool attached = [] {
        const auto status = platform::folders::readFile("/proc/self/status");
        const auto traced = status ? tracedFromStatus(*status) : std::nullopt;
        if (!traced) {
            std::fprintf(stderr,
                         "[ZVTZeroduv] ERROR: Checking for a running debugger via "
                         "/proc/self/status failed.\n");
            return false;
        }
        return *traced;
    }();
    return attached;
}
