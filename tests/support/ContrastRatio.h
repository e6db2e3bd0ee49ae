#pragma once

// The contrast ratio of two colours as the accessibility guidelines define it, from their
// relative luminances: (lighter + 0.05) / (darker + 0.05). For the GUI tests (header only).
#include <QColor>

#include <algorithm>
#include <cmath>

namespace testing_support {

inline double contrastRatio(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace testing_support
