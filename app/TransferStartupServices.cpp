#include "app/TransferStartupServices.h"

#include "platform/Dispatch.h"

TransferStartupServices::TransferStartupServices()
    : reporter_(MVUsageReporter::Config{}, platform::UserDefaults::standard(), reachability_) {}

void TransferStartupServices::sendUsageAtStartup() {
    reporter_.sendUsageAtStartup();
}

void TransferStartupServices::checkForUpdate(std::function<void(bool)> answer) {
    platform::globalQueue().async([answer = std::move(answer)] {
        MVVersionManager& manager = MVVersionManager::sharedVersionManager();
        const bool available =
            manager.isSoftwareUpdateAvailable() || manager.isCircuitDatabaseUpdateAvailable();
        platform::mainQueue().async([answer, available] { answer(available); });
    });
}
