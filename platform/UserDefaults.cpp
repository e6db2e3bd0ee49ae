#include "platform/UserDefaults.h"

#include "platform/Crypto.h"
#include "platform/Folders.h"

#include <cstdio>

namespace platform {

namespace {
constexpr const char* kDateTag = "$date";
constexpr const char* kDataTag = "$data";
}  // namespace

UserDefaults::UserDefaults(std::filesystem::path file) : file_(std::move(file)) {
    load();
}

UserDefaults& UserDefaults::standard() {
    static auto* store = new UserDefaults(folders::appConfig() / "defaults.json");
    return *store;
}

void UserDefaults::load() {
    std::lock_guard lock(mutex_);
    values_ = nlohmann::json::object();
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec)) return;
    auto text = folders::readFile(file_);
    nlohmann::json parsed;
    if (text) parsed = nlohmann::json::parse(*text, nullptr, /*allow_exceptions=*/false);
    if (text && !parsed.is_discarded() && parsed.is_object()) {
        values_ = std::move(parsed);
        return;
    }
    // Torn or corrupt: keep the bytes for inspection and start afresh.
    auto aside = file_;
    aside += ".corrupt";
    std::filesystem::rename(file_, aside, ec);
    std::fprintf(stderr, "gridlark: user defaults %s could not be read; moved aside to %s\n",
                 file_.c_str(), aside.c_str());
}

void UserDefaults::reload() {
    load();
}

std::optional<UserDefaults::Value> UserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return *it;
}

std::vector<std::string> UserDefaults::allKeys() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> keys;
    keys.reserve(values_.size());
    for (const auto& item : values_.items()) keys.push_back(item.key());
    return keys;
}

void UserDefaults::setObject(const std::string& key, Value value) {
    std::lock_guard lock(mutex_);
    values_[key] = std::move(value);
    writeLocked();
}

void UserDefaults::removeObjectForKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    if (values_.erase(key) > 0) writeLocked();
}

bool UserDefaults::boolForKey(const std::string& key) const {
    auto v = objectForKey(key);
    if (!v) return false;
    if (v->is_boolean()) return v->get<bool>();
    if (v->is_number()) return v->get<double>() != 0;
    if (v->is_string()) {
        const auto& s = v->get_ref<const std::string&>();
        return s == "YES" || s == "yes" || s == "true" || s == "1";
    }
    return false;
}

int64_t UserDefaults::integerForKey(const std::string& key) const {
    auto v = objectForKey(key);
    if (!v) return 0;
    if (v->is_boolean()) return v->get<bool>() ? 1 : 0;
    if (v->is_number_integer()) return v->get<int64_t>();
    if (v->is_number()) return static_cast<int64_t>(v->get<double>());
    if (v->is_string()) return std::strtoll(v->get_ref<const std::string&>().c_str(), nullptr, 10);
    return 0;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
    auto v = objectForKey(key);
    if (!v) return std::nullopt;
    if (v->is_string()) return v->get<std::string>();
    if (v->is_number()) return v->dump();
    return std::nullopt;
}

std::optional<std::chrono::system_clock::time_point> UserDefaults::dateForKey(
    const std::string& key) const {
    auto v = objectForKey(key);
    if (!v || !v->is_object() || !v->contains(kDateTag) || !(*v)[kDateTag].is_number()) {
        return std::nullopt;
    }
    auto secs = std::chrono::duration<double>((*v)[kDateTag].get<double>());
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(secs));
}

std::optional<UserDefaults::Bytes> UserDefaults::dataForKey(const std::string& key) const {
    auto v = objectForKey(key);
    if (!v || !v->is_object() || !v->contains(kDataTag) || !(*v)[kDataTag].is_string()) {
        return std::nullopt;
    }
    std::string raw;
    if (!crypto::base64Decode((*v)[kDataTag].get<std::string>(), raw)) return std::nullopt;
    return Bytes(raw.begin(), raw.end());
}

void UserDefaults::setDate(const std::string& key, std::chrono::system_clock::time_point t) {
    double secs = std::chrono::duration<double>(t.time_since_epoch()).count();
    setObject(key, nlohmann::json{{kDateTag, secs}});
}

void UserDefaults::setData(const std::string& key, const Bytes& bytes) {
    std::string raw(bytes.begin(), bytes.end());
    setObject(key, nlohmann::json{{kDataTag, crypto::base64Encode(raw)}});
}

bool UserDefaults::synchronize() {
    std::lock_guard lock(mutex_);
    return writeLocked();
}

bool UserDefaults::writeLocked() {
    const std::string text =
        values_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    if (folders::writeFileAtomically(file_, text)) return true;
    std::fprintf(stderr, "gridlark: could not write user defaults %s\n", file_.c_str());
    return false;
}

}  // namespace platform
