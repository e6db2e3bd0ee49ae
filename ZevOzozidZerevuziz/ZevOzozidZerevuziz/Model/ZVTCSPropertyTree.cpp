#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTCSPropertyTree.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuzizConstants.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <optional>
#include <vector>

namespace {

const std::string kBaseType = "baseType";
const std::string kBaseData = "baseData";
const std::string kBaseTypePrefix = kBaseType + ".";
const std::string kBaseDataPrefix = kBaseData + ".";

bool startsWith(const std::optional<std::string>& name, const std::string& prefix) {
    return name && name->starts_with(prefix);
}

std::vector<std::string> splitAtPeriods(const std::string& name) {
    std::vector<std::string> keys;
    size_t start = 0;
    for (size_t dot; (dot = name.find('.', start)) != std::string::npos; start = dot + 1) {
        keys.push_back(name.substr(start, dot - start));
    }
    keys.push_back(name.substr(start));
    return keys;
}

// The node's dictionary under key, made when missing; nullptr when something else is there.
ZVTJson* descend(ZVTJson& node, const std::string& key) {
    auto it = node.find(key);
    if (it == node.end()) return &(node[key] = ZVTJson::object());
    return it->is_object() ? &*it : nullptr;
}

}  // namespace

void ZVTCSPropertyTree::addEventProperties(ZVTEventProperties& bag) {
    const auto all = bag.properties();
    auto baseType = bag.propertyForKey(kBaseType);
    if (baseType && dynamic_cast<const ZVTStringTypedProperty*>(baseType.get())) {
        bool hasData = false;
        for (const auto& p : all) hasData = hasData || startsWith(p->name(), kBaseDataPrefix);
        if (!hasData) {
            ZVTLogWarning(kZVTZerevuzizLogTag, "baseType was set but baseData is missing.");
            bag.removePropertyForKey(kBaseType);
        }
    } else {
        bool removed = false;
        for (const auto& p : all) {
            if (startsWith(p->name(), kBaseDataPrefix)) {
                bag.removePropertyForKey(*p->name());
                removed = true;
            }
        }
        if (removed) {
            ZVTLogWarning(kZVTZerevuzizLogTag,
                          "baseData was set but baseType is missing or invalid.");
        }
        bag.removePropertyForKey(kBaseType);
    }
    for (const auto& p : bag.properties()) {
        if (startsWith(p->name(), kBaseTypePrefix)) {
            ZVTLogWarning(kZVTZerevuzizLogTag, "baseType must not be an object.");
        } else if (p->name() == kBaseData) {
            ZVTLogWarning(kZVTZerevuzizLogTag, "baseData must be an object.");
        } else {
            addTypedProperty(*p);
        }
    }
}

bool ZVTCSPropertyTree::addTypedProperty(const ZVTTypedProperty& property) {
    if (!property.name()) return false;
    std::optional<int64_t> typeId;
    if (property.type()) {
        auto it = typeIds_.find(*property.type());
        if (it != typeIds_.end()) typeId = it->second;
    }
    const auto keys = splitAtPeriods(*property.name());
    ZVTJson* node = &properties_;
    ZVTJson* metaNode = &metadata_;
    ZVTJson* madeFAt = nullptr;  // the node where this call made an "f" first
    for (size_t i = 0; i + 1 < keys.size() && node; ++i) {
        node = descend(*node, keys[i]);
        if (!node || !typeId) continue;
        if (!metaNode->contains("f")) {
            (*metaNode)["f"] = ZVTJson::object();
            if (!madeFAt) madeFAt = metaNode;
        }
        metaNode = descend((*metaNode)["f"], keys[i]);
        if (!metaNode) node = nullptr;
    }
    const bool placed = addLeaf(node, keys.back(), property);
    if (placed && typeId) {
        if (!metaNode->contains("f")) (*metaNode)["f"] = ZVTJson::object();
        (*metaNode)["f"][keys.back()] = *typeId;
    } else if (!placed && madeFAt) {
        madeFAt->erase("f");
    }
    return placed;
}

bool ZVTCSPropertyTree::addLeaf(ZVTJson* node, const std::string& key,
                                const ZVTTypedProperty& property) {
    if (!node || node->contains(key)) {
        ZVTLogWarning(kZVTZerevuzizLogTag, "Property key '", key,
                      "' already has a value, choosing one.");
        return false;
    }
    if (auto* s = dynamic_cast<const ZVTStringTypedProperty*>(&property)) {
        (*node)[key] = s->value().value_or("");
    } else if (auto* b = dynamic_cast<const ZVTBooleanTypedProperty*>(&property)) {
        (*node)[key] = b->value();
    } else if (auto* l = dynamic_cast<const ZVTLongTypedProperty*>(&property)) {
        (*node)[key] = l->value();
    } else if (auto* d = dynamic_cast<const ZVTDoubleTypedProperty*>(&property)) {
        (*node)[key] = d->value();
    } else if (auto* t = dynamic_cast<const ZVTDateTimeTypedProperty*>(&property)) {
        if (!t->value()) return false;
        (*node)[key] = ZVTUtility::dateToISO8601(*t->value());
    } else {
        return false;
    }
    return true;
}
