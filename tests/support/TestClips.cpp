#include "tests/support/TestClips.h"

#include "platform/ChildProcess.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace testing_support {

namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

bool runFfmpeg(std::vector<std::string> arguments, const std::filesystem::path& out,
               std::chrono::seconds timeout) {
    std::vector<std::string> argv{"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    argv.push_back(out.string());
    platform::ProcessOptions options;
    options.timeout = timeout;
    const platform::ProcessResult result = platform::runProcess(argv, options);
    if (!result.succeeded()) {
        std::fprintf(stderr, "ffmpeg failed for %s: %s%s\n", out.c_str(), result.error.c_str(),
                     result.standardError.c_str());
        std::error_code ignored;
        std::filesystem::remove(out, ignored);
        return false;
    }
    return true;
}

bool makeVideoClip(const std::filesystem::path& path, const ClipOptions& o) {
    const std::string source =
        o.pattern + "=size=" + std::to_string(o.width) + "x" + std::to_string(o.height) +
        ":rate=" + std::to_string(o.framesPerSecond) + ":duration=" + number(o.seconds);
    return runFfmpeg({"-f", "lavfi", "-i", source, "-c:v", "mpeg4", "-q:v", "4", "-g",
                      std::to_string(o.keyFrameInterval), "-pix_fmt", "yuv420p", "-an"},
                     path);
}

bool makeNumberedClip(const std::filesystem::path& path, const ClipOptions& o) {
    const std::string source =
        "color=black:size=" + std::to_string(o.width) + "x" + std::to_string(o.height) +
        ":rate=" + std::to_string(o.framesPerSecond) + ":duration=" + number(o.seconds);
    const std::string blocks = "geq=lum='255*bitand(floor(N/pow(2,floor(X*" +
                               std::to_string(kNumberBits) + "/W))),1)':cb=128:cr=128";
    std::vector<std::string> arguments{"-f",   "lavfi",
                                       "-i",   source,
                                       "-vf",  blocks,
                                       "-c:v", o.codec,
                                       "-g",   std::to_string(o.keyFrameInterval),
                                       "-bf",  std::to_string(o.bFrames)};
    if (o.codec == "mpeg4") arguments.insert(arguments.end(), {"-q:v", "3"});
    arguments.insert(arguments.end(), {"-pix_fmt", "yuv420p", "-an"});
    return runFfmpeg(arguments, path);
}

bool makeAudioOnlyClip(const std::filesystem::path& path, double seconds) {
    return runFfmpeg({"-f", "lavfi", "-i", "sine=frequency=440:duration=" + number(seconds), "-c:a",
                      "aac", "-vn"},
                     path);
}

bool makeEmptyClip(const std::filesystem::path& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out);
}

}  // namespace testing_support
