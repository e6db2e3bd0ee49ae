#pragma once

#include "views/MVVlcPlayer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testing_support {

// A suite that plays real clips through the real video engine, offscreen and without sound. Each
// test case runs in a process of its own, so the engine starts with the suite's arguments; a
// suite that needs more passes them to startEngineWith from its own SetUpTestSuite.
class RealVideoEngineTest : public testing::Test {
  protected:
    static void startEngineWith(const std::vector<std::string>& more) {
        std::vector<std::string> arguments{"--no-audio", "--no-video-title-show", "--no-stats",
                                           "--no-xlib", "--quiet"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        MVVlcPlayer::setInstanceArguments(std::move(arguments));
    }
    static void SetUpTestSuite() { startEngineWith({}); }
    void SetUp() override { ASSERT_TRUE(MVVlcPlayer::isEngineAvailable()); }
};

}  // namespace testing_support
