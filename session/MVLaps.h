#pragma once

#include "session/MVLap.h"

#include <cstdint>
#include <memory>
#include <vector>

class MVLaps;
using MVLapsPtr = std::shared_ptr<MVLaps>;

// The ordered laps of one session (in the order added: lap number order), with the search for
// the session's fastest lap among laps of comparable length. No locks.
class MVLaps {
  public:
    MVLaps() = default;

    static MVLapsPtr instance() { return std::make_shared<MVLaps>(); }

    const std::vector<MVLapPtr>& data() const { return data_; }
    // Replaces the list; null entries are left out.
    void setData(std::vector<MVLapPtr> laps);
    // Appends at the end; a null lap is ignored.
    void addLap(MVLapPtr lap);
    std::size_t count() const { return data_.size(); }
    // The lap at that position; nullptr outside 0 ... count() - 1.
    MVLapPtr lapAtIndex(std::int64_t index) const;

    // The fastest lap of the largest group of laps of similar length:
    // 1. Walking the laps in order, a lap joins the first group (in creation order) whose
    //    distance d satisfies 0.1 * d > |d - lap distance|, else it opens a group with its own
    //    distance (a group keeps the distance of the lap that opened it).
    // 2. The group with the most members wins; among equal sizes the earliest.
    // 3. Of that group's laps, the one with the strictly smallest duration, the earlier on equal
    //    times; the first lap of the list when none is below 99999999999.99 s.
    // Membership is by the lap object itself, so a list mixing sessions, whose laps repeat the
    // same numbers, counts only the laps that really joined the group. Whole-file and unfinished
    // laps are not skipped. nullptr on an empty list.
    MVLapPtr findFastestLap() const;

  private:
    // One group of laps of similar length, used only by findFastestLap.
    struct DataHolder {
        double distance = 0.0;              // distance of the lap that opened the group
        std::vector<const MVLap*> members;  // the laps, in the order they joined
    };

    std::vector<MVLapPtr> data_;
};
