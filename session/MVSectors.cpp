#include "session/MVSectors.h"

#include <cmath>
#include <cstddef>

double MVSectors::valueAtIndex(std::int64_t index) const {
    if (index < 0 || static_cast<std::uint64_t>(index) >= count()) return 0.0;
    return values()[static_cast<std::size_t>(index)];
}

std::int64_t MVSectors::indexOfValue(double value) const {
    const auto& v = values();
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (std::fabs(v[i] - value) < 0.01) return static_cast<std::int64_t>(i);
    }
    return -1;
}
