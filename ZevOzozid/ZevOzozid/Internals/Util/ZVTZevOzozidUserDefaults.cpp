#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSingleton.h"

namespace {
ZVTSingleton<ZVTZevOzozidUserDefaults>& singleton() {
    static auto* s = new ZVTSingleton<ZVTZevOzozidUserDefaults>(
        [] { return new ZVTZevOzozidUserDefaults(platform::UserDefaults::standard()); });
    return *s;
}
}  // namespace

ZVTZevOzozidUserDefaults& ZVTZevOzozidUserDefaults::shared() {
    return singleton().shared();
}
void ZVTZevOzozidUserDefaults::resetSharedInstance() {
    singleton().reset();
}

std::optional<platform::UserDefaults::Value> ZVTZevOzozidUserDefaults::objectForKey(
    const std::string& key) const {
    return store_.objectForKey(kZVTUserDefaultsPrefix + key);
}

void ZVTZevOzozidUserDefaults::setObject(const std::optional<platform::UserDefaults::Value>& value,
                                         const std::string& key) {
    if (!value) {
        removeObjectForKey(key);
        return;
    }
    store_.setObject(kZVTUserDefaultsPrefix + key, *value);
}

void ZVTZevOzozidUserDefaults::removeObjectForKey(const std::string& key) {
    store_.removeObjectForKey(kZVTUserDefaultsPrefix + key);
}

std::optional<bool> ZVTZevOzozidUserDefaults::boolForKey(const std::string& key) const {
    auto v = objectForKey(key);
    if (!v || !v->is_boolean()) return std::nullopt;
    return v->get<bool>();
}

std::optional<std::string> ZVTZevOzozidUserDefaults::stringForKey(const std::string& key) const {
    auto v = objectForKey(key);
    if (!v || !v->is_string()) return std::nullopt;
    return v->get<std::string>();
}

std::optional<ZVTBytes> ZVTZevOzozidUserDefaults::dataForKey(const std::string& key) const {
    return store_.dataForKey(kZVTUserDefaultsPrefix + key);
}

void ZVTZevOzozidUserDefaults::setData(const ZVTBytes& bytes, const std::string& key) {
    store_.setData(kZVTUserDefaultsPrefix + key, bytes);
}

void ZVTZevOzozidUserDefaults::migrateKeys(const ZVTUserDefaultsMigrationTable& table,
                                           const std::string& service) {
    const std::string marker = "310" + service + "UserDefaultsMigratedKey";
    if (objectForKey(marker)) return;
    ZVTLogVerbose(kZVTLogTag, "Migrating the old NSDefaults keys to new ones.");
    for (const auto& [newKey, old] : table) {
        if (const auto* oldKey = std::get_if<std::string>(&old)) {
            swapKeys(*oldKey, newKey);
            continue;
        }
        const auto& prefix = std::get<ZVTUserDefaultsPrefixKey>(old).keyPrefix;
        for (const auto& key : store_.allKeys()) {
            if (key.rfind(prefix, 0) != 0) continue;
            swapKeys(key, newKey + key.substr(prefix.size()));
        }
    }
    setObject(platform::UserDefaults::Value(true), marker);
}

void ZVTZevOzozidUserDefaults::swapKeys(const std::string& oldKey, const std::string& newKey) {
    auto value = store_.objectForKey(oldKey);
    if (!value) return;
    store_.setObject(newKey, *value);
    store_.removeObjectForKey(oldKey);
    ZVTLogVerbose(kZVTLogTag, "Migrating key ", oldKey, " -> ", newKey);
}
