#include "tests/support/FFmpegClips.h"

#include "tests/support/TestClips.h"

#include "platform/ChildProcess.h"

#include <charconv>
#include <cstdlib>

#include <unistd.h>

namespace testing_support {

bool FFmpegClips::available() {
    // Looked up in PATH without starting them (each start costs time).
    const char* path = std::getenv("PATH");
    const auto found = [path](const std::string& name) {
        std::string folders = path ? path : "";
        std::size_t start = 0;
        while (start <= folders.size()) {
            std::size_t end = folders.find(':', start);
            if (end == std::string::npos) end = folders.size();
            const std::filesystem::path candidate =
                std::filesystem::path(folders.substr(start, end - start)) / name;
            if (end > start && ::access(candidate.c_str(), X_OK) == 0) return true;
            start = end + 1;
        }
        return false;
    };
    return found("ffmpeg") && found("ffprobe");
}

bool FFmpegClips::make(const std::filesystem::path& file, int seconds, int fps, int gop) {
    ClipOptions options;
    options.seconds = seconds;
    options.framesPerSecond = fps;
    options.keyFrameInterval = gop;
    return makeVideoClip(file, options) && std::filesystem::is_regular_file(file);
}

std::optional<double> FFmpegClips::duration(const std::filesystem::path& file) {
    platform::ProcessOptions options;
    options.timeout = std::chrono::seconds(30);
    const auto result =
        platform::runProcess({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                              "default=noprint_wrappers=1:nokey=1", file.string()},
                             options);
    if (!result.succeeded()) return std::nullopt;
    double value = 0;
    const std::string& out = result.standardOutput;
    const auto parsed = std::from_chars(out.data(), out.data() + out.size(), value);
    if (parsed.ec != std::errc()) return std::nullopt;
    return value;
}

}  // namespace testing_support
