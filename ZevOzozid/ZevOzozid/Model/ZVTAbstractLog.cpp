#include "ZevOzozid/ZevOzozid/Model/ZVTAbstractLog.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <cstdio>
#include <cstdlib>

std::optional<ZVTAbstractLog::TokenSet> ZVTAbstractLog::transmissionTargetTokens() const {
    std::lock_guard lock(tokensMutex_);
    return transmissionTargetTokens_;
}

void ZVTAbstractLog::setTransmissionTargetTokens(std::optional<TokenSet> tokens) {
    std::lock_guard lock(tokensMutex_);
    transmissionTargetTokens_ = std::move(tokens);
}

void ZVTAbstractLog::addTransmissionTargetToken(const std::string& token) {
    std::lock_guard lock(tokensMutex_);
    if (!transmissionTargetTokens_) transmissionTargetTokens_.emplace();
    transmissionTargetTokens_->insert(token);
}

void ZVTAbstractLog::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeString("type", type_);
    coder.encodeDate("timestamp", timestamp_);
    coder.encodeString("sid", sid_);
    coder.encodeString("distributionGroupId", distributionGroupId_);
    coder.encodeString("userId", userId_);
    coder.encodeObject("device", device_.get());
}

void ZVTAbstractLog::initWithCoder(const ZVTDecoder& decoder) {
    type_ = decoder.decodeString("type");
    timestamp_ = decoder.decodeDate("timestamp");
    sid_ = decoder.decodeString("sid");
    distributionGroupId_ = decoder.decodeString("distributionGroupId");
    userId_ = decoder.decodeString("userId");
    device_ = decoder.decodeObject<ZVTDevice>("device");
}

ZVTJson ZVTAbstractLog::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    if (type_) dict["type"] = *type_;
    if (timestamp_) dict["timestamp"] = ZVTUtility::dateToISO8601(*timestamp_);
    if (sid_) dict["sid"] = *sid_;
    if (distributionGroupId_) dict["distributionGroupId"] = *distributionGroupId_;
    if (userId_) dict["userId"] = *userId_;
    if (device_) dict["device"] = device_->serializeToDictionary();
    return dict;
}

std::optional<std::string> ZVTAbstractLog::serializeLogWithPrettyPrinting(bool prettyPrint) const {
    return ZVTUtility::jsonText(serializeToDictionary(), prettyPrint);
}

bool ZVTAbstractLog::isValid() const {
    const char* missing = !type_ ? "type" : !timestamp_ ? "timestamp" : nullptr;
    if (!missing && !device_) missing = "device";
    if (missing) {
        zvtReportInvalidField(className(), missing);
        return false;
    }
    if (!device_->isValid()) {
        zvtReportInvalidField(className(), "device");
        return false;
    }
    return true;
}

bool ZVTAbstractLog::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTAbstractLog*>(&other);
    return o && tag_ == o->tag_ && type_ == o->type_ && timestamp_ == o->timestamp_ &&
           sid_ == o->sid_ && distributionGroupId_ == o->distributionGroupId_ &&
           userId_ == o->userId_ && zvtObjectsEqual(device_, o->device_);
}

std::optional<std::string> ZVTAbstractLog::combineOsVersion(
    const std::optional<std::string>& version, const std::optional<std::string>& build) {
    std::string text;
    if (version && !version->empty()) text = "Version " + *version;
    if (build && !build->empty())
        text = text.empty() ? "Build " + *build : text + " (Build " + *build + ")";
    if (text.empty()) return std::nullopt;
    return text;
}

std::optional<std::string> ZVTAbstractLog::combineSDKLibVer(
    const std::optional<std::string>& name, const std::optional<std::string>& version) {
    if (!name || name->empty() || !version || version->empty()) return std::nullopt;
    return *name + "-" + *version;
}

std::string ZVTAbstractLog::convertTimeZoneOffsetToISO8601(int64_t minutes) {
    const long long magnitude = std::llabs(static_cast<long long>(minutes));
    char out[32];
    std::snprintf(out, sizeof out, "%c%02lld:%02lld", minutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return out;
}
