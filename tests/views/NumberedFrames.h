#pragma once

#include "tests/support/TestClips.h"

#include <QImage>

namespace testing_support {

// The number a picture of a numbered clip (makeNumberedClip) shows, at any scale: the white and
// black columns read across its middle line. -1 for a null picture.
inline int readFrameNumber(const QImage& picture) {
    if (picture.isNull()) return -1;
    int value = 0;
    for (int bit = 0; bit < kNumberBits; ++bit) {
        const int x = (2 * bit + 1) * picture.width() / (2 * kNumberBits);
        if (qGray(picture.pixel(x, picture.height() / 2)) > 128) value |= 1 << bit;
    }
    return value;
}

}  // namespace testing_support
