#pragma once

#include <filesystem>
#include <string>

namespace MVAtomicFile {

// Writes bytes through a temporary file in the folder of `path` (written and flushed to disk),
// which then takes the name `path` as MVFilePlacement::place() gives it: with `replace` over a
// file of that name (which holds either its old or its new bytes, never a mix); without, never
// over one, the bytes going to the first free "<stem> (2)<ext>", ... instead (`path` then says
// where). The folder is flushed too, so the name survives a power cut. A failure leaves every
// file as it was and no temporary file. The folder is not created. Returns "" on success, else
// the reason ("No space left on device", "Permission denied", ...). Safe from any thread.
std::string write(std::filesystem::path& path, const std::string& bytes, bool replace);

}  // namespace MVAtomicFile
