#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCSExtensions.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

#include <utility>

namespace {

// Calls `visit(key, field, extension-pointer-member)` for the nine slots in their fixed order.
template <typename Visit>
void forEachSlot(Visit&& visit) {
    visit("metadata", "metadataExt", &ZVTCSExtensions::metadataExt);
    visit("protocol", "protocolExt", &ZVTCSExtensions::protocolExt);
    visit("user", "userExt", &ZVTCSExtensions::userExt);
    visit("device", "deviceExt", &ZVTCSExtensions::deviceExt);
    visit("os", "osExt", &ZVTCSExtensions::osExt);
    visit("app", "appExt", &ZVTCSExtensions::appExt);
    visit("net", "netExt", &ZVTCSExtensions::netExt);
    visit("sdk", "sdkExt", &ZVTCSExtensions::sdkExt);
    visit("loc", "locExt", &ZVTCSExtensions::locExt);
}

}  // namespace

void ZVTCSExtensions::encodeWithCoder(ZVTCoder& coder) const {
    forEachSlot([&](const char* key, const char*, auto getter) {
        coder.encodeObject(key, (this->*getter)().get());
    });
}

void ZVTCSExtensions::initWithCoder(const ZVTDecoder& decoder) {
    metadataExt_ = decoder.decodeObject<ZVTMetadataExtension>("metadata");
    protocolExt_ = decoder.decodeObject<ZVTProtocolExtension>("protocol");
    userExt_ = decoder.decodeObject<ZVTUserExtension>("user");
    deviceExt_ = decoder.decodeObject<ZVTDeviceExtension>("device");
    osExt_ = decoder.decodeObject<ZVTOSExtension>("os");
    appExt_ = decoder.decodeObject<ZVTAppExtension>("app");
    netExt_ = decoder.decodeObject<ZVTNetExtension>("net");
    sdkExt_ = decoder.decodeObject<ZVTSDKExtension>("sdk");
    locExt_ = decoder.decodeObject<ZVTLocExtension>("loc");
}

ZVTJson ZVTCSExtensions::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    forEachSlot([&](const char* key, const char*, auto getter) {
        if (const auto& ext = (this->*getter)()) {
            ZVTJson part = ext->serializeToDictionary();
            if (!part.is_null()) dict[key] = std::move(part);
        }
    });
    return dict;
}

bool ZVTCSExtensions::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTCSExtensions*>(&other);
    if (!o) return false;
    bool equal = true;
    forEachSlot([&](const char*, const char*, auto getter) {
        equal = equal && zvtObjectsEqual((this->*getter)(), (o->*getter)());
    });
    return equal;
}

bool ZVTCSExtensions::isValid() const {
    bool valid = true;
    forEachSlot([&](const char*, const char* field, auto getter) {
        if (!valid) return;
        const auto& ext = (this->*getter)();
        if (ext && !ext->isValid()) {
            zvtReportInvalidField(className(), field);
            valid = false;
        }
    });
    return valid;
}
