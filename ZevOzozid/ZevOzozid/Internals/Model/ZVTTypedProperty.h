#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSerializableObject.h"

#include <cstdint>
#include <optional>
#include <string>

// One named event property that remembers its value type. Not locked.
class ZVTTypedProperty : public ZVTSerializableObject {
  public:
    const std::optional<std::string>& type() const { return type_; }
    void setType(std::optional<std::string> t) { type_ = std::move(t); }
    const std::optional<std::string>& name() const { return name_; }
    void setName(std::optional<std::string> n) { name_ = std::move(n); }

    std::string className() const override { return "ZVTTypedProperty"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    // "type" and "name" when set.
    ZVTJson serializeToDictionary() const override;
    // Another typed property with the same type; the name takes no part.
    bool isEqual(const ZVTSerializableObject& other) const override;

  private:
    std::optional<std::string> type_;
    std::optional<std::string> name_;
};

// A 64-bit floating-point property (type "double").
class ZVTDoubleTypedProperty : public ZVTTypedProperty {
  public:
    ZVTDoubleTypedProperty() { setType("double"); }
    double value() const { return value_; }
    void setValue(double v) { value_ = v; }

    std::string className() const override { return "ZVTDoubleTypedProperty"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;

  private:
    double value_ = 0;
};

// A signed 64-bit integer property (type "long").
class ZVTLongTypedProperty : public ZVTTypedProperty {
  public:
    ZVTLongTypedProperty() { setType("long"); }
    int64_t value() const { return value_; }
    void setValue(int64_t v) { value_ = v; }

    std::string className() const override { return "ZVTLongTypedProperty"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;

  private:
    int64_t value_ = 0;
};

// A text property (type "string"); an absent value writes no "value".
class ZVTStringTypedProperty : public ZVTTypedProperty {
  public:
    ZVTStringTypedProperty() { setType("string"); }
    const std::optional<std::string>& value() const { return value_; }
    void setValue(std::optional<std::string> v) { value_ = std::move(v); }

    std::string className() const override { return "ZVTStringTypedProperty"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;

  private:
    std::optional<std::string> value_;
};

// A true/false property (type "boolean").
class ZVTBooleanTypedProperty : public ZVTTypedProperty {
  public:
    ZVTBooleanTypedProperty() { setType("boolean"); }
    bool value() const { return value_; }
    void setValue(bool v) { value_ = v; }

    std::string className() const override { return "ZVTBooleanTypedProperty"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;

  private:
    bool value_ = false;
};

// A point in time (type "dateTime"), written as UTC ISO 8601 text with milliseconds.
class ZVTDateTimeTypedProperty : public ZVTTypedProperty {
  public:
    ZVTDateTimeTypedProperty() { setType("dateTime"); }
    const std::optional<ZVTDate>& value() const { return value_; }
    void setValue(std::optional<ZVTDate> v) { value_ = v; }

    std::string className() const override { return "ZVTDateTimeTypedProperty"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;

  private:
    std::optional<ZVTDate> value_;
};
