#include "ZevOzozid/ZevOzozid/Internals/DelegateForwarder/ZVTAppDelegateForwarder.h"

#include <mutex>

namespace {

struct Shared {
    std::mutex mutex;
    std::shared_ptr<ZVTAppDelegateForwarder> instance;
};

Shared& shared() {
    static auto* s = new Shared;
    return *s;
}

}  // namespace

std::shared_ptr<ZVTAppDelegateForwarder> ZVTAppDelegateForwarder::sharedInstance() {
    std::shared_ptr<ZVTAppDelegateForwarder> made;
    {
        std::lock_guard lock(shared().mutex);
        if (shared().instance) return shared().instance;
        made = shared().instance = std::make_shared<ZVTAppDelegateForwarder>();
    }
    made->setEnabledFromPlistForKey(kEnabledKey);
    return made;
}

void ZVTAppDelegateForwarder::resetSharedInstance() {
    {
        std::lock_guard lock(shared().mutex);
        shared().instance.reset();
    }
    sharedInstance();
}

void ZVTAppDelegateForwarder::applicationInfoDidChange() {
    std::shared_ptr<ZVTAppDelegateForwarder> existing;
    {
        std::lock_guard lock(shared().mutex);
        existing = shared().instance;
    }
    if (existing) {
        existing->setEnabledFromPlistForKey(kEnabledKey);
    } else {
        sharedInstance();  // reads the switch as it is made
    }
}
