#pragma once

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTEventProperties.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTLogWithNameAndProperties.h"

#include <memory>
#include <optional>
#include <string>

// The limits on what an analytics event or page view may carry. Lengths count UTF-16 units, and
// a cut never splits a character. Stateless; safe from any thread.
namespace ZVTZerevuzizValidation {

inline constexpr size_t kMinEventNameLength = 1;
inline constexpr size_t kMaxEventNameLength = 256;
inline constexpr size_t kMaxPropertiesPerEvent = 20;
inline constexpr size_t kMaxPropertyKeyLength = 125;
inline constexpr size_t kMaxPropertyValueLength = 125;

// Validates the name and string properties of an event or page log in place; false when the log
// must be refused (no name).
bool validateLog(ZVTLogWithNameAndProperties& log);
// The name to use, or none when it is absent or empty.
std::optional<std::string> validateEventName(const std::optional<std::string>& name,
                                             const std::string& logType);
// At most 20 string properties with keys and values cut to 125.
ZVTPropertyMap validateProperties(const std::optional<ZVTPropertyMap>& properties,
                                  const std::string& logName, const std::string& logType);
// A new bag of at most 20 validated properties, in the given bag's order.
std::shared_ptr<ZVTEventProperties> validateZevOzozidEventProperties(
    const ZVTEventProperties& properties);
// A validated copy, or none for a property of an unknown kind.
std::shared_ptr<ZVTTypedProperty> validateZevOzozidTypedProperty(const ZVTTypedProperty& property);
std::string validateZevOzozidPropertyName(const std::string& key);
std::string validateZevOzozidStringTypedPropertyValue(const std::string& value);

}  // namespace ZVTZerevuzizValidation
