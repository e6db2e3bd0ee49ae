#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// JSON values of the SDK keep the order in which keys were written.
using ZVTJson = nlohmann::ordered_json;
using ZVTDate = std::chrono::system_clock::time_point;
using ZVTBytes = std::vector<uint8_t>;

class ZVTCoder;
class ZVTDecoder;

// A model object that archives itself (keyed coding) and writes its JSON dictionary.
// Objects are not locked unless a class says so: fill them on one thread before sharing.
class ZVTSerializableObject {
  public:
    virtual ~ZVTSerializableObject() = default;
    // The class name under which the object is archived ("$class").
    virtual std::string className() const = 0;
    virtual void encodeWithCoder(ZVTCoder& coder) const = 0;
    // Reads the fields back; a mistyped value marks the decoder failed.
    virtual void initWithCoder(const ZVTDecoder& decoder) = 0;
    // The JSON dictionary of the fields that are set; null when the object writes nothing (and
    // for objects that only archive).
    virtual ZVTJson serializeToDictionary() const { return ZVTJson(); }
    virtual bool isEqual(const ZVTSerializableObject& other) const = 0;
};

// A model that can tell whether it may be sent.
class ZVTModel {
  public:
    virtual ~ZVTModel() = default;
    virtual bool isValid() const = 0;
};

// Two absent objects are equal, one absent is not, else the first's isEqual.
template <typename A, typename B>
bool zvtObjectsEqual(const std::shared_ptr<A>& a, const std::shared_ptr<B>& b) {
    if (!a || !b) return !a && !b;
    return a->isEqual(*b);
}

template <typename T>
bool zvtObjectListsEqual(const std::optional<std::vector<std::shared_ptr<T>>>& a,
                         const std::optional<std::vector<std::shared_ptr<T>>>& b) {
    if (!a || !b) return !a && !b;
    if (a->size() != b->size()) return false;
    for (size_t i = 0; i < a->size(); ++i) {
        if (!zvtObjectsEqual((*a)[i], (*b)[i])) return false;
    }
    return true;
}

// Logs the first missing required field: "<class>: "<field>" is not valid." at verbose level.
void zvtReportInvalidField(const std::string& className, const std::string& field);

// Declares a property `name()` / `setName(v)` over the member `name_`.
#define ZVT_PROPERTY(Type, name, Setter) \
  public:                                \
    const Type& name() const {           \
        return name##_;                  \
    }                                    \
    void Setter(Type value) {            \
        name##_ = std::move(value);      \
    }                                    \
                                         \
  private:                               \
    Type name##_{};
