#include "session/MVGateCrossing.h"

#include <algorithm>

void MVGatePassages::add(std::int64_t position, const MVHelper::GatePassage& passage) {
    if (passage.time == 0) return;
    passages_.push_back({position, passage});
    const double width = static_cast<double>(gateWidth_);
    const double weight = width > 0 ? std::max(0.0, 1.0 - passage.offCentre / width) : 1.0;
    if (passage.along) {
        weightAlong_ += weight;
        ++countAlong_;
    } else {
        weightAgainst_ += weight;
        ++countAgainst_;
    }
}

bool MVGatePassages::drivenAlong() const {
    if (weightAlong_ != weightAgainst_) return weightAlong_ > weightAgainst_;
    return countAlong_ >= countAgainst_;
}

std::vector<MVGatePassages::Passage> MVGatePassages::crossings() const {
    std::vector<Passage> result;
    const bool along = drivenAlong();
    for (const Passage& p : passages_) {
        if (p.passage.along == along) result.push_back(p);
    }
    return result;
}
