#pragma once

#include <cstdlib>
#include <filesystem>

// Points the XDG config, data and cache folders at subfolders of `home`, so a tool's settings,
// stores and crash reports stay there. Call before anything reads those folders.
inline void useToolHome(const std::filesystem::path& home) {
    const std::filesystem::path root = std::filesystem::absolute(home);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
}
