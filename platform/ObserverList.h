#pragma once

#include "platform/ObserverToken.h"

#include <memory>
#include <mutex>
#include <vector>

namespace platform {

// A list of callbacks that may be added to or removed from while it is being called: a call
// works on a snapshot, and an entry removed during the call is skipped if not yet reached.
// Thread-safe; callbacks run on the calling thread, outside the lock.
template <typename Callback>
class ObserverList {
  public:
    ObserverList() : state_(std::make_shared<State>()) {}

    ObserverToken add(Callback callback) {
        auto entry = std::make_shared<Entry>(Entry{std::move(callback), true});
        {
            std::lock_guard lock(state_->mutex);
            state_->entries.push_back(entry);
        }
        std::weak_ptr<State> weakState = state_;
        std::weak_ptr<Entry> weakEntry = entry;
        return ObserverToken([weakState, weakEntry] {
            auto state = weakState.lock();
            auto entry = weakEntry.lock();
            if (!state || !entry) return;
            std::lock_guard lock(state->mutex);
            entry->alive = false;
            std::erase(state->entries, entry);
        });
    }

    // Calls f(callback) for every live entry, in the order they were added.
    template <typename F>
    void forEach(F&& f) const {
        std::vector<std::shared_ptr<Entry>> snapshot;
        {
            std::lock_guard lock(state_->mutex);
            snapshot = state_->entries;
        }
        for (const auto& entry : snapshot) {
            bool alive;
            {
                std::lock_guard lock(state_->mutex);
                alive = entry->alive;
            }
            if (alive) f(entry->callback);
        }
    }

    bool empty() const {
        std::lock_guard lock(state_->mutex);
        return state_->entries.empty();
    }

  private:
    struct Entry {
        Callback callback;
        bool alive;
    };
    struct State {
        mutable std::mutex mutex;
        std::vector<std::shared_ptr<Entry>> entries;
    };
    std::shared_ptr<State> state_;
};

}  // namespace platform
