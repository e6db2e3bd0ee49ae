#pragma once

#include "tests/support/TempDir.h"

#include "platform/UserDefaults.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zvt_test {

// Collects every SDK log line (level, tag, text) while alive; restores the logger after.
class LogCapture {
  public:
    struct Line {
        unsigned level;
        std::string tag;
        std::string text;
    };

    LogCapture() {
        auto lines = lines_;
        ZVTLogger::setLogHandler([lines](const ZVTLogMessageProvider& message, unsigned level,
                                         const std::string& tag, const char*, const char*,
                                         unsigned) {
            // The message is made before the lock: making it may take the SDK's own locks.
            std::string text = message ? message() : std::string();
            std::lock_guard lock(lines->mutex);
            lines->items.push_back({level, tag, std::move(text)});
        });
    }
    ~LogCapture() { ZVTLogger::reset(); }

    std::vector<Line> lines() const {
        std::lock_guard lock(lines_->mutex);
        return lines_->items;
    }
    std::vector<Line> atLevel(unsigned level) const {
        std::vector<Line> out;
        for (auto& l : lines()) {
            if (l.level == level) out.push_back(l);
        }
        return out;
    }
    size_t count(unsigned level, const std::string& containing) const {
        size_t n = 0;
        for (auto& l : lines()) {
            if (l.level == level && l.text.find(containing) != std::string::npos) ++n;
        }
        return n;
    }
    void clear() {
        std::lock_guard lock(lines_->mutex);
        lines_->items.clear();
    }

  private:
    struct Shared {
        std::mutex mutex;
        std::vector<Line> items;
    };
    std::shared_ptr<Shared> lines_ = std::make_shared<Shared>();
};

// A settings store over a user-defaults file of a fresh folder; relaunch() reopens the file.
class SettingsFixture {
  public:
    SettingsFixture()
        : store_(std::make_unique<platform::UserDefaults>(dir_ / "defaults.json")),
          settings_(std::make_unique<ZVTZevOzozidUserDefaults>(*store_)) {}

    ZVTZevOzozidUserDefaults& settings() { return *settings_; }
    platform::UserDefaults& store() { return *store_; }
    void relaunch() {
        settings_.reset();
        store_ = std::make_unique<platform::UserDefaults>(dir_ / "defaults.json");
        settings_ = std::make_unique<ZVTZevOzozidUserDefaults>(*store_);
    }

  private:
    testing_support::TempDir dir_;
    std::unique_ptr<platform::UserDefaults> store_;
    std::unique_ptr<ZVTZevOzozidUserDefaults> settings_;
};

}  // namespace zvt_test
