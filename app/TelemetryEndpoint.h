#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The ingestion endpoint of this run: GRIDLARK_TELEMETRY_URL from the environment when the
// variable is set (set but empty: none), else the value configured at build time. A value that
// is not an http or https URL with a host gives one line to `logLine` and counts as none.
std::optional<std::string> telemetryEndpoint(
    const char* environmentValue, std::string_view configuredValue,
    const std::function<void(const std::string&)>& logLine);

// Whether `url` is an absolute http or https URL with a host and no white space.
bool isTelemetryEndpointURL(std::string_view url);
