#include "transfer/core/MVCardImportNames.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace fs = std::filesystem;

namespace MVCardImportNames {

std::optional<fs::path> sourceFolderOnVolumes(const std::vector<fs::path>& volumes) {
    if (volumes.empty()) return std::nullopt;
    std::error_code error;
    for (const char* name : {"media", "VIDEO"}) {
        fs::path folder = volumes.back() / name;
        if (fs::is_directory(folder, error)) return folder;
    }
    return std::nullopt;
}

namespace {

bool isHidden(const fs::path& entry) {
    std::string name = entry.filename().string();
    return !name.empty() && name.front() == '.';
}

bool isSessionFileName(const fs::path& entry) {
    std::string extension = entry.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return extension == ".GLD";
}

std::optional<fs::path> firstSessionFileIn(const fs::path& folder, int depth) {
    if (depth > 64) return std::nullopt;  // a loop of links or an absurd tree
    std::error_code error;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (!isHidden(it->path())) entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    for (const fs::path& entry : entries) {
        if (fs::is_directory(fs::symlink_status(entry, error))) {
            if (auto found = firstSessionFileIn(entry, depth + 1)) return found;
        } else if (isSessionFileName(entry) && fs::is_regular_file(entry, error)) {
            return entry;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<fs::path> firstSessionFile(const fs::path& folder) {
    std::error_code error;
    if (folder.empty() || !fs::is_directory(folder, error)) return std::nullopt;
    return firstSessionFileIn(folder, 0);
}

std::string dateText(std::chrono::system_clock::time_point moment) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

std::optional<std::string> safePathPart(const std::string& name) {
    auto isBlank = [](unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    std::size_t first = 0, last = name.size();
    while (first < last && isBlank(static_cast<unsigned char>(name[first]))) ++first;
    while (last > first && isBlank(static_cast<unsigned char>(name[last - 1]))) --last;
    std::string part = name.substr(first, last - first);
    for (char& c : part) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F) c = '_';
    }
    if (part.empty() || part == "." || part == "..") return std::nullopt;
    return part;
}

std::optional<fs::path> finalFolder(const fs::path& destination, const std::string& directory,
                                    const std::string& session) {
    auto directoryPart = safePathPart(directory);
    auto sessionPart = safePathPart(session);
    if (destination.empty() || !directoryPart || !sessionPart) return std::nullopt;
    fs::path base = destination.lexically_normal();
    fs::path result = (base / *directoryPart / *sessionPart).lexically_normal();
    fs::path relative = result.lexically_relative(base);
    if (relative.empty() || *relative.begin() == "..") return std::nullopt;
    return result;
}

}  // namespace MVCardImportNames
