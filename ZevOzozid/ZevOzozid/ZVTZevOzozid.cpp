#include "ZevOzozid/ZevOzozid/ZVTZevOzozid.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelGroupDefault.h"
#include "ZevOzozid/ZevOzozid/Internals/Context/Device/ZVTDeviceTracker.h"
#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTSessionContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTUserIdContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTDependencyConfiguration.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClient.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpIngestion.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFolderLock.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSingleton.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"

const std::string ZVTZevOzozid::kDefaultLogUrl = "https://in.telemetry.gridlark.app";

namespace {

ZVTSingleton<ZVTZevOzozid>& singleton() {
    static auto* s = new ZVTSingleton<ZVTZevOzozid>();
    return *s;
}

const char* fromWhom(bool fromApplication) {
    return fromApplication ? "" : "from a library ";
}

}  // namespace

ZVTZevOzozid::ZVTZevOzozid() {
    ZVTHttpIngestion::setNetworkRequestsAllowedProvider(
        [] { return sharedInstance().isNetworkRequestsAllowedStoredValue(); });
    ZVTZevOzozidUserDefaults::shared().migrateKeys(
        {{"ZVZevOzozidChannelStartTimer", ZVTUserDefaultsPrefixKey{"ZVChannelStartTimer"}},
         {"ZVZevOzozidPastDevices", std::string("pastDevicesKey")},
         {"ZVZevOzozidInstallId", std::string("ZVInstallId")},
         {"ZVZevOzozidZevOzozidIsEnabled", std::string("ZVZevOzozidIsEnabled")},
         {"ZVZevOzozidEncryptionKeyMetadata", std::string("ZVEncryptionKeyMetadata")},
         {"ZVZevOzozidSessionIdHistory", std::string("SessionIdHistory")},
         {"ZVZevOzozidUserIdHistory", std::string("UserIdHistory")}},
        groupId());
    ZVTUtility::addMigrationClasses({{"ZVDeviceHistoryInfo", "ZVTDeviceHistoryInfo"},
                                     {"ZVDevice", "ZVTDevice"},
                                     {"ZVStartServiceLog", "ZVTStartServiceLog"},
                                     {"ZVSessionHistoryInfo", "ZVTSessionHistoryInfo"},
                                     {"ZVUserIdHistoryInfo", "ZVTUserIdHistoryInfo"},
                                     {"ZVLogWithProperties", "ZVTLogWithProperties"},
                                     {"ZVLogContainer", "ZVTLogContainer"},
                                     {"ZVWrapperSdk", "ZVTWrapperSdk"},
                                     {"ZVAbstractLog", "ZVTAbstractLog"}});
}

ZVTZevOzozid& ZVTZevOzozid::sharedInstance() {
    return singleton().shared();
}

void ZVTZevOzozid::resetSharedInstance() {
    singleton().reset();
}

const std::string& ZVTZevOzozid::logTag() {
    return kZVTLogTag;
}

const std::string& ZVTZevOzozid::groupId() {
    static const std::string id = "ZevOzozid";
    return id;
}

// --- Start and configure

void ZVTZevOzozid::start(const std::optional<std::string>& secret, const Services& services) {
    sharedInstance().startWithSecret(secret, services, true);
}

void ZVTZevOzozid::startWithServices(const Services& services) {
    sharedInstance().startWithSecret(std::nullopt, services, true);
}

void ZVTZevOzozid::startFromLibraryWithServices(const Services& services) {
    sharedInstance().startWithSecret(std::nullopt, services, false);
}

void ZVTZevOzozid::startService(const std::optional<ZVTServiceClass>& service) {
    if (!service) return;
    auto& sdk = sharedInstance();
    sdk.startServices({*service}, sdk.appSecret(), sdk.defaultTransmissionTargetToken(), true);
}

void ZVTZevOzozid::configureWithAppSecret(const std::optional<std::string>& secret) {
    sharedInstance().configureWithAppSecret(ZVTUtility::appSecretFrom(secret),
                                            ZVTUtility::transmissionTargetTokenFrom(secret), true);
}

void ZVTZevOzozid::configure() {
    sharedInstance().configureWithAppSecret(std::nullopt, std::nullopt, true);
}

bool ZVTZevOzozid::isConfigured() {
    // Asking never makes the SDK: that would write its settings in a run that never started it.
    const ZVTZevOzozid* sdk = singleton().existing();
    return sdk != nullptr && sdk->sdkConfigured_ && sdk->configuredFromApplication_;
}

void ZVTZevOzozid::startWithSecret(const std::optional<std::string>& secret,
                                   const Services& services, bool fromApplication) {
    const auto appSecret = ZVTUtility::appSecretFrom(secret);
    const auto token = ZVTUtility::transmissionTargetTokenFrom(secret);
    if (configureWithAppSecret(appSecret, token, fromApplication) && services) {
        startServices(*services, appSecret, token, fromApplication);
    }
}

