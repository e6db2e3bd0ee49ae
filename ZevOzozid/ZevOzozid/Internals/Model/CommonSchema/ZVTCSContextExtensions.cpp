#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCSContextExtensions.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

namespace {
void putIfSet(ZVTJson& dict, const char* key, const ZVTOptionalText& value) {
    if (value) dict[key] = *value;
}
ZVTJson orNull(ZVTJson dict) {
    return dict.empty() ? ZVTJson() : dict;
}
// Dictionary equality: the order of keys takes no part.
bool sameEntries(const std::optional<ZVTJson>& a, const std::optional<ZVTJson>& b) {
    if (!a || !b) return !a && !b;
    return nlohmann::json(*a) == nlohmann::json(*b);
}
}  // namespace

// --- metadata
std::optional<ZVTJson> ZVTMetadataExtension::metadata() const {
    std::lock_guard lock(mutex_);
    return metadata_;
}
void ZVTMetadataExtension::setMetadata(std::optional<ZVTJson> metadata) {
    if (metadata && !metadata->is_object()) metadata.reset();
    std::lock_guard lock(mutex_);
    metadata_ = std::move(metadata);
}
void ZVTMetadataExtension::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeRootObject(metadata());
}
void ZVTMetadataExtension::initWithCoder(const ZVTDecoder& decoder) {
    auto root = decoder.decodeRootObject();
    if (root && !root->is_object()) {
        decoder.fail("metadata is not a map");
        return;
    }
    setMetadata(std::move(root));
}
ZVTJson ZVTMetadataExtension::serializeToDictionary() const {
    auto copy = metadata();
    return copy ? *copy : ZVTJson();
}
bool ZVTMetadataExtension::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTMetadataExtension*>(&other);
    if (!o) return false;
    if (o == this) return true;
    return sameEntries(metadata(), o->metadata());
}

// --- protocol
void ZVTProtocolExtension::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeStrings("ticketKeys", ticketKeys_);
    coder.encodeString("devMake", devMake_);
    coder.encodeString("devModel", devModel_);
}
void ZVTProtocolExtension::initWithCoder(const ZVTDecoder& decoder) {
    ticketKeys_ = decoder.decodeStrings("ticketKeys");
    devMake_ = decoder.decodeString("devMake");
    devModel_ = decoder.decodeString("devModel");
}
ZVTJson ZVTProtocolExtension::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    if (ticketKeys_) dict["ticketKeys"] = *ticketKeys_;
    putIfSet(dict, "devMake", devMake_);
    putIfSet(dict, "devModel", devModel_);
    return orNull(std::move(dict));
}
bool ZVTProtocolExtension::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTProtocolExtension*>(&other);
    return o && ticketKeys_ == o->ticketKeys_ && devMake_ == o->devMake_ &&
           devModel_ == o->devModel_;
}

// --- app
void ZVTAppExtension::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeString("id", appId_);
    coder.encodeString("ver", ver_);
    coder.encodeString("name", name_);
    coder.encodeString("locale", locale_);
    coder.encodeString("userId", userId_);
}
void ZVTAppExtension::initWithCoder(const ZVTDecoder& decoder) {
    appId_ = decoder.decodeString("id");
    ver_ = decoder.decodeString("ver");
    name_ = decoder.decodeString("name");
    locale_ = decoder.decodeString("locale");
    userId_ = decoder.decodeString("userId");
}
ZVTJson ZVTAppExtension::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    putIfSet(dict, "id", appId_);
    putIfSet(dict, "ver", ver_);
    putIfSet(dict, "name", name_);
    putIfSet(dict, "locale", locale_);
    putIfSet(dict, "userId", userId_);
    return orNull(std::move(dict));
}
bool ZVTAppExtension::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTAppExtension*>(&other);
    return o && appId_ == o->appId_ && ver_ == o->ver_ && name_ == o->name_ &&
           locale_ == o->locale_ && userId_ == o->userId_;
}

// --- net
void ZVTNetExtension::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeString("provider", provider_);
}
void ZVTNetExtension::initWithCoder(const ZVTDecoder& decoder) {
    provider_ = decoder.decodeString("provider");
}
ZVTJson ZVTNetExtension::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    putIfSet(dict, "provider", provider_);
    return orNull(std::move(dict));
}
bool ZVTNetExtension::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTNetExtension*>(&other);
    return o && provider_ == o->provider_;
}
