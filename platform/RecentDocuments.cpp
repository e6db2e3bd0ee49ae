#include "platform/RecentDocuments.h"

#include <algorithm>

namespace platform {

namespace {

std::vector<std::filesystem::path> readList(const UserDefaults& defaults) {
    std::vector<std::filesystem::path> paths;
    const auto value = defaults.objectForKey(RecentDocuments::kDefaultsKey);
    if (!value || !value->is_array()) return paths;
    for (const auto& entry : *value) {
        if (!entry.is_string()) continue;
        const std::string text = entry.get<std::string>();
        if (text.empty()) continue;
        paths.emplace_back(text);
        if (paths.size() == RecentDocuments::kMaximumCount) break;
    }
    return paths;
}

}  // namespace

RecentDocuments& RecentDocuments::shared() {
    static auto* list = new RecentDocuments(UserDefaults::standard());
    return *list;
}

RecentDocuments::RecentDocuments(UserDefaults& defaults) : defaults_(defaults) {}

void RecentDocuments::noteNewRecentDocumentURL(const std::filesystem::path& path) {
    if (path.empty()) return;
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec) return;
    absolute = absolute.lexically_normal();

    std::lock_guard lock(mutex_);
    auto paths = readList(defaults_);
    paths.erase(std::remove(paths.begin(), paths.end(), absolute), paths.end());
    paths.insert(paths.begin(), absolute);
    if (paths.size() > kMaximumCount) paths.resize(kMaximumCount);

    UserDefaults::Value stored = UserDefaults::Value::array();
    for (const auto& p : paths) stored.push_back(p.string());
    defaults_.setObject(kDefaultsKey, std::move(stored));
}

std::vector<std::filesystem::path> RecentDocuments::recentDocumentURLs() const {
    std::lock_guard lock(mutex_);
    return readList(defaults_);
}

void RecentDocuments::clearRecentDocuments() {
    std::lock_guard lock(mutex_);
    defaults_.removeObjectForKey(kDefaultsKey);
}

}  // namespace platform
