#include "platform/Folders.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::folders {

namespace fs = std::filesystem;

namespace {
fs::path fromEnv(const char* name, const fs::path& fallback) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v == '/') return fs::path(v);
    return fallback;
}

// Reads XDG_<NAME>_DIR from user-dirs.dirs ("$HOME/..." or absolute).
std::optional<fs::path> userDir(const std::string& name) {
    std::ifstream in(configHome() / "user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_" + name + "_DIR=";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.rfind("$HOME", 0) == 0) return home() / fs::path(value.substr(5)).relative_path();
        if (!value.empty() && value.front() == '/') return fs::path(value);
    }
    return std::nullopt;
}
}  // namespace

fs::path home() {
    const char* h = std::getenv("HOME");
    return (h != nullptr && *h != '\0') ? fs::path(h) : fs::temp_directory_path();
}
fs::path configHome() {
    return fromEnv("XDG_CONFIG_HOME", home() / ".config");
}
fs::path dataHome() {
    return fromEnv("XDG_DATA_HOME", home() / ".local/share");
}
fs::path cacheHome() {
    return fromEnv("XDG_CACHE_HOME", home() / ".cache");
}

fs::path desktop() {
    if (const char* v = std::getenv("XDG_DESKTOP_DIR"); v != nullptr && *v == '/') return v;
    return userDir("DESKTOP").value_or(home() / "Desktop");
}
fs::path documents() {
    if (const char* v = std::getenv("XDG_DOCUMENTS_DIR"); v != nullptr && *v == '/') return v;
    return userDir("DOCUMENTS").value_or(home() / "Documents");
}

std::optional<fs::path> runtimeHome() {
    const char* v = std::getenv("XDG_RUNTIME_DIR");
    if (v != nullptr && *v == '/') return fs::path(v);
    return std::nullopt;
}

namespace {
std::mutex gResourcesMutex;
std::optional<fs::path> gResources;

fs::path besideExecutable() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error) return fs::path("share") / "gridlark";
    return (executable.parent_path().parent_path() / "share" / "gridlark").lexically_normal();
}
}  // namespace

fs::path programResources() {
    std::lock_guard lock(gResourcesMutex);
    if (!gResources) gResources = besideExecutable();
    return *gResources;
}

void setProgramResources(fs::path folder) {
    std::lock_guard lock(gResourcesMutex);
    gResources = std::move(folder);
}

fs::path appConfig() {
    return configHome() / "Gridlark";
}
fs::path appCache() {
    return cacheHome() / "Gridlark";
}

int renameWithoutReplacing(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    const int failure = errno;
    if (failure != EINVAL && failure != ENOSYS) return failure;
    // A hard link cannot replace either.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    if (::unlink(from.c_str()) == 0) return 0;
    const int stuck = errno;
    ::unlink(to.c_str());
    return stuck;
}

bool writeFileAtomically(const fs::path& path, const std::string& bytes, bool flushToDisk) {
    std::error_code ec;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
    std::string tmpl = path.string() + ".tmp-XXXXXX";
    int fd = mkstemp(tmpl.data());
    if (fd < 0) return false;
    size_t written = 0;
    while (written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    bool ok = written == bytes.size() && (!flushToDisk || ::fsync(fd) == 0);
    ::fchmod(fd, 0644);
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = std::rename(tmpl.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(tmpl.c_str());
    return ok;
}

std::optional<std::string> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return s.str();
}

}  // namespace platform::folders
