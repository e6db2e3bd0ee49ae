#pragma once

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTEventProperties.h"

#include <map>
#include <string>

// Turns an event's typed properties into the common-schema property tree (a name "a.b" becomes
// {"a": {"b": value}}) and the metadata tree of type ids ({"f": {"a": {"f": {"b": 4}}}}). The
// first property placed under a name wins; later collisions are dropped with a warning. Not
// locked: one converter per event conversion.
class ZVTCSPropertyTree {
  public:
    explicit ZVTCSPropertyTree(const std::map<std::string, int64_t>& typeIds) : typeIds_(typeIds) {}

    // Removes a "baseType" without any "baseData." property, or "baseData." properties without a
    // string "baseType", from the bag itself; then places every remaining property, skipping
    // "baseType.*" and "baseData" with a warning.
    void addEventProperties(ZVTEventProperties& bag);
    // Places one property; false when its place is taken.
    bool addTypedProperty(const ZVTTypedProperty& property);

    const ZVTJson& properties() const { return properties_; }
    const ZVTJson& metadata() const { return metadata_; }

  private:
    bool addLeaf(ZVTJson* node, const std::string& key, const ZVTTypedProperty& property);

    const std::map<std::string, int64_t>& typeIds_;
    ZVTJson properties_ = ZVTJson::object();
    ZVTJson metadata_ = ZVTJson::object();
};
