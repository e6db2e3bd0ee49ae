#include "session/MVNumberList.h"

#include <cmath>
#include <cstdint>

namespace {

// std::round (halves away from zero, the sign of a zero kept) without a library call: every
// time, speed and distance of a session passes through here. Magnitudes from 2^52 on are whole
// already (as are infinities); NaN goes to the library too.
double roundedHalfAway(double scaled) {
    if (!(std::fabs(scaled) < 4503599627370496.0)) return std::round(scaled);
    double whole = static_cast<double>(static_cast<std::int64_t>(scaled));
    const double rest = scaled - whole;  // exact
    if (rest >= 0.5) {
        whole += 1.0;
    } else if (rest <= -0.5) {
        whole -= 1.0;
    }
    return std::copysign(whole, scaled);
}

}  // namespace

double MVNumberList::roundToHundredth(double value) {
    const double scaled = value * 100.0;
    return roundedHalfAway(scaled) / 100.0;
}

double MVNumberList::clampedValue(std::int64_t index, double emptyValue) const {
    if (data_.empty()) return emptyValue;
    if (index < 0) return data_.front();
    if (static_cast<std::uint64_t>(index) < data_.size()) {
        return data_[static_cast<std::size_t>(index)];
    }
    return data_.back();
}
