#pragma once

#include "ZevOzozid/ZevOzozid/Model/ZVTLogWithProperties.h"

// A log with a name and string properties: the base of event and page logs. Not locked.
class ZVTLogWithNameAndProperties : public ZVTLogWithProperties {
    ZVT_PROPERTY(std::optional<std::string>, name, setName)

  public:
    std::string className() const override { return "ZVTLogWithNameAndProperties"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    // The base dictionary and "name" when set.
    ZVTJson serializeToDictionary() const override;
    // The base's validity and a name.
    bool isValid() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
};

// A page view (type "page").
class ZVTPageLog : public ZVTLogWithNameAndProperties {
  public:
    static constexpr const char* kType = "page";
    ZVTPageLog() { setType(kType); }
    std::string className() const override { return "ZVTPageLog"; }
    bool isEqual(const ZVTSerializableObject& other) const override;
};
