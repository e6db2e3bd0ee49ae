#pragma once

#include "tests/support/TestClips.h"

#include <QImage>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

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

// A 1920x1080 H.264 clip as heavy to decode as a camera's: a moving, detailed picture with grain
// on every frame (about 50 Mbit/s), with the frame number's columns in a band across its middle
// (readFrameNumber reads them). Key frames every `keyFrameInterval` frames, three B-frames.
inline bool makeCameraLikeNumberedClip(const std::filesystem::path& path, int framesPerSecond,
                                       double seconds, int keyFrameInterval) {
    char timing[64];
    std::snprintf(timing, sizeof timing, ":rate=%d:duration=%g", framesPerSecond, seconds);
    const std::string bits = std::to_string(kNumberBits);
    const std::string graph =
        "[0]noise=alls=12:allf=t[picture];[1]geq=lum='255*bitand(floor(N/pow(2,floor(X*" + bits +
        "/W))),1)':cb=128:cr=128[band];[picture][band]overlay=0:(H-h)/2";
    return runFfmpeg({"-f",
                      "lavfi",
                      "-i",
                      std::string("testsrc2=size=1920x1080") + timing,
                      "-f",
                      "lavfi",
                      "-i",
                      std::string("color=black:size=1920x64") + timing,
                      "-filter_complex",
                      graph,
                      "-c:v",
                      "libx264",
                      "-preset",
                      "veryfast",
                      "-g",
                      std::to_string(keyFrameInterval),
                      "-bf",
                      "3",
                      "-pix_fmt",
                      "yuv420p",
                      "-an"},
                     path, std::chrono::minutes(5));
}

}  // namespace testing_support
