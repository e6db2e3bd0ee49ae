#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTTypedProperty.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSerializableObject.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A bag of typed event properties, one per name, kept in the order names were first set
// (setting a name again replaces its property in place). Every member is safe from any thread
// (the bag's own lock); the setters return the bag so calls chain.
class ZVTEventProperties : public ZVTSerializableObject {
  public:
    using Property = std::shared_ptr<ZVTTypedProperty>;
    using StringPairs = std::vector<std::pair<std::string, std::string>>;

    ZVTEventProperties() = default;
    // Each pair becomes a string property.
    explicit ZVTEventProperties(const StringPairs& strings);
    ZVTEventProperties(const ZVTEventProperties&) = delete;
    ZVTEventProperties& operator=(const ZVTEventProperties&) = delete;

    // An absent key, or an absent string or date, stores nothing (one ERROR line); a double that
    // is NaN or infinite likewise.
    ZVTEventProperties& setString(const std::optional<std::string>& value,
                                  const std::optional<std::string>& key);
    ZVTEventProperties& setDouble(double value, const std::optional<std::string>& key);
    ZVTEventProperties& setInt64(int64_t value, const std::optional<std::string>& key);
    ZVTEventProperties& setBool(bool value, const std::optional<std::string>& key);
    ZVTEventProperties& setDate(const std::optional<ZVTDate>& value,
                                const std::optional<std::string>& key);

    // Stores a property under its own name (a property without a name is ignored).
    void setProperty(const Property& property);
    void removePropertyForKey(const std::string& key);
    Property propertyForKey(const std::string& key) const;
    bool hasKey(const std::string& key) const;
    // A snapshot, in order.
    std::vector<Property> properties() const;
    size_t count() const;
    bool isEmpty() const;
    // Adds every property of `other`, replacing those of the same name.
    void mergeEventProperties(const ZVTEventProperties& other);

    // One JSON object per property, in order.
    ZVTJson serializeToArray() const;

    std::string className() const override { return "ZVTEventProperties"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    bool isEqual(const ZVTSerializableObject& other) const override;

    // "Key cannot be null. Property will not be added." when absent.
    static bool validateKey(const std::optional<std::string>& key);
    // "Value cannot be null. Property will not be added." when absent.
    static bool validateValue(bool present);

  private:
    void storeLocked(const Property& property);

    mutable std::mutex mutex_;
    std::vector<Property> properties_;
};
