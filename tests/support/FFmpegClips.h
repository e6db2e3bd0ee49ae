#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace testing_support {

// Small video clips made with the ffmpeg command line (test pattern, MPEG-4 part 2, no sound),
// for tests of the video cut and thumbnails. Both return none when ffmpeg / ffprobe is missing
// or fails, so a test can skip.
struct FFmpegClips {
    // A clip of `seconds` at `fps` frames per second, 160x120, a key frame every `gop` frames
    // (makeVideoClip of TestClips.h with these options).
    static bool make(const std::filesystem::path& file, int seconds, int fps = 25, int gop = 25);
    // The clip's duration in seconds as ffprobe reads it.
    static std::optional<double> duration(const std::filesystem::path& file);
    // Both are in PATH.
    static bool available();
};

}  // namespace testing_support
