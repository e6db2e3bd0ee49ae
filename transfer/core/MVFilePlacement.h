#pragma once

#include <filesystem>
#include <string>

// How an export gives its finished file the name the user sees: never over a file of that name
// unless the user said Replace. Safe from any thread.
namespace MVFilePlacement {

// True when something (a file, a folder, a link, also a dangling one) has the name.
bool taken(const std::filesystem::path& path);
// The first of "<stem> (2)<ext>", "<stem> (3)<ext>", ... beside `path` that is not taken().
std::filesystem::path keepBothName(const std::filesystem::path& path);
// Gives the file `from` the name `to` (same folder or file system). With `replace` it takes the
// place of a file of that name; without, it never does, also not of one that appears meanwhile:
// it takes keepBothName() instead, and `to` then says where it went. Returns "" on success, else
// the reason.
std::string place(const std::filesystem::path& from, std::filesystem::path& to, bool replace);
// Flushes a folder's entries (new names, removed names) to disk ("": the current folder): 0, or
// the errno.
int flushFolder(const std::filesystem::path& folder);

}  // namespace MVFilePlacement
