// The SDK's process-wide test hooks: each answers the value it replaced, so a test scope
// (ScopedHook) puts back whatever was there before it, nested scopes included.
#include "tests/ZevOzozid/ZVTFakeDeviceProbe.h"
#include "tests/support/ScopedHook.h"

#include "ZevOzozid/ZevOzozid/Internals/Context/Device/ZVTDeviceProbe.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTDependencyConfiguration.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClientProtocol.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpIngestion.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVT_Reachability.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using testing_support::ScopedHook;
using zvt_test::FakeDeviceProbe;

TEST(SdkTestHooks, ObjectHooksAnswerWhatTheyReplacedAndScopesPutItBack) {
    const auto outerProbe = std::make_shared<FakeDeviceProbe>();
    const auto innerProbe = std::make_shared<FakeDeviceProbe>();
    {
        ScopedHook<&ZVTDeviceProbe::setCurrent> outer(outerProbe);
        {
            ScopedHook<&ZVTDeviceProbe::setCurrent> inner(innerProbe);
            EXPECT_EQ(ZVTDeviceProbe::current(), innerProbe);
        }
        EXPECT_EQ(ZVTDeviceProbe::current(), outerProbe);
        EXPECT_EQ(ZVTDeviceProbe::setCurrent(innerProbe), outerProbe);
        EXPECT_EQ(ZVTDeviceProbe::setCurrent(outerProbe), innerProbe);
    }

    const auto before = ZVTDependencyConfiguration::httpClient();
    {
        ScopedHook<&ZVTDependencyConfiguration::setHttpClient> none(nullptr);
        EXPECT_EQ(ZVTDependencyConfiguration::httpClient(), nullptr);
    }
    EXPECT_EQ(ZVTDependencyConfiguration::httpClient(), before);
}

// Hooks that hold a function: the answer is the function itself, still callable.
TEST(SdkTestHooks, FunctionHooksAnswerTheFunctionTheyReplaced) {
    int made = 0;
    {
        ScopedHook<&ZVT_Reachability::setSourceFactory> outer(
            [&made]() -> std::unique_ptr<ZVTReachabilitySource> {
                ++made;
                return nullptr;
            });
        const auto replaced = ZVT_Reachability::setSourceFactory({});
        ASSERT_TRUE(replaced);
        EXPECT_EQ(replaced(), nullptr);
        EXPECT_EQ(made, 1);
        EXPECT_FALSE(ZVT_Reachability::setSourceFactory(replaced));
    }

    {
        ScopedHook<&ZVTHttpIngestion::setNetworkRequestsAllowedProvider> forbidden(
            [] { return false; });
        const auto replaced = ZVTHttpIngestion::setNetworkRequestsAllowedProvider({});
        ASSERT_TRUE(replaced);
        EXPECT_FALSE(replaced());
        EXPECT_FALSE(ZVTHttpIngestion::setNetworkRequestsAllowedProvider(replaced));
    }

    std::string heard;
    {
        ScopedHook<&ZVTLogger::setLogHandler> listening(
            [&heard](const ZVTLogMessageProvider& message, unsigned, const std::string&,
                     const char*, const char*, unsigned) { heard += message(); });
        const ZVTLogHandler replaced = ZVTLogger::setLogHandler({});
        ASSERT_TRUE(replaced);
        replaced([] { return std::string("lap"); }, ZVTLogLevelInfo, "t", "f", "fn", 1);
        EXPECT_EQ(heard, "lap");
        EXPECT_FALSE(ZVTLogger::setLogHandler(replaced));
    }
    ZVTLogger::reset();
}

}  // namespace
