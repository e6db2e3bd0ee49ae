#include "views/MVFFmpeg.h"

#include <cstdlib>

#include <unistd.h>

namespace MVFFmpeg {
namespace {

bool isExecutableFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<std::filesystem::path> findInPath(const std::string& name,
                                                const std::string& searchPath) {
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        std::size_t end = searchPath.find(':', start);
        if (end == std::string::npos) end = searchPath.size();
        const std::string folder = searchPath.substr(start, end - start);
        // An empty entry means the working folder, which a desktop program never searches.
        if (!folder.empty()) {
            const std::filesystem::path candidate = std::filesystem::path(folder) / name;
            if (isExecutableFile(candidate)) return candidate;
        }
        start = end + 1;
    }
    return std::nullopt;
}

Location locate(const platform::UserDefaults& defaults,
                const std::optional<std::string>& searchPath) {
    Location location;
    const auto setting = defaults.stringForKey(kPathDefaultsKey);
    if (setting && !setting->empty()) {
        if (isExecutableFile(*setting)) {
            location.executable = std::filesystem::path(*setting);
        } else {
            location.problem =
                "The ffmpeg set in the settings (" + *setting + ") is not an executable file.";
        }
        return location;
    }
    const char* environment = std::getenv("PATH");
    const std::string path = searchPath ? *searchPath : (environment ? environment : "");
    location.executable = findInPath("ffmpeg", path);
    if (!location.executable) {
        location.problem =
            "ffmpeg was not found: install it (Debian package \"ffmpeg\") or set "
            "its path in the settings.";
    }
    return location;
}

}  // namespace MVFFmpeg
