#include "session/MVGlobalData.h"

#include "session/MVOptionsAndSettings.h"

MVGlobalData::MVGlobalData(MVOptionsAndSettings& options) : options_(options) {
    setSelectedKeys({});
    setSelectedLaps({});
}

MVGlobalData::MVGlobalData() : MVGlobalData(MVOptionsAndSettings::sharedManager()) {}

MVGlobalData& MVGlobalData::sharedManager() {
    static MVGlobalData* const instance = new MVGlobalData();
    return *instance;
}

MVGlobalData::Limits MVGlobalData::limits() const {
    // The whole-session display does not consult the x-axis mode.
    if (options_.is(MVDisplayMode::WholeSession)) return {200, 5000, 750};
    if (options_.is(MVXAxisMode::Time)) return {20, 500, 150};
    return {200, 5000, 1500};
}

double MVGlobalData::MaxValue() const {
    return limits().max;
}
double MVGlobalData::MinValue() const {
    return limits().min;
}
double MVGlobalData::DefaultValue() const {
    return limits().byDefault;
}

void MVGlobalData::resetData() {
    selectedKeys_.setWithoutNotifying({});
    selectedLaps_.setWithoutNotifying({});
    bestLap_.setWithoutNotifying(nullptr);
}
