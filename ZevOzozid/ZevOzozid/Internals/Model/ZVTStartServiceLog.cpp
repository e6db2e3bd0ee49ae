#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTStartServiceLog.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

void ZVTStartServiceLog::encodeWithCoder(ZVTCoder& coder) const {
    ZVTAbstractLog::encodeWithCoder(coder);
    coder.encodeStrings("services", services_);
    coder.encodeBool("isCSCollectorEnabled", isCSCollectorEnabled_);
}

void ZVTStartServiceLog::initWithCoder(const ZVTDecoder& decoder) {
    ZVTAbstractLog::initWithCoder(decoder);
    setServices(decoder.decodeStrings("services"));
    setIsCSCollectorEnabled(decoder.decodeBool("isCSCollectorEnabled"));
}

ZVTJson ZVTStartServiceLog::serializeToDictionary() const {
    ZVTJson dict = ZVTAbstractLog::serializeToDictionary();
    if (services_) {
        dict["services"] = *services_;
        dict["isCSCollectorEnabled"] = isCSCollectorEnabled_;
    }
    return dict;
}

bool ZVTStartServiceLog::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTStartServiceLog*>(&other);
    return o && ZVTAbstractLog::isEqual(other) && services_ == o->services_;
}
