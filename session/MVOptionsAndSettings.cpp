#include "session/MVOptionsAndSettings.h"

#include "session/MVHelperKeys.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// A stored value read as an integer: numbers (fractions cut off), bools and numeric text.
// Absent, unreadable or out-of-range values read as 0, so they count as the default.
int64_t storedInteger(const platform::UserDefaults& defaults, const std::string& key) {
    auto v = defaults.objectForKey(key);
    if (!v) return 0;
    if (v->is_boolean()) return v->get<bool>() ? 1 : 0;
    if (v->is_number_unsigned()) {
        auto u = v->get<uint64_t>();
        return u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
                   ? 0
                   : static_cast<int64_t>(u);
    }
    if (v->is_number_integer()) return v->get<int64_t>();
    if (v->is_number_float()) {
        double d = v->get<double>();
        if (!std::isfinite(d) || std::fabs(d) >= 9.0e18) return 0;
        return static_cast<int64_t>(d);
    }
    if (v->is_string()) {
        const std::string& s = v->get_ref<const std::string&>();
        errno = 0;
        long long n = std::strtoll(s.c_str(), nullptr, 10);
        return errno == 0 ? n : 0;
    }
    return 0;
}

}  // namespace

MVOptionsAndSettings::MVOptionsAndSettings(platform::UserDefaults& defaults) : defaults_(defaults) {
    setMode(storedOptionValue(MVXAxisMode::Position));
    setDisplayMode(storedOptionValue(MVDisplayMode::Laps));
    setLapOptionsMode(storedOptionValue(MVLapOptionsMode::PreciseLaps));
    setClearMemory(0);
    setGateWidth(25);
    loadFromDefaults();
}

MVOptionsAndSettings& MVOptionsAndSettings::sharedManager() {
    static MVOptionsAndSettings* const instance = new MVOptionsAndSettings();
    return *instance;
}

void MVOptionsAndSettings::setIsThumbnailClosed(bool v) {
    isThumbnailClosed_.set(v);
    defaults_.setBool(MVHelper::Default_ThumbnailIsClosed(), v);
}

MVXAxisMode MVOptionsAndSettings::storedXAxisMode() const {
    // The x-axis key numbers the axes the other way round; an absent key means the position axis.
    return storedInteger(defaults_, MVHelper::Default_XAxisMode()) == 0 ? MVXAxisMode::Position
                                                                        : MVXAxisMode::Time;
}

void MVOptionsAndSettings::loadFromDefaults() {
    setMode(storedOptionValue(storedXAxisMode()));
    setDisplayMode(storedOptionValue(storedInteger(defaults_, MVHelper::Default_DisplayMode()) != 0
                                         ? MVDisplayMode::WholeSession
                                         : MVDisplayMode::Laps));

    // Units outside their range leave the default (0).
    const int64_t speed = storedInteger(defaults_, MVHelper::Default_SpeedUnit());
    if (speed == 0 || speed == 1) setSpeedUnit(static_cast<int32_t>(speed));
    const int64_t distance = storedInteger(defaults_, MVHelper::Default_DistanceUnit());
    if (distance >= 0 && distance <= 2) setDistanceUnit(static_cast<int32_t>(distance));
    const int64_t height = storedInteger(defaults_, MVHelper::Default_HeightUnit());
    if (height == 0 || height == 1) setHeightUnit(static_cast<int32_t>(height));

    setIsThumbnailClosed(defaults_.boolForKey(MVHelper::Default_ThumbnailIsClosed()));
    setTrackRouteFlag(defaults_.boolForKey(MVHelper::Default_TrackRouteFlag()));
    setTrackLockFlag(defaults_.boolForKey(MVHelper::Default_TrackLockFlag()));
    setIsTrackSectionInVisible(defaults_.boolForKey(MVHelper::Default_TrackSectionInVisibleFlag()));
    setIsVideoFullScreen(defaults_.boolForKey(MVHelper::Default_VideoFullScreeenFlag()));
}

bool MVOptionsAndSettings::changeMode(int32_t v) {
    if (v != 0 && v != 1) return false;
    setMode(v);
    defaults_.setInteger(MVHelper::Default_XAxisMode(), storedXAxisModeForMode(v));
    return true;
}

bool MVOptionsAndSettings::changeDisplayMode(int32_t v) {
    if ((v != 0 && v != 1) || displayModeChangesHeld()) return false;
    setDisplayMode(v);
    defaults_.setInteger(MVHelper::Default_DisplayMode(), v);
    return true;
}

bool MVOptionsAndSettings::changeLapOptionsMode(int32_t v) {
    if (v != 0 && v != 1) return false;
    setLapOptionsMode(v);
    return true;
}

bool MVOptionsAndSettings::changeSpeedUnit(int32_t v) {
    if (v != 0 && v != 1) return false;
    setSpeedUnit(v);
    defaults_.setInteger(MVHelper::Default_SpeedUnit(), v);
    return true;
}

bool MVOptionsAndSettings::changeDistanceUnit(int32_t v) {
    if (v < 0 || v > 2) return false;
    setDistanceUnit(v);
    defaults_.setInteger(MVHelper::Default_DistanceUnit(), v);
    return true;
}

bool MVOptionsAndSettings::changeHeightUnit(int32_t v) {
    if (v != 0 && v != 1) return false;
    setHeightUnit(v);
    defaults_.setInteger(MVHelper::Default_HeightUnit(), v);
    return true;
}
