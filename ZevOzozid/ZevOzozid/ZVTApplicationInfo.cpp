#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include "ZevOzozid/ZevOzozid/Internals/DelegateForwarder/ZVTAppDelegateForwarder.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

#include <atomic>
#include <filesystem>
#include <mutex>

namespace {

struct State {
    std::mutex mutex;
    std::optional<ZVTApplicationInfo> info;
    bool warned = false;
    std::atomic<bool> hidden{false};
};

State& state() {
    static auto* s = new State;
    return *s;
}

std::string executableName() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("unknown") : path.filename().string();
}

}  // namespace

void ZVTApplicationInfo::setCurrent(ZVTApplicationInfo info) {
    {
        std::lock_guard lock(state().mutex);
        state().info = std::move(info);
    }
    ZVTAppDelegateForwarder::applicationInfoDidChange();
}

std::optional<ZVTApplicationInfo> ZVTApplicationInfo::current() {
    std::lock_guard lock(state().mutex);
    return state().info;
}

ZVTApplicationInfo ZVTApplicationInfo::currentOrFallback() {
    bool warn = false;
    {
        std::lock_guard lock(state().mutex);
        if (state().info) return *state().info;
        warn = !state().warned;
        state().warned = true;
    }
    if (warn) {
        ZVTLogError(kZVTLogTag,
                    "The application did not describe itself before start; using the executable's "
                    "name and an unknown version.");
    }
    ZVTApplicationInfo fallback;
    fallback.identifier = executableName();
    fallback.version = "unknown";
    fallback.build = "unknown";
    return fallback;
}

void ZVTApplicationInfo::setHidden(bool hidden) {
    state().hidden = hidden;
}
bool ZVTApplicationInfo::isHidden() {
    return state().hidden.load();
}

void ZVTApplicationInfo::reset() {
    std::lock_guard lock(state().mutex);
    state().info.reset();
    state().warned = false;
    state().hidden = false;
}
