#include "app/GridlarkApplication.h"
#include "app/TelemetryAppState.h"
#include "app/TelemetryEndpoint.h"
#include "app/TelemetryLaunch.h"

#include "platform/NotificationCenter.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTApplicationForwarder.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTZeroduv.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationNotifications.h"
#include "ZevOzozid/ZevOzozid/ZVTZevOzozid.h"

#include <gtest/gtest.h>

#include <cctype>
#include <stdexcept>
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
        const std::string label =
            std::string(c.environment ? c.environment : "(unset)") + " / " + c.configured;
        EXPECT_EQ(endpoint, c.expected) << label;
        EXPECT_EQ(lines, c.logLines) << label;
    }
}

// The window shown again (from hidden or suspended) posts the unhide notification before the
// become-active one.
TEST(TelemetryAppState, StatesMapToTheCoreAndPostTheThreeNotifications) {
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
    const std::string unhide = kZVTApplicationWillUnhideNotification;
    const std::vector<Case> cases = {
        {Qt::ApplicationActive, Qt::ApplicationActive, ZVTUtility::ZVTApplicationStateActive, {}},
        {Qt::ApplicationActive,
         Qt::ApplicationInactive,
         ZVTUtility::ZVTApplicationStateActive,
         {resign}},
        {Qt::ApplicationInactive,
         Qt::ApplicationHidden,
         ZVTUtility::ZVTApplicationStateBackground,
         {}},
        {Qt::ApplicationHidden,
         Qt::ApplicationActive,
         ZVTUtility::ZVTApplicationStateActive,
         {unhide, become}},
        {Qt::ApplicationSuspended,
         Qt::ApplicationActive,
         ZVTUtility::ZVTApplicationStateActive,
         {unhide, become}},
        {Qt::ApplicationHidden,
         Qt::ApplicationSuspended,
         ZVTUtility::ZVTApplicationStateBackground,
         {}},
        {Qt::ApplicationActive,
         Qt::ApplicationHidden,
         ZVTUtility::ZVTApplicationStateBackground,
         {resign}},
        {Qt::ApplicationHidden,
         Qt::ApplicationInactive,
         ZVTUtility::ZVTApplicationStateActive,
         {unhide}},
        {Qt::ApplicationInactive,
         Qt::ApplicationActive,
         ZVTUtility::ZVTApplicationStateActive,
         {become}},
    };
    for (const Case& c : cases) {
        posted.clear();
        TelemetryAppState::apply(c.from, c.to);
        EXPECT_EQ(ZVTUtility::sharedAppState(), c.coreState) << c.from << " -> " << c.to;
        EXPECT_EQ(posted, c.notifications) << c.from << " -> " << c.to;
    }
    ZVTApplicationInfo::reset();
}

TEST(TelemetryLaunch, TheEndpointDecidesNetworkPermissionAndLogUrl) {
    struct Case {
        const char* environment;
        bool allowed;
        std::optional<std::string> logUrl;
    };
    const std::vector<Case> cases = {
        {"http://127.0.0.1:9/in", true, "http://127.0.0.1:9/in"},
        {"", false, std::nullopt},
        {"ftp://127.0.0.1/in", false, std::nullopt},
        {"https://in.example.net/", true, "https://in.example.net/"},
    };
    for (const Case& c : cases) {
        ZVTZevOzozid::resetSharedInstance();
        applyTelemetryEndpoint(telemetryEndpoint(c.environment, "", nullptr));
        EXPECT_EQ(ZVTZevOzozid::isNetworkRequestsAllowed(), c.allowed) << c.environment;
        EXPECT_EQ(ZVTZevOzozid::logUrl(), c.logUrl) << c.environment;
    }
    // Forbidding is written every time: a later run without an endpoint sends nothing.
    applyTelemetryEndpoint(std::nullopt);
    ZVTZevOzozid::resetSharedInstance();
    EXPECT_FALSE(ZVTZevOzozid::isNetworkRequestsAllowed());
    ZVTZevOzozid::resetSharedInstance();
}

TEST(TelemetryLaunch, SwitchedOffNothingIsStartedAndTheSecretIsAGuid) {
    TelemetryLaunch launch;
    launch.switchValue = "off";
    launch.endpointValue = "http://127.0.0.1:9/";
    EXPECT_FALSE(launchTelemetry(launch));
    EXPECT_TRUE(isTelemetrySwitchedOn(nullptr));
    EXPECT_TRUE(isTelemetrySwitchedOn("on"));
    EXPECT_FALSE(ZVTApplicationInfo::current().has_value());
    EXPECT_FALSE(ZVTZevOzozid::isConfigured());
    ZVTZevOzozid::resetSharedInstance();

    ASSERT_EQ(kTelemetryAppSecret.size(), 36u);
    for (size_t i = 0; i < kTelemetryAppSecret.size(); ++i) {
        const char c = kTelemetryAppSecret[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            EXPECT_EQ(c, '-') << i;
        } else {
            EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(c))) << i;
        }
    }
    const ZVTApplicationInfo info = telemetryApplicationInfo();
    EXPECT_FALSE(info.identifier.empty());
    EXPECT_FALSE(info.version.empty());
}

TEST(GridlarkApplication, EscapingExceptionsReachTheCrashServiceOnlyWithForwarding) {
    const auto throwing = []() -> bool { throw std::runtime_error("broken handler"); };
    // Without forwarding an event runs as in any application: the exception is not caught here.
    ZVTApplicationForwarder::reset();
    EXPECT_TRUE(GridlarkApplication::dispatchEvent([] { return true; }));
    EXPECT_THROW(GridlarkApplication::dispatchEvent(throwing), std::runtime_error);

    // With forwarding the crash service gets it; with a debugger attached it lets the program
    // go on, and the event loop continues.
    auto& probe = ZVTZeroduv::debuggerProbe();
    const auto savedProbe = probe;
    int probed = 0;
    probe = [&] {
        ++probed;
        return true;
    };
    ZVTApplicationForwarder::swizzleReportException();
    ZVTApplicationForwarder::swizzleSendEvent();
    EXPECT_NO_THROW(EXPECT_FALSE(GridlarkApplication::dispatchEvent(throwing)));
    EXPECT_EQ(probed, 1);
    EXPECT_TRUE(GridlarkApplication::dispatchEvent([] { return true; }));
    probe = savedProbe;
    ZVTApplicationForwarder::reset();
}

}  // namespace
