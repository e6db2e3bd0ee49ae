#include "ZevOzozid/ZevOzozid/Model/ZVTLogWithProperties.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

namespace {
ZVTJson propertiesObject(const ZVTPropertyMap& properties) {
    ZVTJson object = ZVTJson::object();
    for (const auto& [key, value] : properties) object[key] = value;
    return object;
}
}  // namespace

void ZVTLogWithProperties::encodeWithCoder(ZVTCoder& coder) const {
    ZVTAbstractLog::encodeWithCoder(coder);
    if (properties_) coder.encodeJson("properties", propertiesObject(*properties_));
}

void ZVTLogWithProperties::initWithCoder(const ZVTDecoder& decoder) {
    ZVTAbstractLog::initWithCoder(decoder);
    properties_.reset();
    auto object = decoder.decodeJson("properties");
    if (!object) return;
    if (!object->is_object()) {
        decoder.fail("properties are not a map");
        return;
    }
    ZVTPropertyMap properties;
    for (const auto& item : object->items()) {
        if (!item.value().is_string()) {
            decoder.fail("a property value is not a text");
            return;
        }
        properties[item.key()] = item.value().get<std::string>();
    }
    properties_ = std::move(properties);
}

ZVTJson ZVTLogWithProperties::serializeToDictionary() const {
    ZVTJson dict = ZVTAbstractLog::serializeToDictionary();
    if (properties_ && !properties_->empty()) dict["properties"] = propertiesObject(*properties_);
    return dict;
}

bool ZVTLogWithProperties::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTLogWithProperties*>(&other);
    return o && ZVTAbstractLog::isEqual(other) && properties_ == o->properties_;
}
