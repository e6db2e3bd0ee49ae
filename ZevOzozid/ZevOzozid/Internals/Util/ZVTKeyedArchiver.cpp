#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <limits>

namespace {
ZVTJson bytesValue(const uint8_t* data, size_t size) {
    return ZVTJson::binary(ZVTJson::binary_t::container_type(data, data + size));
}
}  // namespace

void zvtReportInvalidField(const std::string& className, const std::string& field) {
    ZVTLogVerbose(kZVTLogTag, className, ": \"", field, "\" is not valid.");
}

ZVTCoder::ZVTCoder(const std::string& className) {
    map_["$class"] = className;
}

void ZVTCoder::encodeString(const std::string& key, const std::optional<std::string>& value) {
    if (value) map_[key] = *value;
}

void ZVTCoder::encodeDate(const std::string& key, const std::optional<ZVTDate>& value) {
    if (!value) return;
    map_[key] = static_cast<int64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(value->time_since_epoch()).count());
}

void ZVTCoder::encodeInt64(const std::string& key, int64_t value) {
    map_[key] = value;
}

void ZVTCoder::encodeNumber(const std::string& key, const std::optional<int64_t>& value) {
    if (value) map_[key] = *value;
}

void ZVTCoder::encodeDouble(const std::string& key, double value) {
    map_[key] = value;
}
void ZVTCoder::encodeBool(const std::string& key, bool value) {
    map_[key] = value;
}

void ZVTCoder::encodeBytes(const std::string& key, const std::optional<ZVTBytes>& value) {
    if (value) map_[key] = bytesValue(value->data(), value->size());
}

void ZVTCoder::encodeUUID(const std::string& key, const std::optional<ZVTUUID>& value) {
    if (value) map_[key] = bytesValue(value->bytes().data(), value->bytes().size());
}

void ZVTCoder::encodeStrings(const std::string& key,
                             const std::optional<std::vector<std::string>>& value) {
    if (value) map_[key] = *value;
}

void ZVTCoder::encodeJson(const std::string& key, const std::optional<ZVTJson>& value) {
    if (value && !value->is_null()) map_[key] = *value;
}

void ZVTCoder::encodeObject(const std::string& key, const ZVTSerializableObject* object) {
    if (object) map_[key] = mapOf(*object);
}

ZVTJson ZVTCoder::mapOf(const ZVTSerializableObject& object) {
    ZVTCoder coder(object.className());
    object.encodeWithCoder(coder);
    return std::move(coder.map_);
}

const ZVTJson* ZVTDecoder::find(const std::string& key) const {
    if (!map_.is_object()) return nullptr;
    auto it = map_.find(key);
    if (it == map_.end() || it->is_null()) return nullptr;
    return &*it;
}

std::nullopt_t ZVTDecoder::failed(const std::string& key) const {
    fail("value of the wrong kind under \"" + key + "\"");
    return std::nullopt;
}

std::optional<std::string> ZVTDecoder::decodeString(const std::string& key) const {
    const ZVTJson* v = find(key);
    if (!v) return std::nullopt;
    if (!v->is_string()) return failed(key);
    return v->get<std::string>();
}

std::optional<int64_t> ZVTDecoder::decodeNumber(const std::string& key) const {
    const ZVTJson* v = find(key);
    if (!v) return std::nullopt;
    if (v->is_number_unsigned()) {
        if (v->get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            return failed(key);
        }
        return static_cast<int64_t>(v->get<uint64_t>());
    }
    if (!v->is_number_integer()) return failed(key);
    return v->get<int64_t>();
}

std::optional<ZVTDate> ZVTDecoder::decodeDate(const std::string& key) const {
    auto ns = decodeNumber(key);
    if (!ns) return std::nullopt;
    return ZVTDate(std::chrono::duration_cast<ZVTDate::duration>(std::chrono::nanoseconds(*ns)));
}

int64_t ZVTDecoder::decodeInt64(const std::string& key) const {
    return decodeNumber(key).value_or(0);
}

double ZVTDecoder::decodeDouble(const std::string& key) const {
    const ZVTJson* v = find(key);
    if (!v) return 0;
    if (!v->is_number_float()) {
        failed(key);
        return 0;
    }
    return v->get<double>();
}

bool ZVTDecoder::decodeBool(const std::string& key) const {
    const ZVTJson* v = find(key);
    if (!v) return false;
    if (!v->is_boolean()) {
        failed(key);
        return false;
    }
    return v->get<bool>();
}

std::optional<ZVTBytes> ZVTDecoder::decodeBytes(const std::string& key) const {
    const ZVTJson* v = find(key);
    if (!v) return std::nullopt;
    if (!v->is_binary()) return failed(key);
    const auto& b = v->get_binary();
    return ZVTBytes(b.begin(), b.end());
}

std::optional<ZVTUUID> ZVTDecoder::decodeUUID(const std::string& key) const {
    auto bytes = decodeBytes(key);
    if (!bytes) return std::nullopt;
    if (bytes->size() != 16) return failed(key);
    ZVTUUID::Bytes b{};
    std::copy(bytes->begin(), bytes->end(), b.begin());
    return ZVTUUID(b);
}

std::optional<std::vector<std::string>> ZVTDecoder::decodeStrings(const std::string& key) const {
    const ZVTJson* v = find(key);
    if (!v) return std::nullopt;
    if (!v->is_array()) return failed(key);
    std::vector<std::string> out;
    for (const auto& item : *v) {
        if (!item.is_string()) return failed(key);
        out.push_back(item.get<std::string>());
    }
    return out;
}

std::optional<ZVTJson> ZVTDecoder::decodeJson(const std::string& key) const {
    const ZVTJson* v = find(key);
    if (!v) return std::nullopt;
    return *v;
}

std::shared_ptr<ZVTSerializableObject> ZVTDecoder::decodeAnyObject(const std::string& key) const {
    const ZVTJson* v = find(key);
    if (!v) return nullptr;
    return decodeMap(*v);
}

std::shared_ptr<ZVTSerializableObject> ZVTDecoder::decodeMap(const ZVTJson& map) const {
    std::string why;
    auto object = ZVTUtility::decodeArchivedObject(map, why);
    if (!object) fail(why);
    return object;
}
