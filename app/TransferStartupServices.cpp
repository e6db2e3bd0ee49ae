#include "app/TransferStartupServices.h"

#include "app/TelemetryLaunch.h"

#include "session/MVCallWebservice.h"

#include "platform/UserDefaults.h"

#include <cstdlib>

TransferStartupServices::TransferStartupServices()
    : reporter_(MVUsageReporter::Config{}, platform::UserDefaults::standard(), reachability_) {
    // The switch that turns reporting off stops the usage records as well.
    MVCallWebservice::setUsageRecordingEnabled(
        isTelemetrySwitchedOn(std::getenv(kTelemetrySwitchVariable)));
}

void TransferStartupServices::startTelemetry() {
    if (launchTelemetry(telemetryLaunchFromEnvironment())) {
        telemetryState_ = std::make_unique<TelemetryAppState>();
    }
}

void TransferStartupServices::sendUsageAtStartup() {
    reporter_.sendUsageAtStartup();
}

bool TransferStartupServices::isUpdateAvailable() {
    MVVersionManager& manager = MVVersionManager::sharedVersionManager();
    return manager.isSoftwareUpdateAvailable() || manager.isCircuitDatabaseUpdateAvailable();
}
