#pragma once

#include <mutex>
#include <utility>

// A value handed from one thread to another: every read and write holds the value's own lock.
template <typename T>
class MVLockedValue {
  public:
    T get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void set(T value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }

  private:
    mutable std::mutex mutex_;
    T value_{};
};
