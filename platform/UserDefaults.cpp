#include "platform/UserDefaults.h"

#include "platform/Crypto.h"
#include "platform/Dispatch.h"
#include "platform/Folders.h"

#include <cstdio>
#include <mutex>

namespace platform {

namespace {
constexpr const char* kDateTag = "$date";
constexpr const char* kDataTag = "$data";
}  // namespace

struct UserDefaults::State {
    State(std::filesystem::path f, Duration delay) : file(std::move(f)), writeDelay(delay) {}

    void load();
    // Writes what is unwritten; with `flush`, also what only an unflushed write holds.
    bool write(bool flush);

    const std::filesystem::path file;
    const Duration writeDelay;
    mutable std::mutex mutex;  // the values and the counts below
    nlohmann::json values = nlohmann::json::object();
    uint64_t changes = 0;    // changes made since the values were read
    uint64_t written = 0;    // how many of them the file holds
    bool unflushed = false;  // the file's content may not have reached the disk yet
    bool writeScheduled = false;
    std::mutex writeMutex;  // one write at a time, each of a newer snapshot than the last
};

void UserDefaults::State::load() {
    std::lock_guard lock(mutex);
    values = nlohmann::json::object();
    written = changes;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return;
    auto text = folders::readFile(file);
    nlohmann::json parsed;
    if (text) parsed = nlohmann::json::parse(*text, nullptr, /*allow_exceptions=*/false);
    if (text && !parsed.is_discarded() && parsed.is_object()) {
        values = std::move(parsed);
        return;
    }
    // Torn or corrupt: keep the bytes for inspection and start afresh.
    auto aside = file;
    aside += ".corrupt";
    std::filesystem::rename(file, aside, ec);
    std::fprintf(stderr, "gridlark: user defaults %s could not be read; moved aside to %s\n",
                 file.c_str(), aside.c_str());
}

bool UserDefaults::State::write(bool flush) {
    std::lock_guard writing(writeMutex);
    std::string text;
    uint64_t upTo = 0;
    {
        std::lock_guard lock(mutex);
        if (written == changes && !(flush && unflushed)) return true;
        text = values.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
        upTo = changes;
    }
    const bool ok = folders::writeFileAtomically(file, text, flush);
    if (!ok) {
        std::fprintf(stderr, "gridlark: could not write user defaults %s\n", file.c_str());
        return false;
    }
    std::lock_guard lock(mutex);
    written = upTo;
    unflushed = !flush;
    return true;
}

UserDefaults::UserDefaults(std::filesystem::path file, Duration writeDelay)
    : state_(std::make_shared<State>(std::move(file), writeDelay)) {
    state_->load();
}

UserDefaults::~UserDefaults() {
    state_->write(true);
}

UserDefaults& UserDefaults::standard() {
    static auto* store =
        new UserDefaults(folders::appConfig() / "defaults.json", kStandardWriteDelay);
    return *store;
}

const std::filesystem::path& UserDefaults::file() const {
    return state_->file;
}

void UserDefaults::reload() {
    state_->load();
}

void UserDefaults::changed() {
    if (state_->writeDelay <= Duration::zero()) {
        state_->write(true);
        return;
    }
    {
        std::lock_guard lock(state_->mutex);
        if (state_->writeScheduled) return;
        state_->writeScheduled = true;
    }
    after(state_->writeDelay, globalQueue(), [weak = std::weak_ptr<State>(state_)] {
        const std::shared_ptr<State> state = weak.lock();
        if (!state) return;
        {
            std::lock_guard lock(state->mutex);
            state->writeScheduled = false;
        }
        state->write(true);
    });
}

std::optional<UserDefaults::Value> UserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard lock(state_->mutex);
    auto it = state_->values.find(key);
    if (it == state_->values.end()) return std::nullopt;
    return *it;
}

std::vector<std::string> UserDefaults::allKeys() const {
    std::lock_guard lock(state_->mutex);
    std::vector<std::string> keys;
    keys.reserve(state_->values.size());
    for (const auto& item : state_->values.items()) keys.push_back(item.key());
    return keys;
}

void UserDefaults::setObject(const std::string& key, Value value) {
    {
        std::lock_guard lock(state_->mutex);
        state_->values[key] = std::move(value);
        ++state_->changes;
    }
    changed();
}

void UserDefaults::removeObjectForKey(const std::string& key) {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->values.erase(key) == 0) return;
        ++state_->changes;
    }
    changed();
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
    return state_->write(true);
}

bool UserDefaults::writeNow() {
    if (!state_->write(false)) return false;
    // The delayed write flushes it to the disk.
    changed();
    return true;
}

bool UserDefaults::hasUnwrittenChanges() const {
    std::lock_guard lock(state_->mutex);
    return state_->written != state_->changes;
}

}  // namespace platform
