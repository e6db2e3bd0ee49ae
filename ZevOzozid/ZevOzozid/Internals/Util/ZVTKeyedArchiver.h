#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSerializableObject.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Writes one object as a CBOR-ready map: "$class" and each field under its archive key. Absent
// values are left out. Dates are integer nanoseconds since 1970, bytes and UUIDs byte strings.
class ZVTCoder {
  public:
    explicit ZVTCoder(const std::string& className);

    void encodeString(const std::string& key, const std::optional<std::string>& value);
    void encodeDate(const std::string& key, const std::optional<ZVTDate>& value);
    void encodeInt64(const std::string& key, int64_t value);
    void encodeNumber(const std::string& key, const std::optional<int64_t>& value);
    void encodeDouble(const std::string& key, double value);
    void encodeBool(const std::string& key, bool value);
    void encodeBytes(const std::string& key, const std::optional<ZVTBytes>& value);
    void encodeUUID(const std::string& key, const std::optional<ZVTUUID>& value);
    void encodeStrings(const std::string& key,
                       const std::optional<std::vector<std::string>>& value);
    // A plain JSON value (dictionaries of strings, numbers, lists).
    void encodeJson(const std::string& key, const std::optional<ZVTJson>& value);
    // The unkeyed root value, kept under "$root".
    void encodeRootObject(const std::optional<ZVTJson>& value) { encodeJson("$root", value); }
    void encodeObject(const std::string& key, const ZVTSerializableObject* object);
    template <typename T>
    void encodeObjects(const std::string& key,
                       const std::optional<std::vector<std::shared_ptr<T>>>& list) {
        if (!list) return;
        ZVTJson array = ZVTJson::array();
        for (const auto& item : *list) array.push_back(item ? mapOf(*item) : ZVTJson());
        map_[key] = std::move(array);
    }

    ZVTJson& map() { return map_; }
    static ZVTJson mapOf(const ZVTSerializableObject& object);

  private:
    ZVTJson map_ = ZVTJson::object();
};

// Reads one object's map. Absent keys (or null) read as absent; a value of the wrong kind marks
// the decoder failed, and the whole archive then decodes as nothing.
class ZVTDecoder {
  public:
    explicit ZVTDecoder(const ZVTJson& map) : map_(map) {}

    std::optional<std::string> decodeString(const std::string& key) const;
    std::optional<ZVTDate> decodeDate(const std::string& key) const;
    int64_t decodeInt64(const std::string& key) const;  // absent: 0
    std::optional<int64_t> decodeNumber(const std::string& key) const;
    double decodeDouble(const std::string& key) const;  // absent: 0
    bool decodeBool(const std::string& key) const;      // absent: false
    std::optional<ZVTBytes> decodeBytes(const std::string& key) const;
    std::optional<ZVTUUID> decodeUUID(const std::string& key) const;
    std::optional<std::vector<std::string>> decodeStrings(const std::string& key) const;
    std::optional<ZVTJson> decodeJson(const std::string& key) const;
    std::optional<ZVTJson> decodeRootObject() const { return decodeJson("$root"); }
    std::shared_ptr<ZVTSerializableObject> decodeAnyObject(const std::string& key) const;

    template <typename T>
    std::shared_ptr<T> decodeObject(const std::string& key) const {
        auto any = decodeAnyObject(key);
        if (!any) return nullptr;
        auto typed = std::dynamic_pointer_cast<T>(any);
        if (!typed) fail("unexpected class under \"" + key + "\"");
        return typed;
    }

    template <typename T>
    std::optional<std::vector<std::shared_ptr<T>>> decodeObjects(const std::string& key) const {
        const ZVTJson* v = find(key);
        if (!v) return std::nullopt;
        if (!v->is_array()) return failed(key);
        std::vector<std::shared_ptr<T>> out;
        for (const auto& item : *v) {
            auto typed = std::dynamic_pointer_cast<T>(decodeMap(item));
            if (!typed) {
                fail("unexpected element under \"" + key + "\"");
                return std::nullopt;
            }
            out.push_back(std::move(typed));
        }
        return out;
    }

    bool hasFailed() const { return !failure_.empty(); }
    const std::string& failure() const { return failure_; }
    void fail(const std::string& why) const {
        if (failure_.empty()) failure_ = why;
    }
    // Decodes a nested object map through the class registry; nullptr (and failed) when it
    // cannot be decoded.
    std::shared_ptr<ZVTSerializableObject> decodeMap(const ZVTJson& map) const;

  private:
    const ZVTJson* find(const std::string& key) const;
    std::nullopt_t failed(const std::string& key) const;

    const ZVTJson& map_;
    mutable std::string failure_;
};
