#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTOrderedDictionary.h"

ZVTOrderedDictionary::ZVTOrderedDictionary(size_t capacity) {
    order_.reserve(capacity);
    dictionary_.get_ref<ZVTJson::object_t&>().reserve(capacity);
}

void ZVTOrderedDictionary::setObject(const ZVTJson& value, const std::string& key) {
    // The JSON object keeps first-insertion order itself; the key list mirrors it.
    if (!dictionary_.contains(key)) order_.push_back(key);
    dictionary_[key] = value;
}

const ZVTJson* ZVTOrderedDictionary::objectForKey(const std::string& key) const {
    auto it = dictionary_.find(key);
    return it == dictionary_.end() ? nullptr : &*it;
}

void ZVTOrderedDictionary::removeAllObjects() {
    order_.clear();
    dictionary_ = ZVTJson::object();
}

bool ZVTOrderedDictionary::isEqualToDictionary(const ZVTOrderedDictionary& other) const {
    if (order_ != other.order_) return false;
    for (const auto& key : order_) {
        if (*objectForKey(key) != *other.objectForKey(key)) return false;
    }
    return true;
}
