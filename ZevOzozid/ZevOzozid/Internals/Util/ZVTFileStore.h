#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSerializableObject.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The SDK's own folder, $XDG_DATA_HOME/<application id>/dev.gridlark.zevozozid, and files below
// it reached by relative path components. A component that is absolute or holds ".." is
// refused (one error line, nothing touched). The "locked" operations share one process-wide
// lock; all are safe from any thread.
namespace ZVTUtility {

inline const std::string kZVTSdkDirectoryName = "dev.gridlark.zevozozid";

// Computed (and created, mode 0700, tightened when an earlier version left it wider) once per
// process.
std::filesystem::path zevOzozidDirectoryURL();
// Forgets the folder so the next call computes it again; for tests that move XDG_DATA_HOME.
void resetZevOzozidDirectory();

std::optional<std::filesystem::path> fullURLForPathComponent(
    const std::optional<std::string>& component);
bool fileExistsForPathComponent(const std::optional<std::string>& component);
// Locked. Writes unless the file exists and forceOverwrite is false; the file's path or nothing.
std::optional<std::filesystem::path> createFileAtPathComponent(
    const std::optional<std::string>& component, const std::optional<ZVTBytes>& data,
    bool atomically, bool forceOverwrite);
std::optional<ZVTBytes> loadDataForPathComponent(const std::optional<std::string>& component);
std::optional<std::filesystem::path> createDirectoryForPathComponent(
    const std::optional<std::string>& component);
std::optional<std::vector<std::filesystem::path>> contentsOfDirectory(
    const std::optional<std::string>& component);
bool deleteItemForPathComponent(const std::optional<std::string>& component);
bool deleteFileAtURL(const std::optional<std::filesystem::path>& url);
bool createFileAtPath(const std::filesystem::path& path, const ZVTBytes& contents);
bool createDirectoryAtURL(const std::optional<std::filesystem::path>& url);
// Nothing here is backed up by the system, so this only answers true.
bool disableBackupForDirectoryURL(const std::optional<std::filesystem::path>& url);

}  // namespace ZVTUtility
