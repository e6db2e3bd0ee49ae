#include "session/MVLaps.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

void MVLaps::setData(std::vector<MVLapPtr> laps) {
    std::erase(laps, nullptr);
    data_ = std::move(laps);
}

void MVLaps::addLap(MVLapPtr lap) {
    if (lap) data_.push_back(std::move(lap));
}

MVLapPtr MVLaps::lapAtIndex(std::int64_t index) const {
    if (index < 0 || static_cast<std::uint64_t>(index) >= data_.size()) return nullptr;
    return data_[static_cast<std::size_t>(index)];
}

MVLapPtr MVLaps::findFastestLap() const {
    if (data_.empty()) return nullptr;

    std::vector<DataHolder> groups;
    for (const auto& lap : data_) {
        auto group = std::find_if(groups.begin(), groups.end(), [&](const DataHolder& g) {
            return 0.1 * g.distance > std::fabs(g.distance - lap->distance());
        });
        if (group != groups.end()) {
            group->members.push_back(lap.get());
        } else {
            groups.push_back(DataHolder{lap->distance(), {lap.get()}});
        }
    }

    const DataHolder* largest = &groups.front();
    for (const auto& group : groups) {
        if (group.members.size() > largest->members.size()) largest = &group;
    }

    MVLapPtr fastest = data_.front();
    double bestTime = 99999999999.99;
    for (const auto& lap : data_) {
        const bool member = std::find(largest->members.begin(), largest->members.end(),
                                      lap.get()) != largest->members.end();
        if (member && lap->duration() < bestTime) {
            fastest = lap;
            bestTime = lap->duration();
        }
    }
    return fastest;
}
