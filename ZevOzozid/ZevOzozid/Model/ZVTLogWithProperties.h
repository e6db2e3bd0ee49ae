#pragma once

#include "ZevOzozid/ZevOzozid/Model/ZVTAbstractLog.h"

#include <map>
#include <optional>
#include <string>

using ZVTPropertyMap = std::map<std::string, std::string>;

// A log with string properties: the base of event, page and error logs. The map is kept as a
// copy, so a caller's later change never reaches a queued log. Validate maps before setting them
// (ZVTUtility::validateProperties). Not locked.
class ZVTLogWithProperties : public ZVTAbstractLog {
    ZVT_PROPERTY(std::optional<ZVTPropertyMap>, properties, setProperties)

  public:
    std::string className() const override { return "ZVTLogWithProperties"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    // A "properties" value that is not a map of texts fails the decoding.
    void initWithCoder(const ZVTDecoder& decoder) override;
    // The base dictionary, and "properties" when the map holds at least one entry.
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
};
