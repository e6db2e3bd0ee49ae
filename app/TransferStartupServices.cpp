#include "app/TransferStartupServices.h"

#include "platform/UserDefaults.h"

TransferStartupServices::TransferStartupServices()
    : reporter_(MVUsageReporter::Config{}, platform::UserDefaults::standard(), reachability_) {}

void TransferStartupServices::sendUsageAtStartup() {
    reporter_.sendUsageAtStartup();
}

bool TransferStartupServices::isUpdateAvailable() {
    MVVersionManager& manager = MVVersionManager::sharedVersionManager();
    return manager.isSoftwareUpdateAvailable() || manager.isCircuitDatabaseUpdateAvailable();
}
