#include "ZVCrashReporter/Source/ZVCrashReportFolder.h"

#include <cstdlib>

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

}  // namespace ZVCrashReportFolder
