#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTArchivableClasses.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <map>
#include <mutex>

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, ZVTUtility::ObjectFactory> factories;
    std::map<std::string, std::string> migrations;
};

Registry& registry() {
    static Registry* r = [] {
        auto* made = new Registry;
        zvtRegisterCoreArchivableClasses(
            [made](const std::string& name, ZVTUtility::ObjectFactory factory) {
                made->factories[name] = std::move(factory);
            });
        return made;
    }();
    return *r;
}

// Builds the value of a CBOR archive, refusing to nest deeper than the archive limit (the
// library's own reader would recurse once per level) and to build a tree much larger than the
// archive: each value is charged about what it costs in memory, against a budget of a few times
// the archive's size. One-byte values (a null, an empty list) cost far more as tree nodes than
// as bytes, so an archive made of them is refused early instead of growing to many times its
// size.
class DepthLimitedBuilder {
  public:
    DepthLimitedBuilder(ZVTJson& root, size_t inputSize)
        : root_(root), budget_(kBudgetFactor * inputSize + kBudgetBase) {}

    bool null() { return put(ZVTJson()); }
    bool boolean(bool v) { return put(ZVTJson(v)); }
    bool number_integer(ZVTJson::number_integer_t v) { return put(ZVTJson(v)); }
    bool number_unsigned(ZVTJson::number_unsigned_t v) { return put(ZVTJson(v)); }
    bool number_float(ZVTJson::number_float_t v, const std::string&) { return put(ZVTJson(v)); }
    bool string(std::string& v) { return charge(v.size()) && put(ZVTJson(std::move(v))); }
    bool binary(ZVTJson::binary_t& v) {
        return charge(v.size()) && put(ZVTJson::binary(std::move(v)));
    }
    bool start_object(std::size_t) { return charge(kContainerCost) && open(ZVTJson::object()); }
    bool start_array(std::size_t) { return charge(kContainerCost) && open(ZVTJson::array()); }
    bool key(std::string& k) {
        if (!charge(kEntryCost + k.size())) return false;
        pending_ = &(*stack_.back())[k];
        return true;
    }
    bool end_object() { return close(); }
    bool end_array() { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) {
        if (error_.empty()) error_ = e.what();
        return false;
    }

    bool tooDeep() const { return tooDeep_; }
    bool tooLarge() const { return tooLarge_; }
    const std::string& error() const { return error_; }

  private:
    // Bytes per value node, per container's own storage, per map entry beyond its value.
    static constexpr size_t kNodeCost = sizeof(ZVTJson) * 2;  // with a list's spare capacity
    static constexpr size_t kContainerCost = 64;
    static constexpr size_t kEntryCost = 64;
    static constexpr size_t kBudgetFactor = 4;
    static constexpr size_t kBudgetBase = 1024 * 1024;

    bool charge(size_t bytes) {
        if (bytes > budget_ - used_ || used_ > budget_) {
            tooLarge_ = true;
            return false;
        }
        used_ += bytes;
        return true;
    }
    ZVTJson* place(ZVTJson&& v) {
        if (stack_.empty()) {
            root_ = std::move(v);
            return &root_;
        }
        if (stack_.back()->is_array()) {
            stack_.back()->push_back(std::move(v));
            return &stack_.back()->back();
        }
        *pending_ = std::move(v);
        return pending_;
    }
    bool put(ZVTJson&& v) {
        if (!charge(kNodeCost)) return false;
        place(std::move(v));
        return true;
    }
    bool open(ZVTJson&& container) {
        if (!charge(kNodeCost)) return false;
        if (static_cast<int>(stack_.size()) >= ZVTUtility::kMaxArchiveDepth) {
            tooDeep_ = true;
            return false;
        }
        stack_.push_back(place(std::move(container)));
        return true;
    }
    bool close() {
        stack_.pop_back();
        return true;
    }

    ZVTJson& root_;
    std::vector<ZVTJson*> stack_;
    ZVTJson* pending_ = nullptr;
    bool tooDeep_ = false;
    bool tooLarge_ = false;
    size_t budget_;
    size_t used_ = 0;
    std::string error_;
};

