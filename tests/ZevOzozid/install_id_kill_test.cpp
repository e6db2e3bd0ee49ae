// The install id is made at the first start and kept for every later one: a program killed in
// its first moments, before the settings store's delayed write, must not lose it (the next start
// would count as another install, and logs already sent carried the first id).
#include "tests/support/TempDir.h"

#include "platform/ChildProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace {

// Points XDG_CONFIG_HOME at a fresh folder for the children it runs; puts the old value back.
class ConfigHome {
  public:
    ConfigHome() {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    }
    ~ConfigHome() {
        if (old_) {
            setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
    }
    // The stored install id, read from the settings file the children write.
    std::optional<std::string> storedId() const {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path())) {
            if (entry.path().filename() != "defaults.json") continue;
            const auto json =
                nlohmann::json::parse(testing_support::readAll(entry.path()), nullptr, false);
            if (json.is_object() && json.contains("ZVZevOzozidInstallId")) {
                return json["ZVZevOzozidInstallId"].get<std::string>();
            }
        }
        return std::nullopt;
    }

  private:
    testing_support::TempDir dir_;
    std::optional<std::string> old_;
};

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

TEST(ZVTInstallIdKill, ANewInstallIdSurvivesAKillRightAfterItIsMade) {
    ConfigHome home;
    platform::ProcessOptions options;
    options.timeout = std::chrono::seconds(60);
    const auto killed = platform::runProcess({ZVT_INSTALL_ID_CHILD, "kill"}, options);
    ASSERT_EQ(killed.signal, SIGKILL) << killed.standardError;
    const std::string made = firstLine(killed.standardOutput);
    ASSERT_EQ(made.size(), 36u) << killed.standardOutput;
    EXPECT_EQ(home.storedId(), made);

    const auto again = platform::runProcess({ZVT_INSTALL_ID_CHILD}, options);
    ASSERT_TRUE(again.succeeded()) << again.standardError;
    EXPECT_EQ(firstLine(again.standardOutput), made);
}

}  // namespace
