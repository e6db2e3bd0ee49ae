#pragma once

#include "platform/UserDefaults.h"

#include <filesystem>
#include <optional>
#include <string>

// Where the ffmpeg executable is. The user-defaults entry "FFmpegPath" (a text), when set and not
// empty, names it and wins; otherwise "ffmpeg" is looked up in the folders of PATH. The video
// export and the thumbnail generator both find it here, and both run it with an argument vector,
// never through a shell. Safe from any thread.
namespace MVFFmpeg {

inline constexpr char kPathDefaultsKey[] = "FFmpegPath";

struct Location {
    std::optional<std::filesystem::path> executable;
    std::string problem;  // why there is none, for the user ("" when found)
};

// `searchPath`: the PATH text to search (the environment's when none is given).
Location locate(const platform::UserDefaults& defaults = platform::UserDefaults::standard(),
                const std::optional<std::string>& searchPath = std::nullopt);

// The first executable regular file named `name` in the colon-separated folders of searchPath.
std::optional<std::filesystem::path> findInPath(const std::string& name,
                                                const std::string& searchPath);

}  // namespace MVFFmpeg
