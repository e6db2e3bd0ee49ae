#pragma once

#include <chrono>

// The outside services the program calls at start-up: telemetry, the usage report and the
// update check.
class AppStartupServices {
  public:
    // How long the launch update check may take; an answer that comes later is dropped.
    static constexpr std::chrono::seconds kUpdateCheckTimeout{10};

    virtual ~AppStartupServices() = default;
    // Main thread; must return at once (network work runs elsewhere).
    virtual void startTelemetry() = 0;
    virtual void sendUsageAtStartup() = 0;
    // True when a new program version or a new circuit database exists (the circuit database is
    // asked only when the program is current). Called on a worker thread, never on the main
    // thread, so the window never waits for it; each catalogue read uses an explicit time-out
    // of at most kUpdateCheckTimeout, and a catalogue that cannot be read answers false.
    virtual bool isUpdateAvailable() = 0;
};

// Services that do nothing: no telemetry, no usage report, never an update.
class NoStartupServices final : public AppStartupServices {
  public:
    void startTelemetry() override {}
    void sendUsageAtStartup() override {}
    bool isUpdateAvailable() override { return false; }
};
