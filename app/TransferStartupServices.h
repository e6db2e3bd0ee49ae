#pragma once

#include "app/AppStartupServices.h"
#include "transfer/core/MVReachability.h"
#include "transfer/core/MVUsageReporter.h"
#include "transfer/core/MVVersionManager.h"

// The start-up services of the running program: the usage report (sent in the background) and
// the launch update check (asked on a worker, answered on the main queue). Telemetry is not
// started here yet. Main thread only.
class TransferStartupServices final : public AppStartupServices {
  public:
    TransferStartupServices();

    void startTelemetry() override {}
    void sendUsageAtStartup() override;
    // Never blocks, so it never finds an update: the launch uses checkForUpdate.
    bool isUpdateAvailable() override { return false; }
    // A newer program, or else a newer circuit database.
    void checkForUpdate(std::function<void(bool available)> answer) override;

  private:
    MVRouteReachability reachability_;
    MVUsageReporter reporter_;
};
