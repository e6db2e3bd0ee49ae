#include "session/MVSynchronization.h"

#include "session/MVGlobalData.h"

#include <cmath>

MVSynchronization::MVSynchronization(MVGlobalData& selection) : selection_(selection) {
    resetSync();
}

MVSynchronization::MVSynchronization() : MVSynchronization(MVGlobalData::sharedManager()) {}

MVSynchronization& MVSynchronization::sharedManager() {
    static MVSynchronization* const instance = new MVSynchronization();
    return *instance;
}

void MVSynchronization::resetSync() {
    syncShift_.setWithoutNotifying(selection_.DefaultValue());
    syncTime_.setWithoutNotifying(0.0);
    syncIndexOfPosition_.setWithoutNotifying(0.0);
}

void MVSynchronization::setSyncShift(double v) {
    // A width that is not a number would spread into every pane's range: take the default.
    if (std::isnan(v)) v = selection_.DefaultValue();
    const double max = selection_.MaxValue();
    const double min = selection_.MinValue();
    if (v > max) v = max;
    if (v < min) v = min;
    syncShift_.set(v);
}
