#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTEventProperties.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuzizConstants.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

#include <algorithm>
#include <cmath>

namespace {

template <typename T, typename V>
std::shared_ptr<ZVTTypedProperty> make(const std::string& name, V value) {
    auto property = std::make_shared<T>();
    property->setName(name);
    property->setValue(std::move(value));
    return property;
}

}  // namespace

ZVTEventProperties::ZVTEventProperties(const StringPairs& strings) {
    for (const auto& [key, value] : strings) {
        storeLocked(make<ZVTStringTypedProperty>(key, std::optional<std::string>(value)));
    }
}

bool ZVTEventProperties::validateKey(const std::optional<std::string>& key) {
    if (key) return true;
    ZVTLogError(kZVTZerevuzizLogTag, "Key cannot be null. Property will not be added.");
    return false;
}

bool ZVTEventProperties::validateValue(bool present) {
    if (present) return true;
    ZVTLogError(kZVTZerevuzizLogTag, "Value cannot be null. Property will not be added.");
    return false;
}

ZVTEventProperties& ZVTEventProperties::setString(const std::optional<std::string>& value,
                                                  const std::optional<std::string>& key) {
    if (validateKey(key) && validateValue(value.has_value())) {
        setProperty(make<ZVTStringTypedProperty>(*key, value));
    }
    return *this;
}

ZVTEventProperties& ZVTEventProperties::setDouble(double value,
                                                  const std::optional<std::string>& key) {
    if (!validateKey(key)) return *this;
    if (!std::isfinite(value)) {
        ZVTLogError(kZVTZerevuzizLogTag, "Double value for property '", *key,
                    "' must be finite (cannot be INFINITY or NAN).");
        return *this;
    }
    setProperty(make<ZVTDoubleTypedProperty>(*key, value));
    return *this;
}

ZVTEventProperties& ZVTEventProperties::setInt64(int64_t value,
                                                 const std::optional<std::string>& key) {
    if (validateKey(key)) setProperty(make<ZVTLongTypedProperty>(*key, value));
    return *this;
}

ZVTEventProperties& ZVTEventProperties::setBool(bool value, const std::optional<std::string>& key) {
    if (validateKey(key)) setProperty(make<ZVTBooleanTypedProperty>(*key, value));
    return *this;
}

ZVTEventProperties& ZVTEventProperties::setDate(const std::optional<ZVTDate>& value,
                                                const std::optional<std::string>& key) {
    if (validateKey(key) && validateValue(value.has_value())) {
        setProperty(make<ZVTDateTimeTypedProperty>(*key, value));
    }
    return *this;
}

void ZVTEventProperties::storeLocked(const Property& property) {
    if (!property || !property->name()) return;
    auto it = std::find_if(properties_.begin(), properties_.end(),
                           [&](const Property& p) { return p->name() == property->name(); });
    if (it != properties_.end()) {
        *it = property;
    } else {
        properties_.push_back(property);
    }
}

void ZVTEventProperties::setProperty(const Property& property) {
    std::lock_guard lock(mutex_);
    storeLocked(property);
}

void ZVTEventProperties::removePropertyForKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    std::erase_if(properties_, [&](const Property& p) { return p->name() == key; });
}

ZVTEventProperties::Property ZVTEventProperties::propertyForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    for (const auto& p : properties_) {
        if (p->name() == key) return p;
    }
    return nullptr;
}

bool ZVTEventProperties::hasKey(const std::string& key) const {
    return propertyForKey(key) != nullptr;
}

std::vector<ZVTEventProperties::Property> ZVTEventProperties::properties() const {
    std::lock_guard lock(mutex_);
    return properties_;
}

size_t ZVTEventProperties::count() const {
    std::lock_guard lock(mutex_);
    return properties_.size();
}

bool ZVTEventProperties::isEmpty() const {
    return count() == 0;
}

void ZVTEventProperties::mergeEventProperties(const ZVTEventProperties& other) {
    if (&other == this) return;
    const auto incoming = other.properties();
    std::lock_guard lock(mutex_);
    for (const auto& p : incoming) storeLocked(p);
}

ZVTJson ZVTEventProperties::serializeToArray() const {
    std::lock_guard lock(mutex_);
    ZVTJson array = ZVTJson::array();
    for (const auto& p : properties_) array.push_back(p->serializeToDictionary());
    return array;
}

void ZVTEventProperties::encodeWithCoder(ZVTCoder& coder) const {
    std::lock_guard lock(mutex_);
    coder.encodeObjects("$root", std::optional(properties_));
}

void ZVTEventProperties::initWithCoder(const ZVTDecoder& decoder) {
    auto list = decoder.decodeObjects<ZVTTypedProperty>("$root");
    std::lock_guard lock(mutex_);
    properties_.clear();
    if (list) {
        for (const auto& p : *list) storeLocked(p);
    }
}

bool ZVTEventProperties::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTEventProperties*>(&other);
    if (!o) return false;
    if (o == this) return true;
    const auto mine = properties();
    const auto theirs = o->properties();
    if (mine.size() != theirs.size()) return false;
    for (const auto& p : mine) {
        auto it = std::find_if(theirs.begin(), theirs.end(),
                               [&](const Property& q) { return q->name() == p->name(); });
        if (it == theirs.end() || !p->isEqual(**it)) return false;
    }
    return true;
}
