#include "session/MVHelperMotion.h"

#include "platform/Folders.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <system_error>
#include <vector>

namespace MVHelper {

namespace fs = std::filesystem;

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kStandardGravity = 9.80665;
constexpr double kKilometresPerHourPerMetrePerSecond = 3.6;
constexpr double kLateralCapG = 30.0;
constexpr double kLongitudinalCapMetresPerSecondSquared = 30.0;

// Whole part of x toward zero, or nullopt when x is not finite or beyond a 64-bit integer.
std::optional<std::int64_t> truncated(double x) {
    // 2^63 is exactly representable; every double below it in magnitude fits.
    constexpr double kLimit = 9223372036854775808.0;
    if (!std::isfinite(x) || x >= kLimit || x <= -kLimit) return std::nullopt;
    return static_cast<std::int64_t>(x);
}

void printError(const std::error_code& ec, const fs::path& path) {
    std::printf("%s: %s\n", path.c_str(), ec.message().c_str());
    std::fflush(stdout);
}

std::string asciiLowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    });
    return text;
}

// Visits folder and its subfolders depth first, the entries of each folder in name order, and
// returns the first entry that matches. Symbolic links to folders are not followed; folders that
// cannot be read are skipped.
std::optional<fs::path> firstMatch(const fs::path& folder,
                                   const std::function<bool(const fs::path&)>& matches,
                                   std::error_code& listError) {
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator
             it(folder, fs::directory_options::skip_permission_denied, listError),
         end;
         !listError && it != end; it.increment(listError)) {
        entries.push_back(*it);
    }
    if (listError) return std::nullopt;
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.path().filename() < b.path().filename();
    });
    for (const auto& entry : entries) {
        if (matches(entry.path())) return entry.path();
        std::error_code ec;
        if (entry.is_directory(ec) && !entry.is_symlink(ec)) {
            std::error_code subError;
            if (auto found = firstMatch(entry.path(), matches, subError)) return found;
        }
    }
    return std::nullopt;
}

std::optional<fs::path> findInTrackmapDatabase(
    const char* subpath, const std::function<bool(const fs::path&)>& matches) {
    const fs::path appSupport = platform::folders::dataHome();
    if (appSupport.empty()) return std::nullopt;
    const fs::path folder((appSupport / "Morvane").string() + subpath);
    std::error_code ec;
    const fs::path resolved = fs::canonical(folder, ec);
    if (ec) return std::nullopt;
    std::error_code listError;
    return firstMatch(resolved, matches, listError);
}

}  // namespace

double lateralAcceleration(double heading, double headingOld, double speed, double sampleRate) {
    double change = heading - headingOld;
    if (change > 300) {
        change = (heading - 360) - headingOld;
    } else if (change < -300) {
        change = (heading + 360) - headingOld;
    }
    const double turnRate = change * sampleRate * kPi / 180;
    const double a = turnRate * (speed / -kKilometresPerHourPerMetrePerSecond) / kStandardGravity;
    return std::fabs(a) > kLateralCapG ? 0 : a;
}

double longitudinalAcceleration(double speed, double speedOld, double sampleRate) {
    const double a = (speed - speedOld) / kKilometresPerHourPerMetrePerSecond * sampleRate;
    if (std::fabs(a) > kLongitudinalCapMetresPerSecondSquared) return 0;
    return a / kStandardGravity;
}

double calculateDuration(double timestampStart, double timestampEnd) {
    return timestampEnd - timestampStart;
}

std::string convertSecondsToTimeString(double seconds) {
    const auto whole = truncated(seconds);
    if (!whole) return {};
    const std::int64_t s = *whole;
    const double fraction = seconds - static_cast<double>(s);
    const std::int64_t hours = s / 3600;
    const std::int64_t minutes = s / 60 - hours * 60;
    char secondsText[64];
    std::snprintf(secondsText, sizeof secondsText, "%3.2f", static_cast<double>(s % 60) + fraction);
    char text[160];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%lldh %lldm %ss", static_cast<long long>(hours),
                      static_cast<long long>(minutes), secondsText);
    } else if (minutes < 1) {
        std::snprintf(text, sizeof text, "%ss", secondsText);
    } else {
        std::snprintf(text, sizeof text, "%lldm %ss", static_cast<long long>(minutes), secondsText);
    }
    return text;
}

std::string convertSecondsToTimeString2(double seconds) {
    const auto hundredths = truncated(seconds * 100 + 0.5);
    if (!hundredths) return {};
    const std::int64_t t = *hundredths;
    const auto minutes = static_cast<int>(t / 6000 - (t / 360000) * 60);
    const auto secs = static_cast<int>(t / 100 - (t / 6000) * 60);
    const auto hund = static_cast<int>(t % 100);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d.%02d", minutes, secs, hund);
    return text;
}

fs::path tempararyFolderURL() {
    const fs::path folder = platform::folders::appCache() / kScratchFolderName;
    std::error_code ec;
    if (fs::symlink_status(folder, ec).type() == fs::file_type::not_found) {
        ec.clear();
        if (fs::create_directories(folder, ec)) {
            fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
        }
        if (ec) printError(ec, folder);
    }
    return folder;
}

void clearTempararyFolderURL() {
    const fs::path folder = tempararyFolderURL();
    // Only the program's own folder is ever emptied: an absolute path ending in our own name,
    // a real folder (never a link that could lead elsewhere), and never the home or root folder.
    if (!folder.is_absolute() || folder.filename() != kScratchFolderName) return;
    std::error_code ec;
    if (fs::symlink_status(folder, ec).type() != fs::file_type::directory) {
        if (!ec) ec = std::make_error_code(std::errc::not_a_directory);
        printError(ec, folder);
        return;
    }
    for (const fs::path& forbidden : {fs::path("/"), platform::folders::home()}) {
        std::error_code eq;
        if (fs::equivalent(folder, forbidden, eq)) return;
    }

    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        entries.push_back(it->path());
    }
    if (ec) {
        printError(ec, folder);
        return;
    }
    for (const fs::path& entry : entries) {
        std::error_code removeError;
        // remove_all removes a link itself, never what it points to.
        fs::remove_all(entry, removeError);
        if (removeError) printError(removeError, entry);
    }
}

std::optional<fs::path> getImageFileTrackMapFilesFromAppSupportDirectoryWithFileName(
    const std::string& name) {
    return findInTrackmapDatabase(
        "/Trackmap Database/DataBaseTrackmapFiles/", [&name](const fs::path& item) {
            return item.extension() == ".PNG" &&
                   item.filename().string().find(name) != std::string::npos;
        });
}

std::optional<fs::path> getCIRTrackMapFilesFromAppSupportDirectoryWithFileName(
    const std::string& name) {
    return findInTrackmapDatabase("/Trackmap Database/CIR Files/", [&name](const fs::path& item) {
        return asciiLowercased(item.extension().string()) == ".cir" &&
               asciiLowercased(item.filename().string()).find(name) != std::string::npos;
    });
}

}  // namespace MVHelper
