#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

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

// The fallback folders' base: /var/tmp/gridlark-<uid> (kept across restarts, usually not the
// home's file system).
std::filesystem::path defaultFallbackBase();
// Makes `folder` and its missing parents, 0700, and checks it is a folder of this user (not a
// link, not another user's). False, with the errno in `error`, otherwise.
bool makePrivateFolder(const std::filesystem::path& folder, int& error);

// A new file of `size` zero bytes at `path` (0600), written out so its space is taken, held open
// for reading and writing and locked (flock, exclusive) for the life of the process: -1 when it
// cannot be made whole (nothing is left behind then).
int reserveFile(const std::filesystem::path& path, size_t size);
// Removes the reserved files (".live_report.*.reserve") in `folder` whose process is gone, as
// told by their lock being free.
void removeAbandonedReserves(const std::filesystem::path& folder);
// Pending reports in `folders`: the taken ones (named `takenName`) first, then every
// "live_report*.zvcrash", oldest first.
std::vector<std::filesystem::path> pendingReports(const std::vector<std::filesystem::path>& folders,
                                                  const std::string& takenName);

}  // namespace ZVCrashReportFolder
