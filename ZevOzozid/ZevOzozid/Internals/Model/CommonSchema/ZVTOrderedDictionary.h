#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSerializableObject.h"

#include <cstddef>
#include <string>
#include <vector>

// A dictionary that remembers the order in which each key was first set: enumeration, and the
// JSON written from it, follow that order. Setting a key again replaces its value in place.
// Single keys cannot be removed. Not locked: fill it on one thread.
class ZVTOrderedDictionary {
  public:
    ZVTOrderedDictionary() = default;
    // The capacity is a hint for both inner containers.
    explicit ZVTOrderedDictionary(size_t capacity);

    void setObject(const ZVTJson& value, const std::string& key);
    // nullptr when the key is absent.
    const ZVTJson* objectForKey(const std::string& key) const;
    size_t count() const { return order_.size(); }
    // The keys in first-insertion order.
    const std::vector<std::string>& keys() const { return order_; }
    void removeAllObjects();
    ZVTOrderedDictionary mutableCopy() const { return *this; }
    // Same entries and the same key order; a plain JSON object is never equal.
    bool isEqualToDictionary(const ZVTOrderedDictionary& other) const;
    // The entries as a JSON object in key order.
    const ZVTJson& json() const { return dictionary_; }

  private:
    std::vector<std::string> order_;
    ZVTJson dictionary_ = ZVTJson::object();
};
