#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTTypedProperty.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

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

void ZVTStringTypedProperty::encodeWithCoder(ZVTCoder& coder) const {
    ZVTTypedProperty::encodeWithCoder(coder);
    coder.encodeString("value", value_);
}

void ZVTStringTypedProperty::initWithCoder(const ZVTDecoder& decoder) {
    ZVTTypedProperty::initWithCoder(decoder);
    value_ = decoder.decodeString("value");
}

ZVTJson ZVTStringTypedProperty::serializeToDictionary() const {
    ZVTJson dict = ZVTTypedProperty::serializeToDictionary();
    if (value_) dict["value"] = *value_;
    return dict;
}

bool ZVTStringTypedProperty::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTStringTypedProperty*>(&other);
    return o && ZVTTypedProperty::isEqual(other) && value_ == o->value_;
}

void ZVTBooleanTypedProperty::encodeWithCoder(ZVTCoder& coder) const {
    ZVTTypedProperty::encodeWithCoder(coder);
    coder.encodeBool("value", value_);
}

void ZVTBooleanTypedProperty::initWithCoder(const ZVTDecoder& decoder) {
    ZVTTypedProperty::initWithCoder(decoder);
    value_ = decoder.decodeBool("value");
}

ZVTJson ZVTBooleanTypedProperty::serializeToDictionary() const {
    ZVTJson dict = ZVTTypedProperty::serializeToDictionary();
    dict["value"] = value_;
    return dict;
}

bool ZVTBooleanTypedProperty::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTBooleanTypedProperty*>(&other);
    return o && ZVTTypedProperty::isEqual(other) && value_ == o->value_;
}

void ZVTDateTimeTypedProperty::encodeWithCoder(ZVTCoder& coder) const {
    ZVTTypedProperty::encodeWithCoder(coder);
    coder.encodeDate("value", value_);
}

void ZVTDateTimeTypedProperty::initWithCoder(const ZVTDecoder& decoder) {
    ZVTTypedProperty::initWithCoder(decoder);
    value_ = decoder.decodeDate("value");
}

ZVTJson ZVTDateTimeTypedProperty::serializeToDictionary() const {
    ZVTJson dict = ZVTTypedProperty::serializeToDictionary();
    if (value_) dict["value"] = ZVTUtility::dateToISO8601(*value_);
    return dict;
}

bool ZVTDateTimeTypedProperty::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTDateTimeTypedProperty*>(&other);
    return o && ZVTTypedProperty::isEqual(other) && value_ == o->value_;
}
