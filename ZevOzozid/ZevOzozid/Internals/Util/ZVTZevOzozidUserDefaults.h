#pragma once

#include "platform/UserDefaults.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSerializableObject.h"

#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// A migration entry covering every old key that begins with `keyPrefix`.
struct ZVTUserDefaultsPrefixKey {
    std::string keyPrefix;
};

// New stored key (already prefixed), then the old key (unprefixed) or old key prefix.
using ZVTUserDefaultsMigrationTable =
    std::vector<std::pair<std::string, std::variant<std::string, ZVTUserDefaultsPrefixKey>>>;

// The SDK's settings: every key is stored with the prefix "ZVZevOzozid" in the platform user
// defaults. Safe from any thread (the platform store locks itself).
class ZVTZevOzozidUserDefaults {
  public:
    explicit ZVTZevOzozidUserDefaults(platform::UserDefaults& store) : store_(store) {}

    // Over platform::UserDefaults::standard().
    static ZVTZevOzozidUserDefaults& shared();
    static void resetSharedInstance();

    std::optional<platform::UserDefaults::Value> objectForKey(const std::string& key) const;
    // nullopt removes the value.
    void setObject(const std::optional<platform::UserDefaults::Value>& value,
                   const std::string& key);
    void removeObjectForKey(const std::string& key);

    // Typed reads: a value of another kind reads as absent.
    std::optional<bool> boolForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::optional<ZVTBytes> dataForKey(const std::string& key) const;
    void setData(const ZVTBytes& bytes, const std::string& key);

    // Moves the values of old keys once per service (a marker key remembers it).
    void migrateKeys(const ZVTUserDefaultsMigrationTable& table, const std::string& service);

    platform::UserDefaults& store() { return store_; }

  private:
    void swapKeys(const std::string& oldKey, const std::string& newKey);

    platform::UserDefaults& store_;
};

inline const std::string kZVTUserDefaultsPrefix = "ZVZevOzozid";
