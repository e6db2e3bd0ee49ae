#include "ZVCrashReporter/Source/ZVCrashReportFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path fromEnvironment(const char* variable, const char* underHome) {
    if (const char* value = std::getenv(variable); value != nullptr && *value != '\0') return value;
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr && *home != '\0' ? home : "/tmp") / underHome;
}

// Moves one entry, or copies it and removes the original where a rename cannot.
bool moveEntry(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec) return true;
    fs::copy(from, to, fs::copy_options::recursive, ec);
    if (ec) return false;
    fs::remove_all(from, ec);
    return !ec;
}

}  // namespace

namespace ZVCrashReportFolder {

fs::path defaultBase() {
    return fromEnvironment("XDG_DATA_HOME", ".local/share");
}

fs::path legacyBase() {
    return fromEnvironment("XDG_CACHE_HOME", ".cache");
}

void adoptLegacyFolder(const fs::path& legacy, const fs::path& folder) {
    std::error_code ec;
    if (legacy == folder || !fs::is_directory(legacy, ec)) return;
    fs::create_directories(folder, ec);
    if (ec) return;
    bool moved = true;
    for (const auto& entry : fs::directory_iterator(legacy, ec)) {
        const fs::path target = folder / entry.path().filename();
        std::error_code probe;
        if (!fs::exists(target, probe)) {
            moved &= moveEntry(entry.path(), target);
        } else if (entry.is_directory(probe) && fs::is_directory(target, probe)) {
            // The old queue's reports join the new queue one by one.
            for (const auto& inner : fs::directory_iterator(entry.path(), probe)) {
                const fs::path innerTarget = target / inner.path().filename();
                std::error_code present;
                moved &= !fs::exists(innerTarget, present) && moveEntry(inner, innerTarget);
            }
        } else {
            moved = false;  // both hold a report of that name: the old one stays where it is
        }
    }
    if (ec || !moved) return;
    fs::remove_all(legacy, ec);
}

fs::path defaultFallbackBase() {
    return fs::path("/var/tmp") / ("gridlark-" + std::to_string(::geteuid()));
}

bool makePrivateFolder(const fs::path& folder, int& error) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        error = ec.value();
        return false;
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        error = errno;
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        error = EPERM;
        return false;
    }
    fs::permissions(folder, fs::perms(0700), ec);
    return true;
}

int reserveFile(const fs::path& path, size_t size) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return -1;
    static const char zeros[65536] = {};
    bool ok = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    for (size_t done = 0; ok && done < size;) {
        const ssize_t n = ::write(fd, zeros, std::min(sizeof zeros, size - done));
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    // Written, so the file system counts the blocks as the file's (no flush needed for that): a
    // crash on a full disk finds them there.
    if (!ok) {
        ::close(fd);
        ::unlink(path.c_str());
        return -1;
    }
    return fd;
}

void removeAbandonedReserves(const fs::path& folder) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        const std::string suffix = ".reserve";
        if (name.rfind(".live_report.", 0) != 0 || name.size() < suffix.size() ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        // Free: its process ended without a crash (a crash renames it to its slot).
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(entry.path().c_str());
        ::close(fd);
    }
}

std::vector<fs::path> pendingReports(const std::vector<fs::path>& folders,
                                     const std::string& takenName) {
    std::vector<fs::path> taken;
    std::vector<std::pair<fs::file_time_type, fs::path>> slots;
    for (const fs::path& folder : folders) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            std::error_code probe;
            if (!entry.is_regular_file(probe)) continue;
            const std::string name = entry.path().filename().string();
            const std::string suffix = ".zvcrash";
            if (name == takenName) {
                taken.push_back(entry.path());
            } else if (name.rfind("live_report.", 0) == 0 && name.size() >= suffix.size() &&
                       name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
                slots.emplace_back(entry.last_write_time(probe), entry.path());
            }
        }
    }
    std::sort(slots.begin(), slots.end());
    for (auto& slot : slots) taken.push_back(std::move(slot.second));
    return taken;
}

}  // namespace ZVCrashReportFolder
