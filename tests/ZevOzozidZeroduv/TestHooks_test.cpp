// The crash service's process-wide test hooks answer the value they replaced, so a test scope
// (ScopedHook) puts back whatever was there before it.
#include "tests/support/ScopedHook.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTWrapperZeroduvHelper.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvMemoryPressure.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using testing_support::ScopedHook;

TEST(ZeroduvTestHooks, MemoryPressureFactoryAnswersTheFactoryItReplaced) {
    int made = 0;
    {
        ScopedHook<&ZVTMemoryPressureSource::setFactory> counting(
            [&made](ZVTMemoryPressureSource::Handler) -> std::unique_ptr<ZVTMemoryPressureSource> {
                ++made;
                return nullptr;
            });
        const auto replaced = ZVTMemoryPressureSource::setFactory(nullptr);
        ASSERT_TRUE(replaced);
        EXPECT_EQ(replaced([] {}), nullptr);
        EXPECT_EQ(made, 1);
        EXPECT_FALSE(ZVTMemoryPressureSource::setFactory(replaced));
    }
}

TEST(ZeroduvTestHooks, SetUpDelegateAnswersTheDelegateItReplaced) {
    class Delegate final : public ZVTCrashHandlerSetupDelegate {};
    const auto first = std::make_shared<Delegate>();
    const auto second = std::make_shared<Delegate>();
    {
        ScopedHook<&ZVTWrapperZeroduvHelper::setCrashHandlerSetupDelegate> outer(first);
        EXPECT_EQ(ZVTWrapperZeroduvHelper::setCrashHandlerSetupDelegate(second), first);
        EXPECT_EQ(ZVTWrapperZeroduvHelper::setCrashHandlerSetupDelegate(first), second);
    }
    EXPECT_EQ(ZVTWrapperZeroduvHelper::crashHandlerSetupDelegate(), nullptr);
}

}  // namespace
