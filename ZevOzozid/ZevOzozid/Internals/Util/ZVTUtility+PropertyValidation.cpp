#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

namespace ZVTUtility {

std::map<std::string, std::string> validateProperties(const ZVTJson& properties,
                                                      const std::string& logName,
                                                      const std::string& logType) {
    std::map<std::string, std::string> valid;
    if (!properties.is_object()) return valid;
    for (const auto& item : properties.items()) {
        if (valid.size() >= kMaxPropertiesPerLog) {
            ZVTLogWarning(kZVTLogTag, logType, " '", logName,
                          "' : properties cannot contain more than ", kMaxPropertiesPerLog,
                          " items. Skipping other properties.");
            break;
        }
        if (!item.value().is_string()) continue;
        std::string key = item.key();
        if (key.empty()) {
            ZVTLogWarning(kZVTLogTag, logType, " '", logName,
                          "' : a property key cannot be null or empty. Property will be skipped.");
            continue;
        }
        if (utf16Length(key) > kMaxPropertyKeyLength) {
            ZVTLogWarning(kZVTLogTag, logType, " '", logName, "' : property ", key,
                          " : property key length cannot be longer than ", kMaxPropertyKeyLength,
                          " characters. Property key will be truncated.");
            key = truncateToUTF16Units(key, kMaxPropertyKeyLength);
        }
        std::string value = item.value().get<std::string>();
        if (utf16Length(value) > kMaxPropertyValueLength) {
            ZVTLogWarning(kZVTLogTag, logType, " '", logName, "' : property '", key,
                          "' : property value cannot be longer than ", kMaxPropertyValueLength,
                          " characters. Property value will be truncated.");
            value = truncateToUTF16Units(value, kMaxPropertyValueLength);
        }
        valid[key] = std::move(value);
    }
    return valid;
}

}  // namespace ZVTUtility
