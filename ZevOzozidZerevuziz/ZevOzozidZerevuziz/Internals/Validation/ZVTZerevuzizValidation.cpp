#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Internals/Validation/ZVTZerevuzizValidation.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuzizConstants.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

namespace ZVTZerevuzizValidation {

bool validateLog(ZVTLogWithNameAndProperties& log) {
    const std::string type = log.type().value_or("");
    auto name = validateEventName(log.name(), type);
    if (!name) return false;
    log.setName(name);
    log.setProperties(validateProperties(log.properties(), *name, type));
    return true;
}

std::optional<std::string> validateEventName(const std::optional<std::string>& name,
                                             const std::string& logType) {
    if (!name || ZVTUtility::utf16Length(*name) < kMinEventNameLength) {
        ZVTLogError(kZVTZerevuzizLogTag, logType, " name cannot be null or empty");
        return std::nullopt;
    }
    if (ZVTUtility::utf16Length(*name) > kMaxEventNameLength) {
        ZVTLogWarning(kZVTZerevuzizLogTag, logType, " '", *name,
                      "' : name length cannot be longer than ", kMaxEventNameLength,
                      " characters. Name will be truncated.");
        return ZVTUtility::truncateToUTF16Units(*name, kMaxEventNameLength);
    }
    return name;
}

ZVTPropertyMap validateProperties(const std::optional<ZVTPropertyMap>& properties,
                                  const std::string& logName, const std::string& logType) {
    ZVTJson object = ZVTJson::object();
    if (properties) {
        for (const auto& [key, value] : *properties) object[key] = value;
    }
    return ZVTUtility::validateProperties(object, logName, logType);
}

std::shared_ptr<ZVTEventProperties> validateZevOzozidEventProperties(
    const ZVTEventProperties& properties) {
    auto valid = std::make_shared<ZVTEventProperties>();
    for (const auto& property : properties.properties()) {
        if (valid->count() >= kMaxPropertiesPerEvent) {
            ZVTLogWarning(kZVTZerevuzizLogTag, "Typed properties cannot contain more than ",
                          kMaxPropertiesPerEvent, " items. Skipping other properties.");
            break;
        }
        if (auto copy = validateZevOzozidTypedProperty(*property)) valid->setProperty(copy);
    }
    return valid;
}

namespace {

template <typename T>
std::shared_ptr<T> copyOf(const T& property) {
    auto copy = std::make_shared<T>();
    copy->setValue(property.value());
    return copy;
}

}  // namespace

std::shared_ptr<ZVTTypedProperty> validateZevOzozidTypedProperty(const ZVTTypedProperty& property) {
    std::shared_ptr<ZVTTypedProperty> copy;
    if (auto* s = dynamic_cast<const ZVTStringTypedProperty*>(&property)) {
        auto text = std::make_shared<ZVTStringTypedProperty>();
        if (s->value()) text->setValue(validateZevOzozidStringTypedPropertyValue(*s->value()));
        copy = text;
    } else if (auto* b = dynamic_cast<const ZVTBooleanTypedProperty*>(&property)) {
        copy = copyOf(*b);
    } else if (auto* l = dynamic_cast<const ZVTLongTypedProperty*>(&property)) {
        copy = copyOf(*l);
    } else if (auto* d = dynamic_cast<const ZVTDoubleTypedProperty*>(&property)) {
        copy = copyOf(*d);
    } else if (auto* t = dynamic_cast<const ZVTDateTimeTypedProperty*>(&property)) {
        copy = copyOf(*t);
    } else {
        return nullptr;
    }
    if (property.name()) copy->setName(validateZevOzozidPropertyName(*property.name()));
    return copy;
}

std::string validateZevOzozidPropertyName(const std::string& key) {
    if (ZVTUtility::utf16Length(key) <= kMaxPropertyKeyLength) return key;
    ZVTLogWarning(kZVTZerevuzizLogTag, "Typed property '", key, "': key length cannot exceed ",
                  kMaxPropertyKeyLength, " characters. Property value will be truncated.");
    return ZVTUtility::truncateToUTF16Units(key, kMaxPropertyKeyLength);
}

std::string validateZevOzozidStringTypedPropertyValue(const std::string& value) {
    if (ZVTUtility::utf16Length(value) <= kMaxPropertyValueLength) return value;
    ZVTLogWarning(kZVTZerevuzizLogTag, "Typed property value length cannot exceed ",
                  kMaxPropertyValueLength, " characters. Property value will be truncated.");
    return ZVTUtility::truncateToUTF16Units(value, kMaxPropertyValueLength);
}

}  // namespace ZVTZerevuzizValidation
