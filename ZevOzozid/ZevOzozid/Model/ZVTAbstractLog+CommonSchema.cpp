#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTUserIdContext.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCommonSchemaLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTAbstractLog.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <algorithm>

namespace {

std::optional<std::string> hyphenated(std::optional<std::string> locale) {
    if (locale) std::replace(locale->begin(), locale->end(), '_', '-');
    return locale;
}

// The context extensions of a log made on `device` (which may be absent or empty) by `userId`.
std::shared_ptr<ZVTCSExtensions> makeExtensions(const ZVTDevice* device,
                                                const std::optional<std::string>& userId) {
    const ZVTDevice empty;
    const ZVTDevice& d = device ? *device : empty;
    auto ext = std::make_shared<ZVTCSExtensions>();

    auto protocol = std::make_shared<ZVTProtocolExtension>();
    protocol->setDevMake(d.oemName());
    protocol->setDevModel(d.model());
    ext->setProtocolExt(protocol);

    auto user = std::make_shared<ZVTUserExtension>();
    user->setLocalId(ZVTUserIdContext::prefixedUserIdFromUserId(userId));
    user->setLocale(hyphenated(d.locale()));
    ext->setUserExt(user);

    auto os = std::make_shared<ZVTOSExtension>();
    os->setName(d.osName());
    os->setVer(ZVTAbstractLog::combineOsVersion(d.osVersion(), d.osBuild()));
    ext->setOsExt(os);

    auto app = std::make_shared<ZVTAppExtension>();
    // Without a namespace there is no application id (rather than an "I:" of nothing).
    if (d.appNamespace()) app->setAppId("I:" + *d.appNamespace());
    app->setVer(d.appVersion());
    if (auto info = ZVTApplicationInfo::current()) app->setLocale(info->preferredLocalization);
    ext->setAppExt(app);

    auto net = std::make_shared<ZVTNetExtension>();
    net->setProvider(d.carrierName());
    ext->setNetExt(net);

    auto sdk = std::make_shared<ZVTSDKExtension>();
    sdk->setLibVer(ZVTAbstractLog::combineSDKLibVer(d.sdkName(), d.sdkVersion()));
    ext->setSdkExt(sdk);

    auto loc = std::make_shared<ZVTLocExtension>();
    if (d.timeZoneOffset()) {
        loc->setTz(ZVTAbstractLog::convertTimeZoneOffsetToISO8601(*d.timeZoneOffset()));
    }
    ext->setLocExt(loc);

    ext->setDeviceExt(std::make_shared<ZVTDeviceExtension>());
    return ext;
}

}  // namespace

std::optional<std::vector<std::shared_ptr<ZVTCommonSchemaLog>>>
ZVTAbstractLog::toCommonSchemaLogsWithFlags(uint64_t flags) const {
    std::vector<std::shared_ptr<ZVTCommonSchemaLog>> logs;
    if (auto tokens = transmissionTargetTokens()) {
        for (const auto& token : *tokens) {
            if (auto log = toCommonSchemaLogForTargetToken(token, flags)) logs.push_back(log);
        }
    }
    if (logs.empty()) return std::nullopt;
    return logs;
}

std::shared_ptr<ZVTCommonSchemaLog> ZVTAbstractLog::toCommonSchemaLogForTargetToken(
    const std::string& token, uint64_t flags) const {
    auto log = std::make_shared<ZVTCommonSchemaLog>();
    log->setTransmissionTargetTokens(TokenSet{token});
    log->setVer("3.0");
    log->setTimestamp(timestamp());
    log->setIKey(ZVTUtility::iKeyFromTargetToken(token));
    log->setFlags(static_cast<int64_t>(flags));
    log->setExt(makeExtensions(device().get(), userId()));
    return log;
}
