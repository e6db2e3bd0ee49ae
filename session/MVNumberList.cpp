#include "session/MVNumberList.h"

#include <cmath>

double MVNumberList::roundToHundredth(double value) {
    const double scaled = value * 100.0;
    return std::round(scaled) / 100.0;
}

double MVNumberList::clampedValue(std::int64_t index, double emptyValue) const {
    if (data_.empty()) return emptyValue;
    if (index < 0) return data_.front();
    if (static_cast<std::uint64_t>(index) < data_.size()) {
        return data_[static_cast<std::size_t>(index)];
    }
    return data_.back();
}
