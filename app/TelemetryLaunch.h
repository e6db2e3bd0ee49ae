#pragma once

#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"
#include "ZevOzozid/ZevOzozid/ZVTService.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The program's start of telemetry and crash reporting, the first thing of the launch.
//
// launchTelemetry hands the SDK the program's application-info record, sets this run's endpoint
// (network requests allowed with it, forbidden without one, so logs stay in the store until a
// run that has one), then starts the SDK with the program's secret and the analytics and crash
// services, in that order. It does no network I/O and waits on no queue: sending runs on the
// core's queues, the crash of an earlier run is processed later on a global queue.
//
// Main thread only (launchTelemetry, waitForTelemetryStore); the rest is pure.

// The program's secret for the telemetry service: a fixed 36-character GUID text.
inline constexpr std::string_view kTelemetryAppSecret = "7d3e9b52-1c4a-4f86-a0d7-58e2c61b94f3";

// The environment switch that keeps the SDK unstarted ("off"), for GUI tests.
inline constexpr const char* kTelemetrySwitchVariable = "GRIDLARK_TELEMETRY";
// The environment variable naming the endpoint of this run.
inline constexpr const char* kTelemetryEndpointVariable = "GRIDLARK_TELEMETRY_URL";

// False only for the value "off".
bool isTelemetrySwitchedOn(const char* switchValue);

// What the SDK is told about the program: identifier, version and marketing version as the rest
// of the program uses them, the first screen's size, and no information keys.
ZVTApplicationInfo telemetryApplicationInfo();

// Sets the log URL and allows network requests with an endpoint; forbids them without one.
void applyTelemetryEndpoint(const std::optional<std::string>& endpoint);

// The service classes started at launch: analytics, then crash reporting.
std::vector<ZVTServiceClass> telemetryServiceClasses();

struct TelemetryLaunch {
    const char* switchValue = nullptr;    // GRIDLARK_TELEMETRY
    const char* endpointValue = nullptr;  // GRIDLARK_TELEMETRY_URL
    std::string_view configuredEndpoint;  // the build's value
    std::vector<ZVTServiceClass> services;
    std::function<void(const std::string&)> logLine;
};

// The launch's values from the environment and the build.
TelemetryLaunch telemetryLaunchFromEnvironment();

// Runs the start described above; false (nothing done) when the switch is off.
bool launchTelemetry(const TelemetryLaunch& launch);

// At quit: waits until the SDK's logs queue has run what was queued before the call (so enqueued
// logs are in the store), at most `limit`. True when it ran in time or the SDK never started.
bool waitForTelemetryStore(std::chrono::milliseconds limit = std::chrono::seconds(2));
