#include "app/TelemetryLaunch.h"

#include "app/TelemetryEndpoint.h"

#include "session/MVHelperMotion.h"

#include "ZevOzozid/ZevOzozid/ZVTZevOzozid.h"

#include <QGuiApplication>
#include <QScreen>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef GRIDLARK_TELEMETRY_URL
#define GRIDLARK_TELEMETRY_URL ""
#endif
#ifndef GRIDLARK_VERSION
#define GRIDLARK_VERSION "0.0.0"
#endif

bool isTelemetrySwitchedOn(const char* switchValue) {
    return switchValue == nullptr || std::strcmp(switchValue, "off") != 0;
}

ZVTApplicationInfo telemetryApplicationInfo() {
    ZVTApplicationInfo info;
    info.identifier = MVHelper::kScratchFolderName;
    info.version = GRIDLARK_VERSION;
    info.build = GRIDLARK_VERSION;
    info.preferredLocalization = "en";
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        info.screenWidth = screen->size().width();
        info.screenHeight = screen->size().height();
    }
    return info;
}

void applyTelemetryEndpoint(const std::optional<std::string>& endpoint) {
    if (endpoint) ZVTZevOzozid::setLogUrl(*endpoint);
    // Written at every launch: a run without an endpoint keeps its logs in the store, and the
    // next run that has one sends them.
    ZVTZevOzozid::setNetworkRequestsAllowed(endpoint.has_value());
}

TelemetryLaunch telemetryLaunchFromEnvironment() {
    TelemetryLaunch launch;
    launch.switchValue = std::getenv(kTelemetrySwitchVariable);
    launch.endpointValue = std::getenv(kTelemetryEndpointVariable);
    launch.configuredEndpoint = GRIDLARK_TELEMETRY_URL;
    launch.services = telemetryServiceClasses();
    launch.logLine = [](const std::string& line) {
        std::fprintf(stderr, "gridlark: %s\n", line.c_str());
    };
    return launch;
}

bool launchTelemetry(const TelemetryLaunch& launch) {
    if (!isTelemetrySwitchedOn(launch.switchValue)) return false;
    const auto began = std::chrono::steady_clock::now();
    ZVTApplicationInfo::setCurrent(telemetryApplicationInfo());
    const std::optional<std::string> endpoint =
        telemetryEndpoint(launch.endpointValue, launch.configuredEndpoint, launch.logLine);
    applyTelemetryEndpoint(endpoint);
    ZVTZevOzozid::start(std::string(kTelemetryAppSecret), launch.services);
    if (launch.logLine) {
        const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - began)
                                .count();
        launch.logLine("telemetry started in " + std::to_string(micros) + " us; " +
                       (endpoint ? "logs go to " + *endpoint
                                 : "no endpoint, logs are kept until a run that has one"));
    }
    return true;
}

bool waitForTelemetryStore(std::chrono::milliseconds limit) {
    return ZVTZevOzozid::waitForLogsQueue(limit);
}
