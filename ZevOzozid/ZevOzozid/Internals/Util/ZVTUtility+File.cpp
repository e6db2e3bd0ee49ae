#include "platform/Folders.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <fstream>
#include <mutex>

namespace fs = std::filesystem;

namespace {

struct FileState {
    std::mutex directoryMutex;
    std::optional<fs::path> directory;
    std::recursive_mutex fileMutex;
};

FileState& state() {
    static auto* s = new FileState;
    return *s;
}

bool isSafeComponent(const std::string& component) {
    fs::path p(component);
    if (component.empty() || p.is_absolute()) return false;
    for (const auto& part : p) {
        if (part == "..") return false;
    }
    return true;
}

bool writeBytes(const fs::path& path, const ZVTBytes& bytes, bool atomically) {
    const std::string text(bytes.begin(), bytes.end());
    if (atomically) return platform::folders::writeFileAtomically(path, text);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace

namespace ZVTUtility {

fs::path zevOzozidDirectoryURL() {
    std::lock_guard lock(state().directoryMutex);
    if (!state().directory) {
        const std::string appId = ZVTApplicationInfo::currentOrFallback().identifier;
        state().directory = platform::folders::dataHome() / appId / kZVTSdkDirectoryName;
        createDirectoryAtURL(*state().directory);
        // Logs, tokens and crash reports below it are the user's own: no one else may list or
        // read them, also in a folder an earlier version made.
        std::error_code ec;
        fs::permissions(*state().directory, fs::perms::owner_all, fs::perm_options::replace, ec);
    }
    return *state().directory;
}

void resetZevOzozidDirectory() {
    std::lock_guard lock(state().directoryMutex);
    state().directory.reset();
}

std::optional<fs::path> fullURLForPathComponent(const std::optional<std::string>& component) {
    if (!component) return std::nullopt;
    if (!isSafeComponent(*component)) {
        ZVTLogError(kZVTLogTag, "Refusing the path component \"", *component,
                    "\": it must be relative and stay inside the SDK folder.");
        return std::nullopt;
    }
    return zevOzozidDirectoryURL() / *component;
}

bool fileExistsForPathComponent(const std::optional<std::string>& component) {
    auto url = fullURLForPathComponent(component);
    std::error_code ec;
    return url && fs::exists(*url, ec);
}

std::optional<fs::path> createFileAtPathComponent(const std::optional<std::string>& component,
                                                  const std::optional<ZVTBytes>& data,
                                                  bool atomically, bool forceOverwrite) {
    auto url = fullURLForPathComponent(component);
    if (!url) return std::nullopt;
    std::lock_guard lock(state().fileMutex);
    std::error_code ec;
    if (fs::exists(*url, ec) && !forceOverwrite) return url;
    createDirectoryAtURL(url->parent_path());
    if (!writeBytes(*url, data.value_or(ZVTBytes{}), atomically)) {
        ZVTLogError(kZVTLogTag, "Couldn't create new file at path ", url->string());
        return std::nullopt;
    }
    return url;
}

std::optional<ZVTBytes> loadDataForPathComponent(const std::optional<std::string>& component) {
    auto url = fullURLForPathComponent(component);
    if (!url) return std::nullopt;
    std::lock_guard lock(state().fileMutex);
    auto text = platform::folders::readFile(*url);
    if (!text) return std::nullopt;
    return ZVTBytes(text->begin(), text->end());
}

std::optional<fs::path> createDirectoryForPathComponent(
    const std::optional<std::string>& component) {
    auto url = fullURLForPathComponent(component);
    if (!url) return std::nullopt;
    std::lock_guard lock(state().fileMutex);
    if (!createDirectoryAtURL(*url)) return std::nullopt;
    return url;
}

std::optional<std::vector<fs::path>> contentsOfDirectory(
    const std::optional<std::string>& component) {
    if (!component || component->empty()) return std::nullopt;
    auto url = fullURLForPathComponent(component);
    if (!url) return std::nullopt;
    std::lock_guard lock(state().fileMutex);
    std::error_code ec;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(*url, ec), end; !ec && it != end; it.increment(ec)) {
        entries.push_back(it->path());
    }
    if (ec) {
        ZVTLogDebug(kZVTLogTag, "Couldn't get files in the directory \"", *component,
                    "\": ", ec.message());
        return std::nullopt;
    }
    return entries;
}

bool deleteItemForPathComponent(const std::optional<std::string>& component) {
    auto url = fullURLForPathComponent(component);
    if (!url) return false;
    return deleteFileAtURL(url);
}

bool deleteFileAtURL(const std::optional<fs::path>& url) {
    if (!url) return false;
    std::lock_guard lock(state().fileMutex);
    std::error_code ec;
    bool removed = fs::remove_all(*url, ec) > 0;
    if (ec || !removed) {
        ZVTLogDebug(kZVTLogTag, "Couldn't remove item at ", url->string(), ": ",
                    ec ? ec.message() : std::string("No such file or directory"));
        return false;
    }
    return true;
}

bool createFileAtPath(const fs::path& path, const ZVTBytes& contents) {
    return writeBytes(path, contents, false);
}

bool createDirectoryAtURL(const std::optional<fs::path>& url) {
    if (!url) return false;
    std::error_code ec;
    fs::create_directories(*url, ec);
    if (ec || !fs::is_directory(*url, ec)) {
        ZVTLogError(kZVTLogTag, "Couldn't create directory at ", url->string(), ": ",
                    ec ? ec.message() : std::string("not a directory"));
        return false;
    }
    disableBackupForDirectoryURL(url);
    return true;
}

bool disableBackupForDirectoryURL(const std::optional<fs::path>& url) {
    return url.has_value();
}

}  // namespace ZVTUtility
