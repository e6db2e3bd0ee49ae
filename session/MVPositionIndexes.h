#pragma once

#include "session/MVNumberList.h"

#include <cstdint>
#include <memory>

// For each sample of the reference lap, the time at which a lap passed that place (seconds).
class MVPositionIndexes : public MVNumberList {
  public:
    static std::shared_ptr<MVPositionIndexes> instance() {
        return std::make_shared<MVPositionIndexes>();
    }

    // Appends one value, rounded to 0.01.
    void addValue(double value) { append(roundToHundredth(value)); }
    // Clamped read: index below 0 gives the first value, at or past the end the last.
    // An empty list reads 0.
    double valueAtIndex(std::int64_t index) const { return clampedValue(index, 0.0); }
};

using MVPositionIndexesPtr = std::shared_ptr<MVPositionIndexes>;
