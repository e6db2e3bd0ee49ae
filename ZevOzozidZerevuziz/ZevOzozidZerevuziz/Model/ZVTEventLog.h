#pragma once

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTEventProperties.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTLogWithNameAndProperties.h"

#include <map>
#include <memory>

class ZVTCommonSchemaLog;

// A custom event (type "event") with its id and typed properties. Bound for a transmission
// target it becomes a common-schema log whose "data" holds the properties as a tree and whose
// metadata extension holds the type ids of long, double and date properties. Not locked: built
// on one thread, then owned by the channel.
class ZVTEventLog : public ZVTLogWithNameAndProperties {
    ZVT_PROPERTY(std::optional<std::string>, eventId, setEventId)
    ZVT_PROPERTY(std::shared_ptr<ZVTEventProperties>, typedProperties, setTypedProperties)

  public:
    static constexpr const char* kType = "event";
    ZVTEventLog() { setType(kType); }

    // "long" 4, "double" 6, "dateTime" 9; strings and booleans have no type id.
    static const std::map<std::string, int64_t>& metadataTypeIdMapping();

    std::string className() const override { return "ZVTEventLog"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    // The base dictionary, "id" when set and "typedProperties" when a bag is set.
    ZVTJson serializeToDictionary() const override;
    bool isValid() const override;
    // The typed properties take no part.
    bool isEqual(const ZVTSerializableObject& other) const override;

    // The base conversion, then the event's name, data, metadata and tag. Cleans the event's own
    // bag of misplaced "baseType"/"baseData" entries, so later conversions see the cleaned bag.
    std::shared_ptr<ZVTCommonSchemaLog> toCommonSchemaLogForTargetToken(
        const std::string& token, uint64_t flags) const override;
    void setPropertiesAndMetadataForCSLog(ZVTCommonSchemaLog& csLog) const;
};
