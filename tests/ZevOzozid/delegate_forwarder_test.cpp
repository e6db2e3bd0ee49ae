#include "tests/ZevOzozid/ZVTTestSupport.h"

#include "ZevOzozid/ZevOzozid/Internals/DelegateForwarder/ZVTAppDelegateForwarder.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <gtest/gtest.h>

namespace {

using zvt_test::LogCapture;

const std::string kKey = ZVTAppDelegateForwarder::kEnabledKey;

class ZVTDelegateForwarderTest : public ::testing::Test {
  protected:
    void TearDown() override {
        ZVTApplicationInfo::reset();
        ZVTAppDelegateForwarder::resetSharedInstance();
    }
    static void setSwitch(const std::optional<std::string>& value) {
        ZVTApplicationInfo info;
        info.identifier = "dev.gridlark.app";
        if (value) info.infoDictionary[kKey] = *value;
        ZVTApplicationInfo::setCurrent(info);
    }
    static std::shared_ptr<ZVTDelegateListener> listener(const std::string& callback,
                                                         std::function<int(int)> answer) {
        auto l = std::make_shared<ZVTDelegateListener>();
        l->setHandler(callback, [answer](const ZVTForwardedArguments& args) -> std::any {
            return answer(std::any_cast<int>(args.back()));
        });
        return l;
    }
    ZVTTraceBuffer traces_;
};

TEST_F(ZVTDelegateForwarderTest, SwitchFromTheApplicationInfo) {
    const std::vector<std::pair<std::optional<std::string>, bool>> cases = {
        {std::nullopt, true}, {"NO", false},    {"YES", true},   {"0", false},
        {"1", true},          {"false", false}, {" +007", true}, {"", false},
    };
    for (const auto& [value, expected] : cases) {
        setSwitch(value);
        EXPECT_EQ(ZVTAppDelegateForwarder::sharedInstance()->enabled(), expected)
            << value.value_or("(missing)");
        ZVTDelegateForwarder forwarder(traces_);
        forwarder.setEnabledFromPlistForKey(kKey);
        EXPECT_EQ(forwarder.enabled(), expected);
    }

    setSwitch("NO");
    ZVTDelegateForwarder off(traces_);
    off.setEnabledFromPlistForKey(kKey);
    auto l = listener("open:returnedValue:", [](int v) { return v + 1; });
    off.addDelegate(l);
    off.addDelegateSelectorToSwizzle("open:returnedValue:");
    off.setHostDelegate("GLAppDelegate", {"open:returnedValue:"});
    EXPECT_TRUE(off.routedCallbacks().empty());
    EXPECT_EQ(std::any_cast<int>(off.forward("open:returnedValue:", {std::any(), 5})), 5);
}

TEST_F(ZVTDelegateForwarderTest, TracesWaitForTheFirstFlush) {
    LogCapture capture;
    setSwitch("NO");
    ZVTDelegateForwarder forwarder(traces_);
    forwarder.setEnabledFromPlistForKey(kKey);
    forwarder.setEnabled(true);
    forwarder.setHostDelegate("GLAppDelegate", {"didFinishLaunching:"});
    forwarder.addDelegateSelectorToSwizzle("didFinishLaunching:");
    forwarder.addDelegateSelectorToSwizzle("openFile:");
    EXPECT_TRUE(capture.lines().empty());

    traces_.flush();
    std::vector<std::pair<unsigned, std::string>> seen;
    for (const auto& line : capture.lines()) seen.emplace_back(line.level, line.text);
    const std::vector<std::pair<unsigned, std::string>> expected = {
        {ZVTLogLevelVerbose, "Start buffering traces."},
        {ZVTLogLevelDebug,
         "Delegate forwarder for info.plist key '" + kKey + "' disabled. It won't use swizzling."},
        {ZVTLogLevelDebug, "Selector 'didFinishLaunching:' of class 'GLAppDelegate' is swizzled."},
        {ZVTLogLevelError,
         "Cannot swizzle selector 'openFile:' of class 'GLAppDelegate'. You need to explicitly "
         "call the Zev Ozozid API from your app delegate implementation."},
        {ZVTLogLevelVerbose, "Stop buffering traces, flushed."},
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(forwarder.routedCallbacks(), (std::set<std::string>{"didFinishLaunching:"}));

    capture.clear();
    traces_.flush();                                  // later flushes do nothing
    forwarder.addDelegateSelectorToSwizzle("quit:");  // logged at once
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0].level, ZVTLogLevelError);
}

TEST_F(ZVTDelegateForwarderTest, ReturnedValueFoldsOverListeners) {
    ZVTDelegateForwarder forwarder(traces_);
    const std::string callback = "shouldTerminate:returnedValue:";
    EXPECT_EQ(std::any_cast<int>(forwarder.forward(callback, {std::string("app"), 7})), 7);

    auto doubler = listener(callback, [](int v) { return v * 2; });
    auto adder = listener(callback, [](int v) { return v + 3; });
    auto deaf = listener("other:", [](int) { return -1; });
    forwarder.addDelegate(doubler);
    forwarder.addDelegate(deaf);
    forwarder.addDelegate(adder);
    EXPECT_EQ(std::any_cast<int>(forwarder.forward(callback, {std::string("app"), 7})), 17);

    int calls = 0;
    auto plain = std::make_shared<ZVTDelegateListener>();
    plain->setHandler("willHide:", [&](const ZVTForwardedArguments&) {
        ++calls;
        return std::any();
    });
    forwarder.addDelegate(plain);
    forwarder.addDelegate(plain);  // once
    EXPECT_FALSE(forwarder.forward("willHide:", {}).has_value());
    EXPECT_EQ(calls, 1);

    forwarder.removeDelegate(adder);
    EXPECT_EQ(std::any_cast<int>(forwarder.forward(callback, {std::string("app"), 7})), 14);
    doubler.reset();  // held weakly
    EXPECT_EQ(std::any_cast<int>(forwarder.forward(callback, {std::string("app"), 7})), 7);

    forwarder.setEnabled(false);  // drops the listeners for good
    forwarder.setEnabled(true);
    forwarder.forward("willHide:", {});
    EXPECT_EQ(calls, 1);
}

}  // namespace
