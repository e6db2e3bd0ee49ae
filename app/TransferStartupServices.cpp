#include "app/TransferStartupServices.h"

#include "app/TelemetryLaunch.h"

#include "platform/UserDefaults.h"

TransferStartupServices::TransferStartupServices()
    : reporter_(MVUsageReporter::Config{}, platform::UserDefaults::standard(), reachability_) {}

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
