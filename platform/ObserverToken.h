#pragma once

#include <functional>
#include <utility>

namespace platform {

// Ends an observation when it goes out of scope (or on reset()). Move-only. The source of the
// observation may die first: the canceller it hands out must then do nothing.
class ObserverToken {
  public:
    ObserverToken() = default;
    explicit ObserverToken(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    ObserverToken(const ObserverToken&) = delete;
    ObserverToken& operator=(const ObserverToken&) = delete;
    ObserverToken(ObserverToken&& other) noexcept : cancel_(std::exchange(other.cancel_, {})) {}
    ObserverToken& operator=(ObserverToken&& other) noexcept {
        if (this != &other) {
            reset();
            cancel_ = std::exchange(other.cancel_, {});
        }
        return *this;
    }
    ~ObserverToken() { reset(); }

    void reset() {
        if (auto cancel = std::exchange(cancel_, {})) cancel();
    }
    explicit operator bool() const { return static_cast<bool>(cancel_); }

  private:
    std::function<void()> cancel_;
};

}  // namespace platform
