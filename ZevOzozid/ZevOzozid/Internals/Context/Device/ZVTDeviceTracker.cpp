#include "ZevOzozid/ZevOzozid/Internals/Context/Device/ZVTDeviceTracker.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSingleton.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <algorithm>
#include <atomic>

namespace {

const std::string kPastDevicesKey = "PastDevices";

struct ProcessValues {
    std::mutex mutex;
    std::shared_ptr<ZVTWrapperSdk> wrapperSdk;
    std::optional<std::string> countryCode;
    std::atomic<bool> deviceIsCurrent{false};
};

ProcessValues& process() {
    static auto* p = new ProcessValues;
    return *p;
}

ZVTSingleton<ZVTDeviceTracker>& singleton() {
    static auto* s = new ZVTSingleton<ZVTDeviceTracker>;
    return *s;
}

bool olderThan(const std::shared_ptr<ZVTDeviceHistoryInfo>& entry, const ZVTDate& date) {
    return entry->timestamp().value_or(ZVTDate::min()) < date;
}

}  // namespace

ZVTDeviceTracker& ZVTDeviceTracker::sharedInstance() {
    return singleton().shared();
}

void ZVTDeviceTracker::resetSharedInstance() {
    singleton().reset();
    std::lock_guard lock(process().mutex);
    process().wrapperSdk.reset();
    process().countryCode.reset();
    process().deviceIsCurrent = false;
}

void ZVTDeviceTracker::refreshDeviceNextTime() {
    process().deviceIsCurrent = false;
}

ZVTDeviceTracker::ZVTDeviceTracker(std::shared_ptr<ZVTDeviceProbe> probe,
                                   ZVTZevOzozidUserDefaults& settings)
    : probe_(std::move(probe)), settings_(settings) {
    if (auto data = settings_.dataForKey(kPastDevicesKey)) {
        if (auto list = ZVTUtility::unarchiveKeyedListOf<ZVTDeviceHistoryInfo>(&*data)) {
            history_ = std::move(*list);
            std::stable_sort(history_.begin(), history_.end(), [](const auto& a, const auto& b) {
                return a->timestamp() < b->timestamp();
            });
        }
    }
    process().deviceIsCurrent = false;
    device();
}

std::shared_ptr<ZVTDevice> ZVTDeviceTracker::device() {
    std::lock_guard lock(mutex_);
    if (device_ && process().deviceIsCurrent) return device_;
    device_ = updatedDevice();
    const ZVTDate now = ZVTUtility::currentDate();
    auto at = std::upper_bound(history_.begin(), history_.end(), now,
                               [](const ZVTDate& date, const auto& entry) {
                                   return date < entry->timestamp().value_or(ZVTDate::min());
                               });
    history_.insert(at, std::make_shared<ZVTDeviceHistoryInfo>(now, device_));
    while (history_.size() > kMaxDevicesHistory) history_.erase(history_.begin());
    storeHistoryLocked();
    return device_;
}

std::shared_ptr<ZVTDevice> ZVTDeviceTracker::updatedDevice() {
    std::lock_guard lock(mutex_);
    auto d = std::make_shared<ZVTDevice>();
    const ZVTApplicationInfo app = ZVTApplicationInfo::currentOrFallback();
    d->setSdkName(ZVTUtility::sdkName());
    d->setSdkVersion(ZVTUtility::sdkVersion());
    d->setModel(probe_->model());
    d->setOemName(probe_->oemName());
    d->setOsName(probe_->osName());
    d->setOsVersion(probe_->osVersion());
    d->setOsBuild(probe_->osBuild());
    d->setLocale(probe_->locale());
    d->setTimeZoneOffset(probe_->timeZoneOffsetMinutes());
    d->setScreenSize(std::to_string(app.screenWidth) + "x" + std::to_string(app.screenHeight));
    d->setAppVersion(app.version);
    d->setCarrierCountry(countryCode());
    d->setAppBuild(app.build);
    d->setAppNamespace(app.identifier);
    if (auto wrapper = wrapperSdk()) {
        d->setWrapperSdkVersion(wrapper->wrapperSdkVersion());
        d->setWrapperSdkName(wrapper->wrapperSdkName());
        d->setWrapperRuntimeVersion(wrapper->wrapperRuntimeVersion());
        d->setLiveUpdateReleaseLabel(wrapper->liveUpdateReleaseLabel());
        d->setLiveUpdateDeploymentKey(wrapper->liveUpdateDeploymentKey());
        d->setLiveUpdatePackageHash(wrapper->liveUpdatePackageHash());
    }
    process().deviceIsCurrent = true;
    return d;
}

std::shared_ptr<ZVTDevice> ZVTDeviceTracker::deviceForTimestamp(
    const std::optional<ZVTDate>& date) {
    std::lock_guard lock(mutex_);
    if (!date || history_.empty()) return device();
    auto at = std::lower_bound(history_.begin(), history_.end(), *date, olderThan);
    if (at == history_.begin()) return history_.front()->device();
    return (*(at - 1))->device();
}

void ZVTDeviceTracker::clearDevices() {
    std::lock_guard lock(mutex_);
    if (history_.size() > 1) history_.erase(history_.begin(), history_.end() - 1);
    storeHistoryLocked();
}

void ZVTDeviceTracker::setWrapperSdk(std::shared_ptr<ZVTWrapperSdk> wrapperSdk) {
    std::lock_guard lock(mutex_);
    {
        std::lock_guard values(process().mutex);
        process().wrapperSdk = std::move(wrapperSdk);
    }
    process().deviceIsCurrent = false;
    if (!history_.empty()) history_.pop_back();
    device();
}

std::shared_ptr<ZVTWrapperSdk> ZVTDeviceTracker::wrapperSdk() const {
    std::lock_guard lock(process().mutex);
    return process().wrapperSdk;
}

void ZVTDeviceTracker::setCountryCode(std::optional<std::string> countryCode) {
    std::lock_guard lock(mutex_);
    {
        std::lock_guard values(process().mutex);
        process().countryCode = std::move(countryCode);
    }
    process().deviceIsCurrent = false;
}

std::optional<std::string> ZVTDeviceTracker::countryCode() const {
    std::lock_guard lock(process().mutex);
    return process().countryCode;
}

std::vector<std::shared_ptr<ZVTDeviceHistoryInfo>> ZVTDeviceTracker::deviceHistory() const {
    std::lock_guard lock(mutex_);
    return history_;
}

void ZVTDeviceTracker::storeHistoryLocked() {
    if (auto data = ZVTUtility::archiveKeyedList(history_))
        settings_.setData(*data, kPastDevicesKey);
    // The next run tells the crash of this one with it, however soon this run ends.
    settings_.store().writeNow();
}
