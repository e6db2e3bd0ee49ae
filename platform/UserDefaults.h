#pragma once

#include "platform/Clock.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The user-defaults store: typed values under string keys, kept in one JSON file and rewritten
// atomically (temporary file, then rename). Values are JSON values; dates and byte strings are
// stored as {"$date": seconds since 1970} and {"$data": base64}. A file that cannot be parsed is
// moved aside (".corrupt" suffix, one line on stderr) and an empty store starts in its place.
//
// When the file is written: with no write delay, before every change returns. With a delay (the
// process-wide store), a change is written `writeDelay` after the first change not yet written,
// by a task on the global queue, timed on the platform clock, together with every change made
// meanwhile: the burst of changes at start-up costs one write. synchronize() writes at once; the
// program calls it at quit. writeNow() writes at once without waiting for the disk, for a value
// that must survive a kill or a crash of the process in its next moment (the telemetry install id
// and histories). A store that goes writes what it still holds.
//
// Thread-safe. Reads never wait for the disk: the file is written outside the values' lock.
class UserDefaults {
  public:
    using Value = nlohmann::json;
    using Bytes = std::vector<uint8_t>;

    // The process-wide store's delay between a change and its write.
    static constexpr Duration kStandardWriteDelay = std::chrono::milliseconds(500);

    explicit UserDefaults(std::filesystem::path file, Duration writeDelay = Duration::zero());
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The process-wide store: "defaults.json" in the Gridlark folder of the XDG config folder,
    // written kStandardWriteDelay after a change.
    static UserDefaults& standard();

    const std::filesystem::path& file() const;

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

    // Writes every change not yet written, now, on the calling thread; false when the file could
    // not be written (the changes stay unwritten, and a later change or call tries again).
    bool synchronize();
    // Writes every change not yet written now, on the calling thread, without waiting for the
    // disk (no fsync): what it wrote survives the end of the process however it ends (a kill, a
    // crash), though not a power loss before the delayed write, which flushes it. For values the
    // next run needs even after a crash in the next moment (the telemetry install id and
    // histories). False when the file could not be written.
    bool writeNow();
    // True while a change has not reached the file.
    bool hasUnwrittenChanges() const;
    // Re-reads the file (for tests that reopen a store).
    void reload();

  private:
    struct State;
    void changed();

    std::shared_ptr<State> state_;
};

}  // namespace platform
