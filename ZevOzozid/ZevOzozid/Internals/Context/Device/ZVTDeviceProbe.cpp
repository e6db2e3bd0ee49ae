#include "ZevOzozid/ZevOzozid/Internals/Context/Device/ZVTDeviceProbe.h"

#include "platform/Folders.h"

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <utility>
#include <vector>

#include <sys/utsname.h>

namespace {

struct ProbeSlot {
    std::mutex mutex;
    std::shared_ptr<ZVTDeviceProbe> probe;
};

ProbeSlot& slot() {
    static auto* s = new ProbeSlot;
    return *s;
}

std::string trimmed(std::string text) {
    const char* space = " \t\r\n";
    text.erase(0, text.find_first_not_of(space));
    auto end = text.find_last_not_of(space);
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}

std::string firstLineOr(const char* path, const char* fallback) {
    auto text = platform::folders::readFile(path);
    if (!text) return fallback;
    std::string line = trimmed(text->substr(0, text->find('\n')));
    return line.empty() ? fallback : line;
}

std::string kernelRelease() {
    utsname names{};
    return uname(&names) == 0 ? names.release : "";
}

struct LocaleParts {
    std::string language, script, region;
};

// "zh_CN.UTF-8@mod", "zh-Hans-CN", "fr"; empty language for C/POSIX.
LocaleParts parseLocale(std::string text) {
    text = text.substr(0, text.find_first_of(".@"));
    LocaleParts parts;
    if (text == "C" || text == "POSIX") return parts;
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("_-", start);
        pieces.push_back(
            text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    parts.language = pieces[0];
    for (size_t i = 1; i < pieces.size(); ++i) {
        if (pieces[i].size() == 4 && parts.script.empty() && parts.region.empty()) {
            parts.script = pieces[i];
        } else if (parts.region.empty()) {
            parts.region = pieces[i];
        }
    }
    return parts;
}

}  // namespace

std::shared_ptr<ZVTDeviceProbe> ZVTDeviceProbe::current() {
    std::lock_guard lock(slot().mutex);
    if (!slot().probe) slot().probe = std::make_shared<ZVTSystemDeviceProbe>();
    return slot().probe;
}

std::shared_ptr<ZVTDeviceProbe> ZVTDeviceProbe::setCurrent(std::shared_ptr<ZVTDeviceProbe> probe) {
    std::lock_guard lock(slot().mutex);
    return std::exchange(slot().probe, std::move(probe));
}

std::string ZVTSystemDeviceProbe::model() const {
    return firstLineOr("/sys/class/dmi/id/product_name", "Unknown");
}

std::string ZVTSystemDeviceProbe::oemName() const {
    return firstLineOr("/sys/class/dmi/id/sys_vendor", "Unknown");
}

std::optional<std::string> ZVTSystemDeviceProbe::osVersion() const {
    return osVersionFromRelease(kernelRelease());
}

std::string ZVTSystemDeviceProbe::osBuild() const {
    if (auto text = platform::folders::readFile("/etc/os-release")) {
        if (auto name = prettyNameFromOsRelease(*text)) return *name;
    }
    std::string release = kernelRelease();
    return release.empty() ? "Unknown" : release;
}

std::string ZVTSystemDeviceProbe::locale() const {
    return localeFromEnvironment([](const char* name) { return std::getenv(name); });
}

int64_t ZVTSystemDeviceProbe::timeZoneOffsetMinutes() const {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) return 0;
    return static_cast<int64_t>(local.tm_gmtoff / 60);
}

std::string ZVTSystemDeviceProbe::localeFromEnvironment(const Environment& getenv) {
    auto read = [&](const char* name) {
        const char* v = getenv(name);
        return std::string(v ? v : "");
    };
    std::string chosen = read("LANGUAGE");
    chosen = chosen.substr(0, chosen.find(':'));
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (!chosen.empty()) break;
        chosen = read(name);
    }
    LocaleParts parts = parseLocale(chosen);
    if (parts.language.empty()) return "en_US";
    if (parts.region.empty()) {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            std::string region = parseLocale(read(name)).region;
            if (!region.empty()) {
                parts.region = region;
                break;
            }
        }
    }
    std::string text = parts.language;
    if (!parts.script.empty()) text += "-" + parts.script;
    if (!parts.region.empty()) text += "_" + parts.region;
    return text;
}

std::optional<std::string> ZVTSystemDeviceProbe::osVersionFromRelease(const std::string& release) {
    long numbers[3] = {0, 0, 0};
    size_t at = 0;
    int count = 0;
    while (count < 3 && at < release.size() &&
           std::isdigit(static_cast<unsigned char>(release[at]))) {
        char* end = nullptr;
        numbers[count++] = std::strtol(release.c_str() + at, &end, 10);
        at = static_cast<size_t>(end - release.c_str());
        if (at >= release.size() || release[at] != '.') break;
        ++at;
    }
    if (count == 0) return std::nullopt;
    return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
           std::to_string(numbers[2]);
}

std::optional<std::string> ZVTSystemDeviceProbe::prettyNameFromOsRelease(const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line =
            trimmed(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = end == std::string::npos ? text.size() : end + 1;
        if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
        std::string value = line.substr(12);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        if (!value.empty()) return value;
    }
    return std::nullopt;
}
