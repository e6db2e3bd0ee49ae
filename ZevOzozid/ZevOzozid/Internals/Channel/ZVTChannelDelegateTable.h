#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelProtocols.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

// The channel delegates of a unit or a group: weak references (a delegate that goes away drops
// out by itself), each at most once, in order of addition. Safe from any thread: the table is
// locked only while it changes or a snapshot is taken; callbacks run outside the lock, so a
// delegate may add or remove delegates from within one (the change counts from the next
// enumeration).
class ZVTChannelDelegateTable {
  public:
    void add(const std::shared_ptr<ZVTChannelDelegate>& delegate) {
        if (!delegate) return;
        std::lock_guard lock(mutex_);
        pruneLocked();
        if (findLocked(delegate) == entries_.end()) entries_.push_back(delegate);
    }

    void remove(const std::shared_ptr<ZVTChannelDelegate>& delegate) {
        if (!delegate) return;
        std::lock_guard lock(mutex_);
        auto it = findLocked(delegate);
        if (it != entries_.end()) entries_.erase(it);
        pruneLocked();
    }

    // The live delegates now, in order of addition.
    std::vector<std::shared_ptr<ZVTChannelDelegate>> snapshot() const {
        std::lock_guard lock(mutex_);
        std::vector<std::shared_ptr<ZVTChannelDelegate>> live;
        live.reserve(entries_.size());
        for (const auto& weak : entries_) {
            if (auto strong = weak.lock()) live.push_back(std::move(strong));
        }
        return live;
    }

    // Calls `block` for each delegate of a snapshot, outside the lock.
    template <typename Block>
    void enumerate(Block&& block) const {
        for (const auto& delegate : snapshot()) block(*delegate);
    }

  private:
    using Entries = std::vector<std::weak_ptr<ZVTChannelDelegate>>;

    // By owner, so no delegate is locked (and possibly destroyed) under the table's lock.
    Entries::iterator findLocked(const std::shared_ptr<ZVTChannelDelegate>& target) {
        return std::find_if(entries_.begin(), entries_.end(), [&target](const auto& weak) {
            return !weak.owner_before(target) && !target.owner_before(weak);
        });
    }
    void pruneLocked() {
        entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                      [](const auto& weak) { return weak.expired(); }),
                       entries_.end());
    }

    mutable std::mutex mutex_;
    Entries entries_;
};
