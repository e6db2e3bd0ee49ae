// The rule of a gate crossing: only passages the way the session drives through the gate count,
// that way learnt from the passages themselves, each weighted by how near the gate's middle it
// meets the line.
#include "session/MVGateCrossing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct VoteCase {
    std::string what;
    std::vector<double> along;    // off-centre distances of the passages the gate's own way
    std::vector<double> against;  // and of those the other way
    bool drivenAlong;
};

TEST(GatePassages, TheWayTheSessionDrivesThroughTheGate) {
    const std::vector<VoteCase> cases = {
        {"the line each lap, a hairpin beside it the other way", {1, 2, 0.5}, {22, 23, 21}, true},
        {"the same circuit driven the other way round", {22, 23, 21}, {1, 2, 0.5}, false},
        {"a tighter hairpin, 11 m from the middle", {11, 11, 11}, {2, 3, 1}, false},
        {"laps through the pit lane the gate's way, the far side the other way",
         {1, 2, 19, 2, 19},
         {21, 21, 21, 21, 21},
         true},
        {"one pass the other way through the middle", {3, 3, 3, 3, 3}, {0}, true},
        {"equal weights: the more passages", {12.5, 12.5}, {0}, true},
        {"equal weights: the more passages, the other way", {0}, {12.5, 12.5}, false},
        {"at or beyond the width no weight: the more passages", {25}, {30, 26}, false},
        {"an exact tie: the gate's own way", {5}, {5}, true},
        {"no passage: the gate's own way", {}, {}, true},
    };
    for (const VoteCase& c : cases) {
        MVGatePassages passages(25);
        std::int64_t position = 0;
        for (double d : c.along) passages.add(++position, {10.0 + position, true, d});
        for (double d : c.against) passages.add(++position, {10.0 + position, false, d});
        EXPECT_EQ(passages.drivenAlong(), c.drivenAlong) << c.what;
        const auto crossings = passages.crossings();
        EXPECT_EQ(crossings.size(), c.drivenAlong ? c.along.size() : c.against.size()) << c.what;
        for (const auto& crossing : crossings) {
            EXPECT_EQ(crossing.passage.along, c.drivenAlong) << c.what;
            EXPECT_TRUE(passages.isCrossing(crossing)) << c.what;
        }
    }
}

TEST(GatePassages, StepsThatDoNotPassAreNotNoted) {
    MVGatePassages passages(25);
    passages.add(1, {0.0, false, 0});
    passages.add(2, {12.5, true, 20});
    passages.add(3, {0.0, false, 0});
    ASSERT_EQ(passages.all().size(), 1u);
    EXPECT_EQ(passages.all().front().position, 2);
    EXPECT_TRUE(passages.drivenAlong());
}

}  // namespace
