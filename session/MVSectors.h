#pragma once

#include "session/MVNumberList.h"

#include <cstdint>
#include <memory>

// A lap's sector boundary times, ascending: lap start, each sector-gate crossing, lap end
// (seconds from the session's first sample). Values are stored unchanged.
class MVSectors : public MVNumberList {
  public:
    static std::shared_ptr<MVSectors> instance() { return std::make_shared<MVSectors>(); }

    void addValue(double value) { append(value); }
    // The value at index for 0 <= index < count(). Callers never ask outside the list; such a
    // read gives 0 (the same as "sector gate not found").
    double valueAtIndex(std::int64_t index) const;
    // Position of the first value within 0.01 (strictly) of value, scanning from the first even
    // when a later one is nearer; -1 when none is that close.
    std::int64_t indexOfValue(double value) const;
};

using MVSectorsPtr = std::shared_ptr<MVSectors>;
