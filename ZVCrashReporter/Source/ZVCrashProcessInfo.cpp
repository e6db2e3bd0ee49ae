#include "ZVCrashReporter/Source/ZVCrashProcessInfo.h"

#include "ZVCrashReporter/Source/ZVCrashHostInfo.h"

#include <fstream>
#include <sstream>
#include <vector>

#include <unistd.h>

namespace {

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The value of a "Key:\tvalue" line of /proc/<pid>/status.
std::optional<long long> statusValue(const std::string& status, const std::string& key) {
    std::istringstream lines(status);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            try {
                return std::stoll(line.substr(key.size() + 1));
            } catch (...) {
                return std::nullopt;
            }
        }
    }
    return std::nullopt;
}

// Boot time in seconds since the epoch ("btime" of /proc/stat).
long long bootTime(const std::string& procRoot) {
    const auto stat = readFile(procRoot + "/stat");
    if (!stat) return 0;
    std::istringstream lines(*stat);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("btime ", 0) == 0) return std::atoll(line.c_str() + 6);
    }
    return 0;
}

}  // namespace

std::shared_ptr<ZVCrashProcessInfo> ZVCrashProcessInfo::currentProcessInfo() {
    return initWithProcessID(getpid());
}

std::shared_ptr<ZVCrashProcessInfo> ZVCrashProcessInfo::initWithProcessID(
    pid_t pid, const std::string& procRoot) {
    const std::string dir = procRoot + "/" + std::to_string(pid);
    const auto stat = readFile(dir + "/stat");
    if (!stat) return nullptr;
    // The command name in parentheses may hold anything, ")" included: fields follow the last one.
    const size_t close = stat->rfind(')');
    if (close == std::string::npos) return nullptr;
    std::istringstream fields(stat->substr(close + 1));
    std::vector<std::string> values;  // values[0] is field 3 (state)
    for (std::string v; fields >> v;) values.push_back(v);
    if (values.size() < 20) return nullptr;
    auto info = std::shared_ptr<ZVCrashProcessInfo>(new ZVCrashProcessInfo());
    info->processID_ = pid;
    try {
        info->parentProcessID_ = static_cast<pid_t>(std::stol(values[1]));
        const long long ticks = std::stoll(values[19]);  // field 22: start time in clock ticks
        const long hz = sysconf(_SC_CLK_TCK);
        const long long micros = hz > 0 ? ticks * 1000000 / hz : 0;
        info->startTime_ = std::chrono::microseconds(bootTime(procRoot) * 1000000 + micros);
    } catch (...) {
        return nullptr;
    }
    if (auto comm = readFile(dir + "/comm")) {
        std::string name = comm->substr(0, comm->find('\n')).substr(0, 16);
        name.resize(
            utf8_valid_prefix_length(reinterpret_cast<const uint8_t*>(name.data()), name.size()));
        if (!name.empty()) info->processName_ = name;
    }
    if (auto status = readFile(dir + "/status")) {
        info->traced_ = statusValue(*status, "TracerPid").value_or(0) != 0;
    }
    return info;
}
