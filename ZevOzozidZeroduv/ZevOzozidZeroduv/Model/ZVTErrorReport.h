#pragma once

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTThread.h"

#include "ZevOzozid/ZevOzozid/Model/ZVTDevice.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using ZVTThreads = std::vector<std::shared_ptr<ZVTThread>>;
using ZVTBinaries = std::vector<std::shared_ptr<ZVTBinary>>;

// The read-only summary of one crash or handled error handed to the application's callbacks;
// never sent or archived. Immutable after construction apart from setSignal, so any thread may
// read it once it is shared.
class ZVTErrorReport {
  public:
    struct Fields {
        std::optional<std::string> incidentIdentifier;
        std::optional<std::string> reporterKey;
        std::optional<std::string> signal;
        std::optional<std::string> exceptionName;
        std::optional<std::string> exceptionReason;
        std::optional<ZVTDate> appStartTime;
        std::optional<ZVTDate> appErrorTime;
        std::optional<std::string> codeType;
        std::optional<std::string> archName;
        std::optional<std::string> applicationPath;
        std::optional<ZVTThreads> threads;
        std::optional<ZVTBinaries> binaries;
        std::shared_ptr<ZVTDevice> device;
        uint64_t appProcessIdentifier = 0;
    };

    explicit ZVTErrorReport(Fields fields) : f_(std::move(fields)) {}

    const std::optional<std::string>& incidentIdentifier() const { return f_.incidentIdentifier; }
    const std::optional<std::string>& reporterKey() const { return f_.reporterKey; }
    const std::optional<std::string>& signal() const { return f_.signal; }
    void setSignal(std::optional<std::string> signal) { f_.signal = std::move(signal); }
    const std::optional<std::string>& exceptionName() const { return f_.exceptionName; }
    const std::optional<std::string>& exceptionReason() const { return f_.exceptionReason; }
    const std::optional<ZVTDate>& appStartTime() const { return f_.appStartTime; }
    const std::optional<ZVTDate>& appErrorTime() const { return f_.appErrorTime; }
    const std::optional<std::string>& codeType() const { return f_.codeType; }
    const std::optional<std::string>& archName() const { return f_.archName; }
    const std::optional<std::string>& applicationPath() const { return f_.applicationPath; }
    const std::optional<ZVTThreads>& threads() const { return f_.threads; }
    const std::optional<ZVTBinaries>& binaries() const { return f_.binaries; }
    const std::shared_ptr<ZVTDevice>& device() const { return f_.device; }
    uint64_t appProcessIdentifier() const { return f_.appProcessIdentifier; }

    // The signal spells SIGKILL in any letter case.
    bool isAppKill() const;
    // The present fields; "appProcessIdentifier" as decimal text when it is not 0.
    ZVTJson serializeToDictionary() const;
    std::string description() const;

  private:
    Fields f_;
};
