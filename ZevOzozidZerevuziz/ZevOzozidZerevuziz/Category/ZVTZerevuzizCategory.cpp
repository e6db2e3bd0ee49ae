#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Category/ZVTZerevuzizCategory.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuziz.h"

#include "ZevOzozid/ZevOzozid/Internals/DelegateForwarder/ZVTAppDelegateForwarder.h"

#include <array>
#include <mutex>

namespace {

// Written and read on the main thread; the lock only keeps stray readers safe.
std::mutex& nameMutex() {
    static auto* mutex = new std::mutex();
    return *mutex;
}

std::optional<std::string>& missedName() {
    static auto* name = new std::optional<std::string>();
    return *name;
}

// The forwarder the hook listens to, and the listener it holds weakly.
struct Activation {
    std::mutex mutex;
    std::weak_ptr<ZVTAppDelegateForwarder> forwarder;
    std::shared_ptr<ZVTDelegateListener> listener;
};

Activation& activation() {
    static auto* value = new Activation();
    return *value;
}

const std::array<std::string, 3> kSkippedContainers = {"NSSplitViewController",
                                                       "NSTabViewController", "NSPageController"};
const std::string kViewControllerSuffix = "ViewController";

}  // namespace

void ZVTZerevuzizCategory::activateCategory() {
    auto forwarder = ZVTAppDelegateForwarder::sharedInstance();
    auto& a = activation();
    std::lock_guard lock(a.mutex);
    if (a.forwarder.lock() == forwarder) return;
    a.listener = std::make_shared<ZVTDelegateListener>();
    a.listener->setHandler(kPageWillAppearCallback, [](const ZVTForwardedArguments& arguments) {
        const auto* className =
            arguments.empty() ? nullptr : std::any_cast<std::string>(&arguments[0]);
        if (className) pageWillAppear(*className);
        return std::any();
    });
    forwarder->addDelegate(a.listener);
    forwarder->addDelegateSelectorToSwizzle(kPageWillAppearCallback);
    a.forwarder = forwarder;
}

std::optional<std::string> ZVTZerevuzizCategory::pageNameForClassName(
    const std::string& className) {
    for (const auto& skipped : kSkippedContainers) {
        if (className == skipped) return std::nullopt;
    }
    std::string name = className;
    if (auto dot = name.rfind('.'); dot != std::string::npos) name = name.substr(dot + 1);
    if (name.size() > kViewControllerSuffix.size() && name.ends_with(kViewControllerSuffix)) {
        name.resize(name.size() - kViewControllerSuffix.size());
    }
    return name;
}

void ZVTZerevuzizCategory::pageWillAppear(const std::string& className) {
    if (!ZVTZerevuziz::isAutoPageTrackingEnabled()) return;
    const auto name = pageNameForClassName(className);
    if (!name) return;
    if (ZVTZerevuziz::sharedInstance().isAvailable()) {
        {
            std::lock_guard lock(nameMutex());
            missedName().reset();
        }
        ZVTZerevuziz::trackPage(*name);
    } else {
        std::lock_guard lock(nameMutex());
        missedName() = *name;
    }
}

std::optional<std::string> ZVTZerevuzizCategory::missedPageViewName() {
    std::lock_guard lock(nameMutex());
    return missedName();
}

void ZVTZerevuzizCategory::resetMissedPageViewName() {
    std::lock_guard lock(nameMutex());
    missedName().reset();
}
