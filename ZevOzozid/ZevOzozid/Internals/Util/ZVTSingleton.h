#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// Holder of an SDK singleton with `resetSharedInstance`: the instance is made on first use under a
// lock; a reset forgets it so the next use makes a new one. Forgotten instances are kept alive
// for the life of the process, so a reference handed out earlier never dangles.
template <typename T>
class ZVTSingleton {
  public:
    explicit ZVTSingleton(std::function<T*()> make = [] { return new T(); })
        : make_(std::move(make)) {}

    T& shared() {
        std::lock_guard lock(mutex_);
        if (!current_) {
            current_ = make_();
            all_.emplace_back(current_);
        }
        return *current_;
    }

    // The instance if one was made (and not reset since); never makes one.
    T* existing() {
        std::lock_guard lock(mutex_);
        return current_;
    }

    void reset() {
        std::lock_guard lock(mutex_);
        current_ = nullptr;
    }

  private:
    std::function<T*()> make_;
    std::mutex mutex_;
    T* current_ = nullptr;
    std::vector<std::unique_ptr<T>> all_;
};
