#include "app/TelemetryAppState.h"
#include "app/TelemetryEndpoint.h"

#include "Internals/Util/ZVTApplicationInfo.h"
#include "Internals/Util/ZVTApplicationNotifications.h"
#include "Internals/Util/ZVTUtility.h"
#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(TelemetryEndpoint, EnvironmentThenBuildValueAndOnlyHttpUrls) {
    struct Case {
        const char* environment;
        std::string configured;
        std::optional<std::string> expected;
        int logLines;
    };
    const std::vector<Case> cases = {
        {nullptr, "", std::nullopt, 0},
        {nullptr, "https://in.example.net/", "https://in.example.net/", 0},
        {"http://127.0.0.1:8080", "https://in.example.net/", "http://127.0.0.1:8080", 0},
        {"", "https://in.example.net/", std::nullopt, 0},  // set but empty: none this run
        {"HTTPS://Host.example/path?q=1", "", "HTTPS://Host.example/path?q=1", 0},
        {"ftp://host/", "", std::nullopt, 1},
        {"127.0.0.1:8080", "", std::nullopt, 1},
        {"http://", "", std::nullopt, 1},
        {"http://:80/", "", std::nullopt, 1},
        {"http://host/a b", "", std::nullopt, 1},
        {nullptr, "not a url", std::nullopt, 1},
    };
    for (const Case& c : cases) {
        int lines = 0;
        const auto endpoint =
            telemetryEndpoint(c.environment, c.configured, [&](const std::string&) { ++lines; });
        const std::string label = std::string(c.environment ? c.environment : "(unset)") + " / " +
                                  c.configured;
        EXPECT_EQ(endpoint, c.expected) << label;
        EXPECT_EQ(lines, c.logLines) << label;
    }
}

TEST(TelemetryAppState, StatesMapToTheCoreAndPostTheTwoNotifications) {
    std::vector<std::string> posted;
    auto token = platform::NotificationCenter::defaultCenter().addObserver(
        "", nullptr, [&](const platform::Notification& n) { posted.push_back(n.name); });
    struct Case {
        Qt::ApplicationState from, to;
        int coreState;
        std::vector<std::string> notifications;
    };
    const std::string resign = kZVTApplicationDidResignActiveNotification;
    const std::string become = kZVTApplicationWillBecomeActiveNotification;
    const std::vector<Case> cases = {
        {Qt::ApplicationActive, Qt::ApplicationActive, ZVTUtility::ZVTApplicationStateActive, {}},
        {Qt::ApplicationActive, Qt::ApplicationInactive, ZVTUtility::ZVTApplicationStateActive, {resign}},
        {Qt::ApplicationInactive, Qt::ApplicationHidden, ZVTUtility::ZVTApplicationStateBackground, {}},
        {Qt::ApplicationHidden, Qt::ApplicationActive, ZVTUtility::ZVTApplicationStateActive, {become}},
        {Qt::ApplicationActive, Qt::ApplicationHidden, ZVTUtility::ZVTApplicationStateBackground, {resign}},
        {Qt::ApplicationHidden, Qt::ApplicationInactive, ZVTUtility::ZVTApplicationStateActive, {}},
        {Qt::ApplicationInactive, Qt::ApplicationActive, ZVTUtility::ZVTApplicationStateActive, {become}},
    };
    for (const Case& c : cases) {
        posted.clear();
        TelemetryAppState::apply(c.from, c.to);
        EXPECT_EQ(ZVTUtility::sharedAppState(), c.coreState) << c.from << " -> " << c.to;
        EXPECT_EQ(posted, c.notifications) << c.from << " -> " << c.to;
    }
    ZVTApplicationInfo::reset();
}

}  // namespace
