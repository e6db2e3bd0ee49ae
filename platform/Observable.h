#pragma once

#include "platform/ObserverList.h"

#include <functional>
#include <mutex>
#include <utility>

namespace platform {

// A property that tells its observers of every set, synchronously on the setting thread, also
// when the new value equals the old one. setWithoutNotifying() changes the value silently; the
// views that follow each other use it to break loops. Observers get the old and the new value.
template <typename T>
class Observable {
  public:
    using Handler = std::function<void(const T& oldValue, const T& newValue)>;

    Observable() = default;
    explicit Observable(T initial) : value_(std::move(initial)) {}
    Observable(const Observable&) = delete;
    Observable& operator=(const Observable&) = delete;

    T get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }

    void set(T value) {
        T old;
        {
            std::lock_guard lock(mutex_);
            old = std::exchange(value_, value);
        }
        observers_.forEach([&](const Handler& h) { h(old, value); });
    }

    void setWithoutNotifying(T value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }

    [[nodiscard]] ObserverToken observe(Handler handler) {
        return observers_.add(std::move(handler));
    }

  private:
    mutable std::mutex mutex_;
    T value_{};
    ObserverList<Handler> observers_;
};

}  // namespace platform
