#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

// Short video files for the video tests, made with the `ffmpeg` command line from its built-in
// test patterns (a moving picture with a frame counter), so every frame differs from the others.
// Key frames come often (every `keyFrameInterval` frames), so seeks land exactly.
struct ClipOptions {
    double seconds = 6;
    int width = 160;
    int height = 120;
    int framesPerSecond = 10;
    int keyFrameInterval = 5;
    // An ffmpeg source: "testsrc", "testsrc2", "smptebars", "rgbtestsrc", ...
    std::string pattern = "testsrc";
    // Numbered clips only: "mpeg4", or "libx264" with `bFrames` reordered frames.
    std::string codec = "mpeg4";
    int bFrames = 0;
    // Numbered clips only, the ways real files come:
    // shown turned clockwise by 90, 180 or 270 degrees (a display matrix, as phones write
    // portrait video);
    int rotation = 0;
    // the video starting this many seconds into the file, with sound from the file's start;
    double videoStartSeconds = 0;
    // no edit list (reordered frames then start after the file's time 0);
    bool editList = true;
    // the index at the file's start (so that a file cut short keeps it);
    bool indexFirst = false;
    // a white band across the picture from 3/4 of its height down, 1/30 of it high, for
    // checking a picture's shape.
    bool heightMark = false;
};

// Frames that carry their own number: bit b of the frame number is a white block (else black)
// in column b of kNumberBits equal columns across the picture (the GUI tests read it back).
constexpr int kNumberBits = 10;
bool makeNumberedClip(const std::filesystem::path& path, const ClipOptions& options = {});
// Keeps the first `fraction` of the file's bytes, as an interrupted copy leaves it.
bool cutShort(const std::filesystem::path& path, double fraction);

// Runs `ffmpeg -nostdin -hide_banner -loglevel error -y ARGUMENTS... OUT`. False (with
// ffmpeg's complaint on stderr, and no file left at `out`) when ffmpeg is missing or failed.
bool runFfmpeg(std::vector<std::string> arguments, const std::filesystem::path& out,
               std::chrono::seconds timeout = std::chrono::seconds(120));

// Each returns false (and leaves no usable file) when ffmpeg is missing or failed.
bool makeVideoClip(const std::filesystem::path& path, const ClipOptions& options = {});
// A clip with a sine tone and no picture.
bool makeAudioOnlyClip(const std::filesystem::path& path, double seconds = 3);
// A file of zero bytes under a video name.
bool makeEmptyClip(const std::filesystem::path& path);

}  // namespace testing_support
