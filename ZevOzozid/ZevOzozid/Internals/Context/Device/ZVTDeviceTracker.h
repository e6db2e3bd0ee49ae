#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Context/Device/ZVTDeviceProbe.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTDeviceHistoryInfo.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTDevice.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTWrapperSdk.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The source of the device record every log carries, with a persisted history ("PastDevices")
// of the records of the last five launches. Every member is safe from any thread (the tracker's
// own recursive lock; the wrapper SDK, country code and current-flag are process-wide).
class ZVTDeviceTracker {
  public:
    static constexpr size_t kMaxDevicesHistory = 5;

    explicit ZVTDeviceTracker(
        std::shared_ptr<ZVTDeviceProbe> probe = ZVTDeviceProbe::current(),
        ZVTZevOzozidUserDefaults& settings = ZVTZevOzozidUserDefaults::shared());

    static ZVTDeviceTracker& sharedInstance();
    // Forgets the shared tracker and the process-wide wrapper SDK, country code and flag.
    static void resetSharedInstance();
    // The next `device` call rebuilds the record.
    static void refreshDeviceNextTime();

    // The current record; a rebuilt record is added to the history.
    std::shared_ptr<ZVTDevice> device();
    std::shared_ptr<ZVTDevice> updatedDevice();
    // The record in effect at `date`: the newest entry strictly older, the oldest when none is.
    std::shared_ptr<ZVTDevice> deviceForTimestamp(const std::optional<ZVTDate>& date);
    // Keeps only the newest entry.
    void clearDevices();

    void setWrapperSdk(std::shared_ptr<ZVTWrapperSdk> wrapperSdk);
    std::shared_ptr<ZVTWrapperSdk> wrapperSdk() const;
    void setCountryCode(std::optional<std::string> countryCode);
    std::optional<std::string> countryCode() const;

    std::vector<std::shared_ptr<ZVTDeviceHistoryInfo>> deviceHistory() const;

  private:
    void storeHistoryLocked();

    std::shared_ptr<ZVTDeviceProbe> probe_;
    ZVTZevOzozidUserDefaults& settings_;
    mutable std::recursive_mutex mutex_;
    std::shared_ptr<ZVTDevice> device_;
    std::vector<std::shared_ptr<ZVTDeviceHistoryInfo>> history_;
};
