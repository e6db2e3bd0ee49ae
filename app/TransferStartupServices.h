#pragma once

#include "app/AppStartupServices.h"
#include "app/TelemetryAppState.h"

#include "transfer/core/MVReachability.h"
#include "transfer/core/MVUsageReporter.h"
#include "transfer/core/MVVersionManager.h"

#include <memory>

// The start-up services of the running program: the usage report (sent in the background) and
// the launch update check, and telemetry with crash reporting (see TelemetryLaunch.h); the
// SDK then follows the application's state. Main thread only, except
// isUpdateAvailable, which the delegate calls on a worker thread.
class TransferStartupServices final : public AppStartupServices {
  public:
    TransferStartupServices();

    void startTelemetry() override;
    void sendUsageAtStartup() override;
    // A newer program, or else a newer circuit database. Blocks for the catalogue reads (each
    // bounded by the version manager's time-out); safe from any thread.
    bool isUpdateAvailable() override;

  private:
    MVRouteReachability reachability_;
    MVUsageReporter reporter_;
    std::unique_ptr<TelemetryAppState> telemetryState_;
};
