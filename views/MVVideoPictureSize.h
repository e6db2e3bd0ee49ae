#pragma once

#include <QSize>

#include <algorithm>
#include <cstdint>

// The size a video picture is shown at: its own width and height, turned upright for a stream
// shown rotated by 90 or 270 degrees (phones write portrait video so), and scaled down, its shape
// kept, to at most `maxWidth` wide. The paused picture (the still decoder's) and the playing one
// (the engine's) both take this size, so a frame looks the same either way. Pure; any thread.
namespace MVVideoPictureSize {

// `rotation`: the clockwise turn the stream is shown with, 0, 90, 180 or 270 degrees.
inline QSize shown(QSize own, int rotation, int maxWidth) {
    if (own.width() <= 0 || own.height() <= 0) return {};
    if (rotation == 90 || rotation == 270) own.transpose();
    if (maxWidth > 0 && own.width() > maxWidth) {
        own =
            QSize(maxWidth, std::max(1, int(std::int64_t(own.height()) * maxWidth / own.width())));
    }
    return own;
}

}  // namespace MVVideoPictureSize
