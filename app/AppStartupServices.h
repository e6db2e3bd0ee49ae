#pragma once

#include <functional>

// The outside services the program calls at start-up: telemetry, the usage report and the
// update check. Main thread only; none of them may block start-up for long.
class AppStartupServices {
  public:
    virtual ~AppStartupServices() = default;
    virtual void startTelemetry() = 0;
    virtual void sendUsageAtStartup() = 0;
    // True when an update sheet should be shown.
    virtual bool isUpdateAvailable() = 0;
    // The same without waiting: `answer` runs later on the main queue (at once by default).
    virtual void checkForUpdate(std::function<void(bool available)> answer) {
        answer(isUpdateAvailable());
    }
};

// Services that do nothing: no telemetry, no usage report, never an update.
class NoStartupServices final : public AppStartupServices {
  public:
    void startTelemetry() override {}
    void sendUsageAtStartup() override {}
    bool isUpdateAvailable() override { return false; }
};
