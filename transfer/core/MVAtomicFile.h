#pragma once

#include <filesystem>
#include <string>

namespace MVAtomicFile {

// Writes bytes to `path` through a temporary file in the same folder (written, flushed to disk,
// then renamed over the target), so that the target holds either its old or its new bytes and a
// failure leaves the old file untouched. The folder is not created. Returns "" on success, else
// the reason ("No space left on device", "Permission denied", ...). Safe from any thread.
std::string write(const std::filesystem::path& path, const std::string& bytes);

}  // namespace MVAtomicFile
