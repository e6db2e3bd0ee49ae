#include "session/MVGLDFormat.h"
#include "session/MVStartFinish.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(StartFinish, LaptimingNumbersGiveGates) {
    const auto start = MVGLDFormat::parseLaptimingLine("  Start +0120.0 3060.0 -60.0  3000.0 \r");
    ASSERT_EQ(start.numbers, (std::vector<double>{120.0, 3060.0, -60.0, 3000.0}));

    const auto gate = MVStartFinish::gateFromLaptimingNumbers(start.numbers);
    ASSERT_NE(gate, nullptr);
    // First point is the next location, second the previous; longitudes change sign.
    EXPECT_EQ(gate->nextLocation()->longitude(), -2.0);
    EXPECT_EQ(gate->nextLocation()->latitude(), 51.0);
    EXPECT_EQ(gate->previousLocation()->longitude(), 1.0);
    EXPECT_EQ(gate->previousLocation()->latitude(), 50.0);

    const auto finish = MVGLDFormat::parseLaptimingLine("Finish 1 2 3");
    EXPECT_EQ(MVStartFinish::gateFromLaptimingNumbers(finish.numbers), nullptr);
}

}  // namespace
