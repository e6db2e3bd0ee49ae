#pragma once

#include "session/MVNumberList.h"

#include <cstdint>
#include <memory>

// Elapsed time of every kept sample, seconds from the session's first sample.
class MVFakeIndexes : public MVNumberList {
  public:
    static std::shared_ptr<MVFakeIndexes> instance() { return std::make_shared<MVFakeIndexes>(); }

    // Appends one value, rounded to 0.01.
    void addValue(double value) { append(roundToHundredth(value)); }
    // Clamped read: index below 0 gives the first value, at or past the end the last.
    // An empty list is never read by correct callers; it reads 0.
    double valueAtIndex(std::int64_t index) const { return clampedValue(index, 0.0); }
};

using MVFakeIndexesPtr = std::shared_ptr<MVFakeIndexes>;
