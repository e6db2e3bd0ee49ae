#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// What the card-import sheet proposes and where it copies to. Stateless; safe from any thread.
namespace MVCardImportNames {

// The card's recording folder: on the LAST of the volumes, its "media" folder, else its "VIDEO"
// folder; none when there is no volume or the last has neither.
std::optional<std::filesystem::path> sourceFolderOnVolumes(
    const std::vector<std::filesystem::path>& volumes);

// The first session file below a folder: a walk in name order at every depth that skips hidden
// entries (name starting with ".") and goes on past unreadable ones, taking the first regular
// file whose extension reads "GLD" in upper case. None for a missing folder or no such file.
std::optional<std::filesystem::path> firstSessionFile(const std::filesystem::path& folder);

// "yyyy-MM-dd" of a moment, in local time.
std::string dateText(std::chrono::system_clock::time_point moment);

// One path part from a name typed by the user or taken from a circuit database: blanks at both
// ends dropped, "/", "\" and control characters replaced by "_"; none when nothing is left or
// the result is "." or "..".
std::optional<std::string> safePathPart(const std::string& name);

// destination / directory / session, each name made safe; none when a name is refused or the
// result would not lie inside the destination.
std::optional<std::filesystem::path> finalFolder(const std::filesystem::path& destination,
                                                 const std::string& directory,
                                                 const std::string& session);

}  // namespace MVCardImportNames
