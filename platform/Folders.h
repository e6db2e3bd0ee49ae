#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform::folders {

// XDG base folders (the environment is read on every call, so tests can point them elsewhere).
std::filesystem::path home();
std::filesystem::path configHome();  // $XDG_CONFIG_HOME or ~/.config
std::filesystem::path dataHome();    // $XDG_DATA_HOME or ~/.local/share
std::filesystem::path cacheHome();   // $XDG_CACHE_HOME or ~/.cache
// The user's Desktop and Documents folders: $XDG_DESKTOP_DIR / $XDG_DOCUMENTS_DIR, then the
// entries of user-dirs.dirs, then ~/Desktop and ~/Documents.
std::filesystem::path desktop();
std::filesystem::path documents();

// The application's own folders under the XDG ones ("Gridlark").
std::filesystem::path appConfig();
std::filesystem::path appCache();

// The per-user runtime folder ($XDG_RUNTIME_DIR when it names an absolute path), for sockets
// and locks that live as long as the user's session; nullopt when the environment has none.
std::optional<std::filesystem::path> runtimeHome();

// The folder of the program's own read-only files (the shipped circuit database, the sample
// session): "../share/gridlark" from the running executable's folder, which is the same layout
// installed (<prefix>/bin beside <prefix>/share/gridlark) and in a build folder (<build>/app and
// <build>/tools beside <build>/share/gridlark, copied there by the build). Test executables sit
// elsewhere and name the folder with setProgramResources before their tests start.
std::filesystem::path programResources();
void setProgramResources(std::filesystem::path folder);

// Writes bytes to path atomically (temporary file in the same folder, fsync, rename). Without
// `flushToDisk` the fsync is left out: the new content survives the end of the process however it
// ends, as the kernel keeps what was written, but not a power loss before the kernel writes back.
bool writeFileAtomically(const std::filesystem::path& path, const std::string& bytes,
                         bool flushToDisk = true);
// Moves `from` to `to` unless `to` exists (also as a dangling link); never replaces it. 0, or the
// errno (EEXIST when `to` exists). Where the file system cannot rename without replacing, a hard
// link and an unlink do it.
int renameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);
// The whole file, or nullopt when it cannot be read.
std::optional<std::string> readFile(const std::filesystem::path& path);

}  // namespace platform::folders
