#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTLogWithNameAndProperties.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

void ZVTLogWithNameAndProperties::encodeWithCoder(ZVTCoder& coder) const {
    ZVTLogWithProperties::encodeWithCoder(coder);
    coder.encodeString("name", name_);
}

void ZVTLogWithNameAndProperties::initWithCoder(const ZVTDecoder& decoder) {
    ZVTLogWithProperties::initWithCoder(decoder);
    name_ = decoder.decodeString("name");
}

ZVTJson ZVTLogWithNameAndProperties::serializeToDictionary() const {
    ZVTJson dict = ZVTLogWithProperties::serializeToDictionary();
    if (name_) dict["name"] = *name_;
    return dict;
}

bool ZVTLogWithNameAndProperties::isValid() const {
    if (!ZVTLogWithProperties::isValid()) return false;
    if (!name_) {
        zvtReportInvalidField(className(), "name");
        return false;
    }
    return true;
}

bool ZVTLogWithNameAndProperties::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTLogWithNameAndProperties*>(&other);
    return o && ZVTLogWithProperties::isEqual(other) && name_ == o->name_;
}

bool ZVTPageLog::isEqual(const ZVTSerializableObject& other) const {
    return dynamic_cast<const ZVTPageLog*>(&other) && ZVTLogWithNameAndProperties::isEqual(other);
}
