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
    std::string filters = "geq=lum='255*bitand(floor(N/pow(2,floor(X*" +
                          std::to_string(kNumberBits) + "/W))),1)':cb=128:cr=128";
    if (o.heightMark) filters += ",drawbox=x=0:y=ih*3/4:w=iw:h=ih/30:color=white:t=fill";
    if (o.videoStartSeconds > 0) filters += ",setpts=PTS+" + number(o.videoStartSeconds) + "/TB";
    std::vector<std::string> arguments{"-f", "lavfi", "-i", source};
    if (o.videoStartSeconds > 0) {
        arguments.insert(
            arguments.end(),
            {"-f", "lavfi", "-i", "sine=duration=" + number(o.seconds + o.videoStartSeconds)});
    }
    arguments.insert(arguments.end(),
                     {"-vf", filters, "-c:v", o.codec, "-g", std::to_string(o.keyFrameInterval),
                      "-bf", std::to_string(o.bFrames)});
    if (o.codec == "mpeg4") arguments.insert(arguments.end(), {"-q:v", "3"});
    arguments.insert(arguments.end(), {"-pix_fmt", "yuv420p"});
    if (o.videoStartSeconds > 0) {
        arguments.insert(arguments.end(), {"-c:a", "aac"});
    } else {
        arguments.push_back("-an");
    }
    if (!o.editList) arguments.insert(arguments.end(), {"-use_editlist", "0"});
    if (o.indexFirst) arguments.insert(arguments.end(), {"-movflags", "+faststart"});
    if (o.rotation == 0) return runFfmpeg(arguments, path);
    // The display matrix is the container's: written by copying the stream into a file of its own.
    // (This ffmpeg reads the "rotate" value as a counterclockwise turn.)
    const std::filesystem::path unturned = path.string() + ".unturned" + path.extension().string();
    const bool made = runFfmpeg(arguments, unturned) &&
                      runFfmpeg({"-i", unturned.string(), "-c", "copy", "-metadata:s:v:0",
                                 "rotate=" + std::to_string((360 - o.rotation % 360) % 360)},
                                path);
    std::error_code ignored;
    std::filesystem::remove(unturned, ignored);
    return made;
}

bool cutShort(const std::filesystem::path& path, double fraction) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error) return false;
    std::filesystem::resize_file(path, std::uintmax_t(double(size) * fraction), error);
    return !error;
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
