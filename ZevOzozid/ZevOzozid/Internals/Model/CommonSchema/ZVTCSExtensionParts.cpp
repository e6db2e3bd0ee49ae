#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCSExtensionParts.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

namespace {
void putIfSet(ZVTJson& dict, const char* key, const ZVTOptionalText& value) {
    if (value) dict[key] = *value;
}
ZVTJson orNull(ZVTJson dict) {
    return dict.empty() ? ZVTJson() : dict;
}
}  // namespace

// --- user
void ZVTUserExtension::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeString("localId", localId_);
    coder.encodeString("locale", locale_);
}
void ZVTUserExtension::initWithCoder(const ZVTDecoder& decoder) {
    localId_ = decoder.decodeString("localId");
    locale_ = decoder.decodeString("locale");
}
ZVTJson ZVTUserExtension::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    putIfSet(dict, "localId", localId_);
    putIfSet(dict, "locale", locale_);
    return orNull(std::move(dict));
}
bool ZVTUserExtension::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTUserExtension*>(&other);
    return o && localId_ == o->localId_ && locale_ == o->locale_;
}

// --- device
void ZVTDeviceExtension::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeString("localId", localId_);
}
void ZVTDeviceExtension::initWithCoder(const ZVTDecoder& decoder) {
    localId_ = decoder.decodeString("localId");
}
ZVTJson ZVTDeviceExtension::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    putIfSet(dict, "localId", localId_);
    return orNull(std::move(dict));
}
bool ZVTDeviceExtension::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTDeviceExtension*>(&other);
    return o && localId_ == o->localId_;
}

// --- sdk
void ZVTSDKExtension::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeString("libVer", libVer_);
    coder.encodeString("epoch", epoch_);
    coder.encodeInt64("seq", seq_);
    coder.encodeUUID("installId", installId_);
}
void ZVTSDKExtension::initWithCoder(const ZVTDecoder& decoder) {
    libVer_ = decoder.decodeString("libVer");
    epoch_ = decoder.decodeString("epoch");
    seq_ = decoder.decodeInt64("seq");
    installId_ = decoder.decodeUUID("installId");
}
ZVTJson ZVTSDKExtension::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    putIfSet(dict, "libVer", libVer_);
    putIfSet(dict, "epoch", epoch_);
    if (seq_ != 0) dict["seq"] = seq_;
    if (installId_) dict["installId"] = installId_->UUIDString();
    return orNull(std::move(dict));
}
bool ZVTSDKExtension::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTSDKExtension*>(&other);
    return o && libVer_ == o->libVer_ && epoch_ == o->epoch_ && seq_ == o->seq_ &&
           installId_ == o->installId_;
}

// --- os
void ZVTOSExtension::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeString("ver", ver_);
    coder.encodeString("name", name_);
}
void ZVTOSExtension::initWithCoder(const ZVTDecoder& decoder) {
    ver_ = decoder.decodeString("ver");
    name_ = decoder.decodeString("name");
}
ZVTJson ZVTOSExtension::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    putIfSet(dict, "ver", ver_);
    putIfSet(dict, "name", name_);
    return orNull(std::move(dict));
}
bool ZVTOSExtension::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTOSExtension*>(&other);
    return o && ver_ == o->ver_ && name_ == o->name_;
}

// --- loc
void ZVTLocExtension::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeString("tz", tz_);
}
void ZVTLocExtension::initWithCoder(const ZVTDecoder& decoder) {
    tz_ = decoder.decodeString("tz");
}
ZVTJson ZVTLocExtension::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    putIfSet(dict, "tz", tz_);
    return orNull(std::move(dict));
}
bool ZVTLocExtension::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTLocExtension*>(&other);
    return o && tz_ == o->tz_;
}

// --- data
void ZVTCSData::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeRootObject(properties_);
}
void ZVTCSData::initWithCoder(const ZVTDecoder& decoder) {
    properties_ = decoder.decodeRootObject();
    if (properties_ && !properties_->is_object()) decoder.fail("data properties are not a map");
}
ZVTJson ZVTCSData::serializeToDictionary() const {
    if (!properties_ || !properties_->is_object()) return ZVTJson();
    ZVTJson dict = ZVTJson::object();
    for (const char* key : {"baseType", "baseData"}) {
        if (auto it = properties_->find(key); it != properties_->end()) dict[key] = *it;
    }
    for (const auto& item : properties_->items()) {
        if (item.key() != "baseType" && item.key() != "baseData") dict[item.key()] = item.value();
    }
    return dict;
}
bool ZVTCSData::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTCSData*>(&other);
    if (!o) return false;
    if (!properties_ || !o->properties_) return !properties_ && !o->properties_;
    // Dictionary equality: the order of keys takes no part.
    return nlohmann::json(*properties_) == nlohmann::json(*o->properties_);
}
