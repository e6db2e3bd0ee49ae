#pragma once

#include "session/MVOptionValues.h"

#include "platform/Observable.h"
#include "platform/ObserverToken.h"
#include "platform/UserDefaults.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// One entry of the lap table's sort order.
struct MVSortDescriptor {
    std::string key;
    bool ascending = true;
    bool operator==(const MVSortDescriptor&) const = default;
};

// The user's analysis and display options, one object for the process (sharedManager()).
// Filled from the user-defaults store at construction. Every notifying setter calls the
// property's observers synchronously on the calling thread, on every call, also when the value
// is unchanged; the safely...WithoutKVO setters change the value silently. Apart from
// setIsThumbnailClosed(), no setter writes the store. Values are safe to read from any thread.
class MVOptionsAndSettings {
  public:
    template <typename T>
    using Handler = typename platform::Observable<T>::Handler;

    explicit MVOptionsAndSettings(
        platform::UserDefaults& defaults = platform::UserDefaults::standard());
    MVOptionsAndSettings(const MVOptionsAndSettings&) = delete;
    MVOptionsAndSettings& operator=(const MVOptionsAndSettings&) = delete;

    // Created on first use (thread-safe) from the standard store; never freed.
    static MVOptionsAndSettings& sharedManager();

    // The integer stored under the x-axis mode key for an x-axis mode: the key numbers the axes
    // the other way round (1 time axis, 0 position axis). Writers of the key use this.
    static int64_t storedXAxisModeForMode(int32_t mode) {
        return mode != storedOptionValue(MVXAxisMode::Position) ? 1 : 0;
    }

    // The options hold the numbers of their values (MVOptionValues.h); is() compares with a
    // named value.
    // x-axis mode: an MVXAxisMode (time or position).
    int32_t mode() const { return mode_.get(); }
    void setMode(int32_t v) { mode_.set(v); }
    bool is(MVXAxisMode v) const { return mode() == storedOptionValue(v); }
    // The x axis the user chose in the settings ("Default_XAxisMode"; absent: position). The lap
    // display reads against it; the whole-session display always against time.
    MVXAxisMode storedXAxisMode() const;
    // An MVDisplayMode: laps or whole session.
    int32_t displayMode() const { return displayMode_.get(); }
    void setDisplayMode(int32_t v) { displayMode_.set(v); }
    bool is(MVDisplayMode v) const { return displayMode() == storedOptionValue(v); }
    // An MVLapOptionsMode: ignore short laps (precise laps) or unfinished laps (all laps). Not
    // stored.
    int32_t lapOptionsMode() const { return lapOptionsMode_.get(); }
    void setLapOptionsMode(int32_t v) { lapOptionsMode_.set(v); }
    bool is(MVLapOptionsMode v) const { return lapOptionsMode() == storedOptionValue(v); }
    // An MVSpeedUnit: km/h or mph.
    int32_t speedUnit() const { return speedUnit_.get(); }
    void setSpeedUnit(int32_t v) { speedUnit_.set(v); }
    bool is(MVSpeedUnit v) const { return speedUnit() == storedOptionValue(v); }
    // An MVDistanceUnit: metre, feet or mile.
    int32_t distanceUnit() const { return distanceUnit_.get(); }
    void setDistanceUnit(int32_t v) { distanceUnit_.set(v); }
    bool is(MVDistanceUnit v) const { return distanceUnit() == storedOptionValue(v); }
    // An MVHeightUnit: metre or feet.
    int32_t heightUnit() const { return heightUnit_.get(); }
    void setHeightUnit(int32_t v) { heightUnit_.set(v); }
    bool is(MVHeightUnit v) const { return heightUnit() == storedOptionValue(v); }
    int32_t clearMemory() const { return clearMemory_.get(); }
    void setClearMemory(int32_t v) { clearMemory_.set(v); }
    // Metres; crossing detection and position alignment. Starts at 25 on every run.
    int64_t gateWidth() const { return gateWidth_.get(); }
    void setGateWidth(int64_t v) { gateWidth_.set(v); }
    // The lap table's current sort order; empty when none was chosen. Held for the run only.
    std::vector<MVSortDescriptor> lapSortDescriptors() const { return lapSortDescriptors_.get(); }
    void setLapSortDescriptors(std::vector<MVSortDescriptor> v) {
        lapSortDescriptors_.set(std::move(v));
    }
    bool trackRouteFlag() const { return trackRouteFlag_.get(); }
    void setTrackRouteFlag(bool v) { trackRouteFlag_.set(v); }
    bool trackLockFlag() const { return trackLockFlag_.get(); }
    void setTrackLockFlag(bool v) { trackLockFlag_.set(v); }
    bool isThumbnailClosed() const { return isThumbnailClosed_.get(); }
    // Also writes the flag under "Default_ThumbnailIsClosed".
    void setIsThumbnailClosed(bool v);
    bool isTrackSectionInVisible() const { return isTrackSectionInVisible_.get(); }
    void setIsTrackSectionInVisible(bool v) { isTrackSectionInVisible_.set(v); }
    bool isVideoFullScreen() const { return isVideoFullScreen_.get(); }
    void setIsVideoFullScreen(bool v) { isVideoFullScreen_.set(v); }

