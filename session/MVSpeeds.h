#pragma once

#include "session/MVNumberList.h"

#include <cstdint>
#include <memory>

// Speed of every kept sample of a session, km/h.
class MVSpeeds : public MVNumberList {
  public:
    static std::shared_ptr<MVSpeeds> instance() { return std::make_shared<MVSpeeds>(); }

    // Appends one value, rounded to 0.01.
    void addValue(double value) { append(roundToHundredth(value)); }
    // Clamped read: index below 0 gives the first value, at or past the end the last.
    // An empty list is never read by correct callers; it reads 0.
    double valueAtIndex(std::int64_t index) const { return clampedValue(index, 0.0); }
};

using MVSpeedsPtr = std::shared_ptr<MVSpeeds>;
