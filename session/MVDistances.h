#pragma once

#include "session/MVNumberList.h"

#include <cstdint>
#include <memory>

// Cumulative distance of every kept sample, metres.
class MVDistances : public MVNumberList {
  public:
    static std::shared_ptr<MVDistances> instance() { return std::make_shared<MVDistances>(); }

    // Appends one value unchanged.
    void addValue(double value) { append(value); }
    // Clamped read: index below 0 gives the first value, at or past the end the last.
    // An empty list is never read by correct callers; it reads 0.
    double valueAtIndex(std::int64_t index) const { return clampedValue(index, 0.0); }
};

using MVDistancesPtr = std::shared_ptr<MVDistances>;
