#include "views/MVThumbnailFolder.h"

#include "session/MVHelperMotion.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <string>
#include <vector>

#include <signal.h>

namespace fs = std::filesystem;

namespace {

// The process id a folder name stands for, when it is one.
bool processIdOf(const std::string& name, pid_t& pid) {
    if (name.empty() || !std::all_of(name.begin(), name.end(),
                                     [](unsigned char c) { return std::isdigit(c) != 0; })) {
        return false;
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), value);
    if (error != std::errc() || end != name.data() + name.size() || value <= 0) return false;
    pid = static_cast<pid_t>(value);
    return static_cast<long long>(pid) == value;
}

}  // namespace

MVThumbnailFolder::MVThumbnailFolder(fs::path root, pid_t pid, IsAlive isAlive)
    : root_(std::move(root)),
      pid_(pid),
      isAlive_(std::move(isAlive)),
      path_(root_ / std::to_string(pid)) {
    removeLeftovers();
    std::error_code error;
    if (fs::create_directories(path_, error)) {
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::replace, error);
    }
}

bool MVThumbnailFolder::processIsAlive(pid_t pid) {
    // A process of another user still counts as running.
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

void MVThumbnailFolder::removeLeftovers() const {
    std::error_code error;
    std::vector<fs::path> dead;
    for (fs::directory_iterator it(root_, error), end; !error && it != end; it.increment(error)) {
        pid_t pid = 0;
        if (!processIdOf(it->path().filename().string(), pid) || pid == pid_) continue;
        std::error_code kind;
        if (it->symlink_status(kind).type() != fs::file_type::directory) continue;
        if (!isAlive_ || isAlive_(pid)) continue;
        dead.push_back(it->path());
    }
    for (const fs::path& folder : dead) fs::remove_all(folder, error);
}

void MVThumbnailFolder::remove() const {
    std::error_code error;
    if (fs::symlink_status(path_, error).type() != fs::file_type::directory) return;
    fs::remove_all(path_, error);
}

MVThumbnailFolder& MVThumbnailFolder::process() {
    static MVThumbnailFolder* folder =
        new MVThumbnailFolder(MVHelper::tempararyFolderURL() / "thumbnails");
    return *folder;
}
