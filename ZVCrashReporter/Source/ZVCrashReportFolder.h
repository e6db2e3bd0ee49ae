#pragma once

#include <filesystem>

// Where pending crash reports wait for the next launch. They must outlive cache cleaners, so
// they live under the user's data folder ($XDG_DATA_HOME, else ~/.local/share), private to the
// user (folders 0700, reports 0600). Ordinary time only.
namespace ZVCrashReportFolder {

// $XDG_DATA_HOME, else ~/.local/share (/tmp/.local/share without a home).
std::filesystem::path defaultBase();
// Where earlier versions kept the reports: $XDG_CACHE_HOME, else ~/.cache.
std::filesystem::path legacyBase();
// Moves what an earlier version left in `legacy` (the report folder of one application) into
// `folder`, and removes `legacy` once all of it moved. A name taken in both stays in `legacy`
// (nothing is overwritten); copies where a rename cannot cross file systems. Errors leave the
// old folder in place, to be tried again at the next launch.
void adoptLegacyFolder(const std::filesystem::path& legacy, const std::filesystem::path& folder);

}  // namespace ZVCrashReportFolder
