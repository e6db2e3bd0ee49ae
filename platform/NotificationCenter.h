#pragma once

#include "platform/ObserverList.h"

#include <any>
#include <functional>
#include <map>
#include <string>

namespace platform {

using UserInfo = std::map<std::string, std::any>;

struct Notification {
    std::string name;
    const void* object = nullptr;
    UserInfo userInfo;

    // The user-info value under key as T, or nullptr when absent or of another type.
    template <typename T>
    const T* value(const std::string& key) const {
        auto it = userInfo.find(key);
        return it == userInfo.end() ? nullptr : std::any_cast<T>(&it->second);
    }
};

// Named notifications, delivered synchronously on the posting thread in the order the observers
// were added. An observer may add or remove observers (itself included) while it is called.
class NotificationCenter {
  public:
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    // Observes `name` (every name when empty) posted with `object` (any object when nullptr).
    [[nodiscard]] ObserverToken addObserver(std::string name, const void* object, Handler handler);
    void post(const std::string& name, const void* object = nullptr, UserInfo userInfo = {});

  private:
    struct Registration {
        std::string name;
        const void* object;
        Handler handler;
    };
    ObserverList<Registration> observers_;
};

}  // namespace platform
