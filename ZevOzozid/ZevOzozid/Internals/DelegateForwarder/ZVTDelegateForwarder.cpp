#include "ZevOzozid/ZevOzozid/Internals/DelegateForwarder/ZVTDelegateForwarder.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <algorithm>
#include <cctype>

namespace {

const std::string kReturnedValueSuffix = "returnedValue:";

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

void ZVTDelegateListener::setHandler(const std::string& callback, Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_[callback] = std::move(handler);
}

bool ZVTDelegateListener::respondsToCallback(const std::string& callback) const {
    std::lock_guard lock(mutex_);
    return handlers_.count(callback) != 0;
}

std::any ZVTDelegateListener::call(const std::string& callback,
                                   const ZVTForwardedArguments& arguments) const {
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        auto it = handlers_.find(callback);
        if (it == handlers_.end()) return {};
        handler = it->second;
    }
    return handler ? handler(arguments) : std::any();
}

bool ZVTDelegateForwarder::booleanValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    while (i < text.size() && text[i] == '0') ++i;
    if (i == text.size()) return false;
    const char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

ZVTDelegateForwarder::ZVTDelegateForwarder(ZVTTraceBuffer& traces) : traces_(traces) {}

void ZVTDelegateForwarder::setEnabledFromPlistForKey(const std::string& key) {
    bool enabled = true;
    if (auto info = ZVTApplicationInfo::current()) {
        auto it = info->infoDictionary.find(key);
        if (it != info->infoDictionary.end()) enabled = booleanValue(it->second);
    }
    setEnabled(enabled);
    addTraceBlock([key, enabled] {
        if (enabled) {
            ZVTLogDebug(kZVTLogTag, "Delegate forwarder for info.plist key '", key,
                        "' enabled. It may use swizzling.");
        } else {
            ZVTLogDebug(kZVTLogTag, "Delegate forwarder for info.plist key '", key,
                        "' disabled. It won't use swizzling.");
        }
    });
}

bool ZVTDelegateForwarder::enabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void ZVTDelegateForwarder::setEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
    if (!enabled) delegates_.clear();
}

void ZVTDelegateForwarder::addDelegate(const std::shared_ptr<ZVTDelegateListener>& listener) {
    if (!listener) return;
    std::lock_guard lock(mutex_);
    if (!enabled_) return;
    for (const auto& weak : delegates_) {
        if (weak.lock() == listener) return;
    }
    delegates_.push_back(listener);
}

void ZVTDelegateForwarder::removeDelegate(const std::shared_ptr<ZVTDelegateListener>& listener) {
    std::lock_guard lock(mutex_);
    if (!enabled_) return;
    delegates_.erase(std::remove_if(delegates_.begin(), delegates_.end(),
                                    [&](const auto& weak) {
                                        auto strong = weak.lock();
                                        return !strong || strong == listener;
                                    }),
                     delegates_.end());
}

void ZVTDelegateForwarder::addDelegateSelectorToSwizzle(const std::string& callback) {
    std::lock_guard lock(mutex_);
    if (!enabled_) return;
    selectorsToSwizzle_.insert(callback);
    resolvePendingLocked();
}

void ZVTDelegateForwarder::setHostDelegate(const std::string& delegateClassName,
                                           const std::set<std::string>& declaredCallbacks) {
    std::lock_guard lock(mutex_);
    hostClassName_ = delegateClassName;
    declaredCallbacks_ = declaredCallbacks;
    resolvePendingLocked();
}

std::set<std::string> ZVTDelegateForwarder::routedCallbacks() const {
    std::lock_guard lock(mutex_);
    return routed_;
}

void ZVTDelegateForwarder::resolvePendingLocked() {
    if (!hostClassName_) return;  // waits for the host's delegate
    const std::string className = *hostClassName_;
    for (const auto& callback : selectorsToSwizzle_) {
        if (declaredCallbacks_.count(callback)) {
            routed_.insert(callback);
            addTraceBlock([callback, className] {
                ZVTLogDebug(kZVTLogTag, "Selector '", callback, "' of class '", className,
                            "' is swizzled.");
            });
        } else {
            addTraceBlock([callback, className] {
                ZVTLogError(kZVTLogTag, "Cannot swizzle selector '", callback, "' of class '",
                            className, "'. ",
                            "You need to explicitly call the Zev Ozozid API from your app "
                            "delegate implementation.");
            });
        }
    }
    selectorsToSwizzle_.clear();
}

std::vector<std::shared_ptr<ZVTDelegateListener>> ZVTDelegateForwarder::liveListeners() {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<ZVTDelegateListener>> live;
    for (const auto& weak : delegates_) {
        if (auto strong = weak.lock()) live.push_back(std::move(strong));
    }
    return live;
}

std::any ZVTDelegateForwarder::forward(const std::string& callback,
                                       ZVTForwardedArguments arguments) {
    std::lock_guard serial(forwardMutex_);
    const bool folds = endsWith(callback, kReturnedValueSuffix) && !arguments.empty();
    std::any result = folds ? arguments.back() : std::any();
    for (const auto& listener : liveListeners()) {
        if (!listener->respondsToCallback(callback)) continue;
        if (folds) {
            arguments.back() = result;
            result = listener->call(callback, arguments);
        } else {
            listener->call(callback, arguments);
        }
    }
    return result;
}
