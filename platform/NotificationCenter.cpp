#include "platform/NotificationCenter.h"

namespace platform {

NotificationCenter& NotificationCenter::defaultCenter() {
    static auto* center = new NotificationCenter;
    return *center;
}

ObserverToken NotificationCenter::addObserver(std::string name, const void* object,
                                              Handler handler) {
    return observers_.add(Registration{std::move(name), object, std::move(handler)});
}

void NotificationCenter::post(const std::string& name, const void* object, UserInfo userInfo) {
    const Notification note{name, object, std::move(userInfo)};
    observers_.forEach([&](const Registration& r) {
        if (!r.name.empty() && r.name != name) return;
        if (r.object != nullptr && r.object != object) return;
        r.handler(note);
    });
}

}  // namespace platform