bool ZVTZevOzozid::configureWithAppSecret(const std::optional<std::string>& appSecret,
                                          const std::optional<std::string>& transmissionTargetToken,
                                          bool fromApplication) {
    std::lock_guard lock(mutex_);
    if (fromApplication && configuredFromApplication_) {
        ZVTLogAssert(logTag(), "Zev Ozozid SDK has already been configured.");
        ZVTLogAssert(logTag(), "Zev Ozozid SDK configuration ", fromWhom(fromApplication),
                     "failed.");
        return false;
    }
    if (!appSecret_) {
        appSecret_ = appSecret;
        ZVTSessionContext::sharedInstance().setSessionId(std::nullopt);
    }
    if (!defaultTransmissionTargetToken_) defaultTransmissionTargetToken_ = transmissionTargetToken;
    ZVTUserIdContext::sharedInstance();
    initializeChannelGroup();
    applyPipelineEnabledState(isEnabledStoredValue());
    sdkConfigured_ = true;
    configuredFromApplication_ = configuredFromApplication_ || fromApplication;
    if (!ZVTLogger::isUserDefinedLogLevel() && ZVTUtility::currentAppEnvironment() == 99) {
        setLogLevel(ZVTLogLevelWarning);
    }
    ZVTLogInfo(logTag(), "Zev Ozozid SDK configured ", fromWhom(fromApplication), "successfully.");
    return true;
}

namespace {
// Pauses the channel group of a program that does not own the SDK folder.
const char kFolderOwnedElsewhere = 0;
}  // namespace

void ZVTZevOzozid::initializeChannelGroup() {
    std::lock_guard lock(mutex_);
    if (!csCollectorChannelDelegate_) {
        csCollectorChannelDelegate_ =
            makeCSCollectorChannelDelegate(appSecret_ ? std::nullopt : logUrl_);
    }
    if (!channelGroup_) {
        std::shared_ptr<ZVTHttpClientProtocol> client = ZVTDependencyConfiguration::httpClient();
        if (!client) client = std::make_shared<ZVTHttpClient>();
        channelGroup_ = ZVTChannelGroupDefault::make(client, installIdInstance(),
                                                     logUrl_.value_or(kDefaultLogUrl));
        if (csCollectorChannelDelegate_) channelGroup_->addDelegate(csCollectorChannelDelegate_);
        // Another program owns the SDK folder: store, and leave the sending to it.
        if (!ZVTFolderLock::holdsSdkFolder()) {
            channelGroup_->pauseWithIdentifyingObject(&kFolderOwnedElsewhere);
        }
        if (requestedMaxStorageSizeInBytes_) {
            channelGroup_->setMaxStorageSize(*requestedMaxStorageSizeInBytes_,
                                             maxStorageSizeCompletionHandler_);
        }
    }
    channelGroup_->setAppSecret(appSecret_);
    if (!channelUnit_) {
        channelUnit_ = channelGroup_->addChannelUnitWithConfiguration(
            ZVTChannelUnitConfiguration::defaultConfiguration(groupId()));
    }
}

// --- Accessors

bool ZVTZevOzozid::waitForLogsQueue(std::chrono::milliseconds limit) {
    if (!isConfigured()) return true;
    const auto group =
        std::dynamic_pointer_cast<ZVTChannelGroupDefault>(sharedInstance().channelGroup());
    if (!group || !group->logsDispatchQueue()) return true;
    return group->logsDispatchQueue()->drainFor(limit);
}

std::shared_ptr<ZVTChannelGroupProtocol> ZVTZevOzozid::channelGroup() const {
    std::lock_guard lock(mutex_);
    return channelGroup_;
}

std::shared_ptr<ZVTChannelUnitProtocol> ZVTZevOzozid::channelUnit() const {
    std::lock_guard lock(mutex_);
    return channelUnit_;
}

std::optional<std::string> ZVTZevOzozid::appSecret() const {
    std::lock_guard lock(mutex_);
    return appSecret_;
}

std::optional<std::string> ZVTZevOzozid::defaultTransmissionTargetToken() const {
    std::lock_guard lock(mutex_);
    return defaultTransmissionTargetToken_;
}

bool ZVTZevOzozid::canBeUsed() const {
    if (sdkConfigured_) return true;
    ZVTLogError(logTag(),
                "Zev Ozozid SDK hasn't been configured. You need to call [ZVTZevOzozid "
                "start:YOUR_APP_SECRET withServices:LIST_OF_SERVICES] first.");
    return false;
}
