#include "app/TelemetryEndpoint.h"

#include <algorithm>
#include <cctype>

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char expected, char c) {
               return std::tolower(static_cast<unsigned char>(c)) == expected;
           });
}

}  // namespace

bool isTelemetryEndpointURL(std::string_view url) {
    std::string_view rest;
    if (startsWithNoCase(url, "https://")) {
        rest = url.substr(8);
    } else if (startsWithNoCase(url, "http://")) {
        rest = url.substr(7);
    } else {
        return false;
    }
    const bool clean = std::none_of(url.begin(), url.end(), [](char c) {
        return std::isspace(static_cast<unsigned char>(c)) ||
               std::iscntrl(static_cast<unsigned char>(c));
    });
    const std::string_view host = rest.substr(0, rest.find_first_of("/?#"));
    const std::string_view hostName = host.substr(host.find('@') + 1);
    return clean && !hostName.empty() && hostName.front() != ':';
}

std::optional<std::string> telemetryEndpoint(
    const char* environmentValue, std::string_view configuredValue,
    const std::function<void(const std::string&)>& logLine) {
    const std::string_view value =
        environmentValue ? std::string_view(environmentValue) : configuredValue;
    if (value.empty()) return std::nullopt;
    if (!isTelemetryEndpointURL(value)) {
        if (logLine) {
            logLine("Telemetry endpoint \"" + std::string(value) +
                    "\" is not an http or https URL; nothing is sent this run.");
        }
        return std::nullopt;
    }
    return std::string(value);
}
