#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTDeviceHistoryInfo.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

void ZVTDeviceHistoryInfo::encodeWithCoder(ZVTCoder& coder) const {
    ZVTHistoryInfo::encodeWithCoder(coder);
    coder.encodeObject("deviceKey", device_.get());
}

void ZVTDeviceHistoryInfo::initWithCoder(const ZVTDecoder& decoder) {
    ZVTHistoryInfo::initWithCoder(decoder);
    device_ = decoder.decodeObject<ZVTDevice>("deviceKey");
}

bool ZVTDeviceHistoryInfo::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTDeviceHistoryInfo*>(&other);
    return o && ZVTHistoryInfo::isEqual(other) && zvtObjectsEqual(device_, o->device_);
}

void ZVTUserIdHistoryInfo::encodeWithCoder(ZVTCoder& coder) const {
    ZVTHistoryInfo::encodeWithCoder(coder);
    coder.encodeString("userIdKey", userId_);
}

void ZVTUserIdHistoryInfo::initWithCoder(const ZVTDecoder& decoder) {
    ZVTHistoryInfo::initWithCoder(decoder);
    userId_ = decoder.decodeString("userIdKey");
}

bool ZVTUserIdHistoryInfo::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTUserIdHistoryInfo*>(&other);
    return o && ZVTHistoryInfo::isEqual(other) && userId_ == o->userId_;
}