// The archive's root value, or nullopt with `why` set.
std::optional<ZVTJson> parseArchive(const ZVTBytes& bytes, std::string& why) {
    if (bytes.size() > ZVTUtility::kMaxArchiveBytes) {
        why = zvtText("archive of ", bytes.size(), " bytes is over the limit");
        return std::nullopt;
    }
    ZVTJson root;
    DepthLimitedBuilder builder(root, bytes.size());
    bool ok = false;
    try {
        ok = ZVTJson::sax_parse(bytes, &builder, ZVTJson::input_format_t::cbor, true);
    } catch (const std::exception& e) {
        why = e.what();
        return std::nullopt;
    }
    if (ok) return root;
    why = builder.tooDeep()         ? std::string("archive nests too deep")
          : builder.tooLarge()      ? std::string("archive holds too many values for its size")
          : builder.error().empty() ? std::string("not an archive")
                                    : builder.error();
    return std::nullopt;
}

void logUnarchivingFailure(const std::string& why) {
    ZVTLogError(kZVTLogTag, "Unarchiving NSData failed with error: ", why);
}

std::optional<ZVTBytes> encode(const ZVTJson& root) {
    try {
        std::vector<uint8_t> out;
        ZVTJson::to_cbor(root, out);
        return out;
    } catch (const std::exception& e) {
        ZVTLogError(kZVTLogTag, "Archiving NSData failed with error: ", e.what());
        return std::nullopt;
    }
}

}  // namespace

namespace ZVTUtility {

void registerArchivableClass(const std::string& className, ObjectFactory factory) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.factories[className] = std::move(factory);
}

void addMigrationClasses(const std::vector<std::pair<std::string, std::string>>& oldToNew) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    for (const auto& [oldName, newName] : oldToNew) r.migrations[oldName] = newName;
}

std::shared_ptr<ZVTSerializableObject> decodeArchivedObject(const ZVTJson& map, std::string& why) {
    if (!map.is_object()) {
        why = "an archived object is not a map";
        return nullptr;
    }
    auto cls = map.find("$class");
    if (cls == map.end() || !cls->is_string()) {
        why = "an archived object has no class";
        return nullptr;
    }
    std::string name = cls->get<std::string>();
    ObjectFactory factory;
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        if (auto m = r.migrations.find(name); m != r.migrations.end()) name = m->second;
        if (auto f = r.factories.find(name); f != r.factories.end()) factory = f->second;
    }
    if (!factory) {
        why = "cannot decode object of class (" + cls->get<std::string>() + ")";
        return nullptr;
    }
    auto object = factory();
    ZVTDecoder decoder(map);
    object->initWithCoder(decoder);
    if (decoder.hasFailed()) {
        why = decoder.failure();
        return nullptr;
    }
    return object;
}

std::optional<ZVTBytes> archiveKeyedData(const ZVTSerializableObject* object) {
    if (!object) return std::nullopt;
    return encode(ZVTCoder::mapOf(*object));
}

std::optional<ZVTBytes> archiveKeyedList(const std::vector<const ZVTSerializableObject*>& list) {
    ZVTJson array = ZVTJson::array();
    for (const auto* item : list) {
        if (!item) {
            ZVTLogError(kZVTLogTag, "Archiving NSData failed with error: a list entry is absent");
            return std::nullopt;
        }
        array.push_back(ZVTCoder::mapOf(*item));
    }
    return encode(array);
}

std::shared_ptr<ZVTSerializableObject> unarchiveKeyedData(const ZVTBytes* bytes) {
    if (!bytes) return nullptr;
    std::string why;
    auto root = parseArchive(*bytes, why);
    std::shared_ptr<ZVTSerializableObject> object;
    if (root) object = decodeArchivedObject(*root, why);
    if (!object) logUnarchivingFailure(why);
    return object;
}

std::optional<std::vector<std::shared_ptr<ZVTSerializableObject>>> unarchiveKeyedList(
    const ZVTBytes* bytes) {
    if (!bytes) return std::nullopt;
    std::string why;
    auto root = parseArchive(*bytes, why);
    if (root && !root->is_array()) why = "the archive does not hold a list";
    if (!root || !root->is_array()) {
        logUnarchivingFailure(why);
        return std::nullopt;
    }
    std::vector<std::shared_ptr<ZVTSerializableObject>> out;
    for (const auto& item : *root) {
        auto object = decodeArchivedObject(item, why);
        if (!object) {
            logUnarchivingFailure(why);
            return std::nullopt;
        }
        out.push_back(std::move(object));
    }
    return out;
}

std::string jsonText(const ZVTJson& value, bool prettyPrint) {
    return value.dump(prettyPrint ? 2 : -1, ' ', false, ZVTJson::error_handler_t::replace);
}

}  // namespace ZVTUtility