    // The settings pop-over's writes: each sets the option (its observers are notified) and,
    // except for the lap option, stores it under its user-defaults key ("Default_XAxisMode" as
    // storedXAxisModeForMode(), the display mode as 0 or 1, the units as given). Values outside
    // an option's range are refused. A refused write changes nothing and answers false.
    bool changeMode(int32_t v);
    // Also refused while display-mode changes are held (a session load is under way).
    bool changeDisplayMode(int32_t v);
    bool changeLapOptionsMode(int32_t v);
    bool changeSpeedUnit(int32_t v);
    bool changeDistanceUnit(int32_t v);
    bool changeHeightUnit(int32_t v);
    // Holds are counted: changes are refused until every hold is released. Any thread.
    void holdDisplayModeChanges() { ++displayModeHolds_; }
    void releaseDisplayModeChanges() { --displayModeHolds_; }
    bool displayModeChangesHeld() const { return displayModeHolds_.load() > 0; }

    // Silent setters: no observer is called, nothing is written to the store.
    void safelyChangeMVModeWithoutKVO(int32_t v) { mode_.setWithoutNotifying(v); }
    void safelyChangeMVDisplayModeWithoutKVO(int32_t v) { displayMode_.setWithoutNotifying(v); }
    void safelyChnageMVLapsOptionWithoutKVO(int32_t v) { lapOptionsMode_.setWithoutNotifying(v); }
    void safelyChangeMVSpeedUnitWithoutKVO(int32_t v) { speedUnit_.setWithoutNotifying(v); }
    void safelyChangeMVDistanceUnitWithoutKVO(int32_t v) { distanceUnit_.setWithoutNotifying(v); }
    void safelyChangeMVHeightUnitWithoutKVO(int32_t v) { heightUnit_.setWithoutNotifying(v); }
    void safelyClearAllTheApplicationData(int32_t v) { clearMemory_.setWithoutNotifying(v); }
    void safelyChangeMVModeWithoutKVO(MVXAxisMode v) {
        safelyChangeMVModeWithoutKVO(storedOptionValue(v));
    }
    void safelyChangeMVDisplayModeWithoutKVO(MVDisplayMode v) {
        safelyChangeMVDisplayModeWithoutKVO(storedOptionValue(v));
    }
    void safelyChnageMVLapsOptionWithoutKVO(MVLapOptionsMode v) {
        safelyChnageMVLapsOptionWithoutKVO(storedOptionValue(v));
    }

    // Observation: handlers get (old value, new value); the token ends the observation.
    [[nodiscard]] platform::ObserverToken observeMode(Handler<int32_t> h) {
        return mode_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeDisplayMode(Handler<int32_t> h) {
        return displayMode_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeLapOptionsMode(Handler<int32_t> h) {
        return lapOptionsMode_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeSpeedUnit(Handler<int32_t> h) {
        return speedUnit_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeDistanceUnit(Handler<int32_t> h) {
        return distanceUnit_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeHeightUnit(Handler<int32_t> h) {
        return heightUnit_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeClearMemory(Handler<int32_t> h) {
        return clearMemory_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeLapSortDescriptors(
        Handler<std::vector<MVSortDescriptor>> h) {
        return lapSortDescriptors_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeIsThumbnailClosed(Handler<bool> h) {
        return isThumbnailClosed_.observe(std::move(h));
    }

  private:
    void loadFromDefaults();

    platform::UserDefaults& defaults_;
    std::atomic<int> displayModeHolds_{0};
    platform::Observable<int32_t> mode_;
    platform::Observable<int32_t> displayMode_;
    platform::Observable<int32_t> lapOptionsMode_;
    platform::Observable<int32_t> speedUnit_;
    platform::Observable<int32_t> distanceUnit_;
    platform::Observable<int32_t> heightUnit_;
    platform::Observable<int32_t> clearMemory_;
    platform::Observable<int64_t> gateWidth_;
    platform::Observable<std::vector<MVSortDescriptor>> lapSortDescriptors_;
    platform::Observable<bool> trackRouteFlag_;
    platform::Observable<bool> trackLockFlag_;
    platform::Observable<bool> isThumbnailClosed_;
    platform::Observable<bool> isTrackSectionInVisible_;
    platform::Observable<bool> isVideoFullScreen_;
};
