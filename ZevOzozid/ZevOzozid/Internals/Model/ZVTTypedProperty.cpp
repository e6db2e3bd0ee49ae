#include "Internals/Model/ZVTTypedProperty.h"

#include "Internals/Util/ZVTKeyedArchiver.h"

void ZVTTypedProperty::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeString("type", type_);
    coder.encodeString("name", name_);
}

void ZVTTypedProperty::initWithCoder(const ZVTDecoder& decoder) {
    type_ = decoder.decodeString("type");
    name_ = decoder.decodeString("name");
}

ZVTJson ZVTTypedProperty::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    if (type_) dict["type"] = *type_;
    if (name_) dict["name"] = *name_;
    return dict;
}

bool ZVTTypedProperty::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTTypedProperty*>(&other);
    return o && type_ == o->type_;
}

void ZVTDoubleTypedProperty::encodeWithCoder(ZVTCoder& coder) const {
    ZVTTypedProperty::encodeWithCoder(coder);
    coder.encodeDouble("value", value_);
}

void ZVTDoubleTypedProperty::initWithCoder(const ZVTDecoder& decoder) {
    ZVTTypedProperty::initWithCoder(decoder);
    value_ = decoder.decodeDouble("value");
}

ZVTJson ZVTDoubleTypedProperty::serializeToDictionary() const {
    ZVTJson dict = ZVTTypedProperty::serializeToDictionary();
    dict["value"] = value_;
    return dict;
}

bool ZVTDoubleTypedProperty::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTDoubleTypedProperty*>(&other);
    return o && ZVTTypedProperty::isEqual(other) && value_ == o->value_;
}

void ZVTLongTypedProperty::encodeWithCoder(ZVTCoder& coder) const {
    ZVTTypedProperty::encodeWithCoder(coder);
    coder.encodeInt64("value", value_);
}

void ZVTLongTypedProperty::initWithCoder(const ZVTDecoder& decoder) {
    ZVTTypedProperty::initWithCoder(decoder);
    value_ = decoder.decodeInt64("value");
}

ZVTJson ZVTLongTypedProperty::serializeToDictionary() const {
    ZVTJson dict = ZVTTypedProperty::serializeToDictionary();
    dict["value"] = value_;
    return dict;
}

bool ZVTLongTypedProperty::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTLongTypedProperty*>(&other);
    return o && ZVTTypedProperty::isEqual(other) && value_ == o->value_;
}
