#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The user-defaults store: typed values under string keys, kept in one JSON file and rewritten
// atomically (temporary file, then rename) on every change. Values are JSON values; dates and
// byte strings are stored as {"$date": seconds since 1970} and {"$data": base64}. A file that
// cannot be parsed is moved aside (".corrupt" suffix, one line on stderr) and an empty store
// starts in its place. Thread-safe.
class UserDefaults {
  public:
    using Value = nlohmann::json;
    using Bytes = std::vector<uint8_t>;

    explicit UserDefaults(std::filesystem::path file);

    // The process-wide store: "defaults.json" in the Gridlark folder of the XDG config folder.
    static UserDefaults& standard();

    const std::filesystem::path& file() const { return file_; }

    std::optional<Value> objectForKey(const std::string& key) const;
    bool hasKey(const std::string& key) const { return objectForKey(key).has_value(); }
    // Every key of the store at the time of the call, in sorted order.
    std::vector<std::string> allKeys() const;
    void setObject(const std::string& key, Value value);
    void removeObjectForKey(const std::string& key);

    // Typed reads: absent or mistyped values read as false / 0 / nullopt.
    bool boolForKey(const std::string& key) const;
    int64_t integerForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::optional<std::chrono::system_clock::time_point> dateForKey(const std::string& key) const;
    std::optional<Bytes> dataForKey(const std::string& key) const;

    void setBool(const std::string& key, bool v) { setObject(key, v); }
    void setInteger(const std::string& key, int64_t v) { setObject(key, v); }
    void setDouble(const std::string& key, double v) { setObject(key, v); }
    void setString(const std::string& key, const std::string& v) { setObject(key, v); }
    void setDate(const std::string& key, std::chrono::system_clock::time_point t);
    void setData(const std::string& key, const Bytes& bytes);

    // Writes the store now; false when the file could not be written. Every set already writes,
    // so this only matters after a failed write.
    bool synchronize();
    // Re-reads the file (for tests that reopen a store).
    void reload();

  private:
    void load();
    bool writeLocked();

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    nlohmann::json values_ = nlohmann::json::object();
};

}  // namespace platform
